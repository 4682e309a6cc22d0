// The curl functions keep their own names: each is defined once below and
// calls through the address looked up in the library while a CurlUse holds
// it open. The program is compiled against curl's headers but not linked
// with it, so a call to a function missing here fails to link.
#include "platform/posix/curl_library.h"

#include <curl/curl.h>
#include <malloc.h>

#include <cstdarg>
#include <iterator>
#include <mutex>

#include "platform/posix/dynamic_library.h"

namespace lum::posix {

namespace {

const char kCurlLibrary[] = "libcurl.so.4";

struct CurlTable {
  CURLcode (*global_init)(long flags);
  void (*global_cleanup)();
  CURL* (*easy_init)();
  CURLcode (*easy_setopt)(CURL* curl, CURLoption option, ...);
  CURLcode (*easy_perform)(CURL* curl);
  CURLcode (*easy_getinfo)(CURL* curl, CURLINFO info, ...);
  void (*easy_cleanup)(CURL* curl);
  curl_slist* (*slist_append)(curl_slist* list, const char* text);
  void (*slist_free_all)(curl_slist* list);
} g_curl;

const LibrarySymbol kSymbols[] = {
    {"curl_global_init", reinterpret_cast<void**>(&g_curl.global_init)},
    {"curl_global_cleanup", reinterpret_cast<void**>(&g_curl.global_cleanup)},
    {"curl_easy_init", reinterpret_cast<void**>(&g_curl.easy_init)},
    {"curl_easy_setopt", reinterpret_cast<void**>(&g_curl.easy_setopt)},
    {"curl_easy_perform", reinterpret_cast<void**>(&g_curl.easy_perform)},
    {"curl_easy_getinfo", reinterpret_cast<void**>(&g_curl.easy_getinfo)},
    {"curl_easy_cleanup", reinterpret_cast<void**>(&g_curl.easy_cleanup)},
    {"curl_slist_append", reinterpret_cast<void**>(&g_curl.slist_append)},
    {"curl_slist_free_all", reinterpret_cast<void**>(&g_curl.slist_free_all)},
};

std::mutex g_mutex;
int g_users = 0;
void* g_library = nullptr;

}  // namespace

CurlUse::CurlUse() {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (g_users == 0) {
    g_library = OpenLibrary(kCurlLibrary, kSymbols, std::size(kSymbols));
    if (g_library && g_curl.global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK) {
      CloseLibrary(g_library, kSymbols, std::size(kSymbols));
      g_library = nullptr;
    }
  }
  ok_ = g_library != nullptr;
  if (ok_) ++g_users;
}

CurlUse::~CurlUse() {
  if (!ok_) return;
  std::lock_guard<std::mutex> lock(g_mutex);
  if (--g_users > 0) return;
  g_curl.global_cleanup();
  CloseLibrary(g_library, kSymbols, std::size(kSymbols));
  g_library = nullptr;
  // What the exchange and the library left free on the heap goes back to
  // the system: the agent then idles for a quarter of an hour.
  malloc_trim(0);
}

}  // namespace lum::posix

using lum::posix::g_curl;

extern "C" {

CURLcode curl_global_init(long flags) { return g_curl.global_init(flags); }
void curl_global_cleanup() { g_curl.global_cleanup(); }
CURL* curl_easy_init() { return g_curl.easy_init(); }
CURLcode curl_easy_perform(CURL* curl) { return g_curl.easy_perform(curl); }
void curl_easy_cleanup(CURL* curl) { g_curl.easy_cleanup(curl); }
curl_slist* curl_slist_append(curl_slist* list, const char* text) { return g_curl.slist_append(list, text); }
void curl_slist_free_all(curl_slist* list) { g_curl.slist_free_all(list); }

// The option's number tells the type of its one argument, as curl itself
// reads it: a long, an object pointer, a function pointer or a curl_off_t.
CURLcode curl_easy_setopt(CURL* curl, CURLoption option, ...) {
  va_list args;
  va_start(args, option);
  CURLcode result;
  if (option < CURLOPTTYPE_OBJECTPOINT) {
    result = g_curl.easy_setopt(curl, option, va_arg(args, long));
  } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
    result = g_curl.easy_setopt(curl, option, va_arg(args, void*));
  } else if (option < CURLOPTTYPE_OFF_T) {
    result = g_curl.easy_setopt(curl, option, va_arg(args, void (*)()));
  } else if (option < CURLOPTTYPE_BLOB) {
    result = g_curl.easy_setopt(curl, option, va_arg(args, curl_off_t));
  } else {
    result = g_curl.easy_setopt(curl, option, va_arg(args, void*));
  }
  va_end(args);
  return result;
}

// Every piece of information is written through a pointer.
CURLcode curl_easy_getinfo(CURL* curl, CURLINFO info, ...) {
  va_list args;
  va_start(args, info);
  void* out = va_arg(args, void*);
  va_end(args);
  return g_curl.easy_getinfo(curl, info, out);
}

}  // extern "C"
