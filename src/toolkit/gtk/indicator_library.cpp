// The StatusNotifier library, opened when a StatusNotifier host first shows
// up on the session bus. On a desktop whose panel is an XEmbed tray (or none)
// the agent never maps it, nor the menu-over-D-Bus libraries it pulls in: the
// agent runs all day, and these cost every start. The functions keep their
// own names, as with the browser engine (engine_library.cpp), so the tray
// code reads as if the library were linked; a call missing below fails to
// link.
#include <libayatana-appindicator/app-indicator.h>

#include <iterator>

#include "platform/posix/dynamic_library.h"
#include "toolkit/gtk/gtk_common.h"

// clang-format off
#define LUM_INDICATOR_FUNCTIONS(F) \
  F(GType, app_indicator_get_type, (void), ()) \
  F(void, app_indicator_set_menu, (AppIndicator* self, GtkMenu* menu), (self, menu)) \
  F(void, app_indicator_set_status, (AppIndicator* self, AppIndicatorStatus status), (self, status)) \
  F(void, app_indicator_set_title, (AppIndicator* self, const gchar* title), (self, title)) \
  F(void, app_indicator_set_icon_full, (AppIndicator* self, const gchar* icon_name, const gchar* icon_desc), \
    (self, icon_name, icon_desc))
// clang-format on

namespace lum {

namespace {

const char kIndicatorLibrary[] = "libayatana-appindicator3.so.1";

struct IndicatorTable {
#define LUM_SLOT(ret, name, params, args) ret(*name) params = nullptr;
  LUM_INDICATOR_FUNCTIONS(LUM_SLOT)
#undef LUM_SLOT
} g_indicator;

}  // namespace

namespace gtk {

bool LoadIndicator() {
  static const bool loaded = [] {
    const posix::LibrarySymbol symbols[] = {
#define LUM_SYMBOL(ret, name, params, args) {#name, reinterpret_cast<void**>(&g_indicator.name)},
        LUM_INDICATOR_FUNCTIONS(LUM_SYMBOL)
#undef LUM_SYMBOL
    };
    return posix::OpenLibrary(kIndicatorLibrary, symbols, std::size(symbols)) != nullptr;
  }();
  return loaded;
}

}  // namespace gtk

}  // namespace lum

// Called only once LoadIndicator has succeeded: the tray makes no item before.
extern "C" {
#define LUM_FORWARD(ret, name, params, args) \
  ret name params { return lum::g_indicator.name args; }
LUM_INDICATOR_FUNCTIONS(LUM_FORWARD)
#undef LUM_FORWARD
}
