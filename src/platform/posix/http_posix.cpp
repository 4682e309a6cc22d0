// HTTP over libcurl, with the rules of the system's internet library that
// the program relies on.
#include "platform/posix/http_posix.h"

#include <curl/curl.h>

#include "platform/posix/curl_library.h"

#include <algorithm>
#include <chrono>
#include <climits>
#include <cstdint>
#include <string>

namespace lum::posix {

namespace {

// A header list for curl, freed with the exchange.
struct HeaderList {
  curl_slist* list = nullptr;
  ~HeaderList() { curl_slist_free_all(list); }
  void Add(const std::string& line) { list = curl_slist_append(list, line.c_str()); }
};

struct SinkState {
  const BodySink* sink;
  bool stopped = false;
};

size_t OnBody(char* data, size_t size, size_t count, void* user) {
  auto* state = static_cast<SinkState*>(user);
  size_t n = size * count;
  if (!(*state->sink)(std::string_view(data, n))) {
    state->stopped = true;
    return 0;  // ends the transfer
  }
  return n;
}

// Ends the exchange when one wait for data lasts longer than the receive
// time-out, as the system's library does. Curl's own low-speed limit
// averages over several seconds, so a few bytes followed by silence were
// waited for until the bound on the whole exchange.
struct ReceiveWatch {
  using Clock = std::chrono::steady_clock;
  Clock::duration limit{};  // zero: no limit
  Clock::time_point last = Clock::now();
  curl_off_t down = 0, up = 0;
  void Moved() { last = Clock::now(); }
};

int OnProgress(void* user, curl_off_t, curl_off_t down, curl_off_t, curl_off_t up) {
  auto* watch = static_cast<ReceiveWatch*>(user);
  if (down != watch->down || up != watch->up) {
    watch->down = down;
    watch->up = up;
    watch->Moved();
    return 0;
  }
  bool waited_too_long = watch->limit.count() > 0 &&
                         ReceiveWatch::Clock::now() - watch->last > watch->limit;
  return waited_too_long ? 1 : 0;  // non-zero ends the transfer
}

// Header lines are data arriving too.
size_t OnHeader(char*, size_t size, size_t count, void* user) {
  static_cast<ReceiveWatch*>(user)->Moved();
  return size * count;
}

// What the system's internet library does on every exchange: the program's
// user agent, no answer from a cache, redirects followed, cookies kept for
// this exchange only, a limit on each wait for data and one on the whole
// exchange, certificate errors ignored on the secure port, proxies from the
// usual environment variables. What arrived before the whole-exchange limit
// has gone to the sink and stays the body.
void CommonOptions(CURL* curl, uint32_t timeout_seconds, uint32_t exchange_seconds,
                   HeaderList* headers, ReceiveWatch* watch) {
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_USERAGENT, "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT)");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 30L);
  curl_easy_setopt(curl, CURLOPT_COOKIEFILE, "");
  watch->limit = std::chrono::seconds(timeout_seconds);
  watch->Moved();
  curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, OnProgress);
  curl_easy_setopt(curl, CURLOPT_XFERINFODATA, watch);
  curl_easy_setopt(curl, CURLOPT_HEADERFUNCTION, OnHeader);
  curl_easy_setopt(curl, CURLOPT_HEADERDATA, watch);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT_MS,
                   static_cast<long>(std::min<uint64_t>(uint64_t{exchange_seconds} * 1000,
                                                        LONG_MAX)));
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, static_cast<long>(timeout_seconds > 0 ? timeout_seconds : 1));
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYPEER, 0L);
  curl_easy_setopt(curl, CURLOPT_SSL_VERIFYHOST, 0L);
  curl_easy_setopt(curl, CURLOPT_PATH_AS_IS, 1L);
  headers->Add("Cache-Control: no-cache");
  headers->Add("Pragma: no-cache");
  headers->Add("Accept:");   // the system's library sends none unless asked
  headers->Add("Expect:");   // bodies go out at once, as there
}

// The caller's header lines, each ended by CR LF.
void AddHeaderLines(const std::string& text, HeaderList* headers) {
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find("\r\n", begin);
    if (end == std::string::npos) end = text.size();
    if (end > begin) headers->Add(text.substr(begin, end - begin));
    begin = end + 2;
  }
}

}  // namespace

bool CurlHttpExchange(const HttpCall& call, const BodySink& sink) {
  CurlUse use;  // first in, last out: the library outlives the exchange's objects
  if (!use) return false;
  CURL* curl = curl_easy_init();
  if (!curl) return false;
  HeaderList headers;
  ReceiveWatch watch;
  CommonOptions(curl, call.timeout_seconds, call.exchange_seconds, &headers, &watch);
  std::string path = call.path.empty() || call.path[0] != '/' ? "/" + call.path : call.path;
  std::string url = std::string(call.port == 443 ? "https://" : "http://") + call.host + ":" +
                    std::to_string(call.port) + path;
  curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
  // GET and POST are curl's own methods, not a custom verb: curl keeps a
  // custom verb over every redirect, so a redirected POST would go out again
  // as a POST without its body. As its own method a POST that is redirected
  // with 301, 302 or 303 is followed by a GET, as the system's library does.
  if (!call.body.empty()) {
    curl_easy_setopt(curl, CURLOPT_POSTFIELDS, call.body.data());
    curl_easy_setopt(curl, CURLOPT_POSTFIELDSIZE, static_cast<long>(call.body.size()));
  }
  if (call.verb == "POST") {
    if (call.body.empty()) curl_easy_setopt(curl, CURLOPT_POSTFIELDS, "");
    curl_easy_setopt(curl, CURLOPT_POST, 1L);
  } else if (call.verb == "GET" && call.body.empty()) {
    curl_easy_setopt(curl, CURLOPT_HTTPGET, 1L);
  } else {
    curl_easy_setopt(curl, CURLOPT_CUSTOMREQUEST, call.verb.c_str());
  }
  if (!call.user.empty()) curl_easy_setopt(curl, CURLOPT_USERNAME, call.user.c_str());
  if (!call.password.empty()) curl_easy_setopt(curl, CURLOPT_PASSWORD, call.password.c_str());
  if (!call.proxy.empty()) curl_easy_setopt(curl, CURLOPT_PROXY, call.proxy.c_str());
  if (call.has_referrer) curl_easy_setopt(curl, CURLOPT_REFERER, call.referrer.c_str());
  AddHeaderLines(call.headers, &headers);
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
  SinkState state{&sink};
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);
  CURLcode result = curl_easy_perform(curl);
  long status = 0;
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
  curl_easy_cleanup(curl);
  // An answer that began arriving counts as sent, however it ended.
  return result == CURLE_OK || status != 0 || state.stopped;
}

void CurlUrlFetch(const UrlCall& call, UrlAnswer* answer, const BodySink& sink) {
  *answer = UrlAnswer{};
  CurlUse use;
  if (!use) return;
  CURL* curl = curl_easy_init();
  if (!curl) return;
  HeaderList headers;
  ReceiveWatch watch;
  CommonOptions(curl, call.timeout_seconds, call.exchange_seconds, &headers, &watch);
  AddHeaderLines(call.headers, &headers);
  curl_easy_setopt(curl, CURLOPT_URL, call.url.c_str());
  curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers.list);
  // Length and status are known once the headers are in, before the first
  // piece of the body.
  bool asked = false;
  auto ask = [&] {
    if (asked) return;
    asked = true;
    curl_off_t length = -1;
    if (curl_easy_getinfo(curl, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) == CURLE_OK) {
      answer->length = length;
    }
    long status = 0;
    if (curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status) == CURLE_OK) {
      answer->status = static_cast<int>(status);
    }
  };
  BodySink with_answer = [&](std::string_view piece) {
    ask();
    return sink(piece);
  };
  SinkState state{&with_answer};
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, OnBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &state);
  curl_easy_perform(curl);
  ask();
  curl_easy_cleanup(curl);
}

}  // namespace lum::posix
