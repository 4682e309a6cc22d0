// The browser engine, opened when the first page host is made. The engine's
// functions keep their own names here: each is defined once below and calls
// through the address looked up in the library, so the page host's code reads
// as if the engine were linked. Nothing of the engine is mapped before that,
// which keeps it out of the agent, a process that lives all day and shows no
// page.
#include <webkit2/webkit2.h>

#include <iterator>

#include "platform/posix/dynamic_library.h"
#include "toolkit/gtk/gtk_common.h"

namespace lum {

namespace {

// The engine's ABI of this major version; its package is a dependency of ours.
const char kEngineLibrary[] = "libwebkit2gtk-4.1.so.0";

struct EngineTable {
#define LUM_ENGINE_FUNCTION(ret, name, params, args) ret(*name) params = nullptr;
#include "toolkit/gtk/engine_functions.h"
#undef LUM_ENGINE_FUNCTION
} g_engine;

}  // namespace

namespace gtk {

bool LoadEngine() {
  static const bool loaded = [] {
    const posix::LibrarySymbol symbols[] = {
#define LUM_ENGINE_FUNCTION(ret, name, params, args) {#name, reinterpret_cast<void**>(&g_engine.name)},
#include "toolkit/gtk/engine_functions.h"
#undef LUM_ENGINE_FUNCTION
    };
    return posix::OpenLibrary(kEngineLibrary, symbols, std::size(symbols)) != nullptr;
  }();
  return loaded;
}

}  // namespace gtk

}  // namespace lum

// Called only once LoadEngine has succeeded: every page host is made after it.
extern "C" {
#define LUM_ENGINE_FUNCTION(ret, name, params, args) \
  ret name params { return lum::g_engine.name args; }
#include "toolkit/gtk/engine_functions.h"
#undef LUM_ENGINE_FUNCTION
}
