// System sounds of the desktop build through libcanberra, in the sound theme
// the desktop has chosen. ca_context_play hands the sound to the output and
// returns: the agent never waits for a sound. The library (and the decoders
// and output modules it brings) is opened with the first sound, which may
// never come in an agent's day; it is compiled against, not linked.
#include <canberra.h>
#include <dlfcn.h>
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>
#include <iterator>

#include "platform/posix/dynamic_library.h"
#include "platform/posix/sound.h"

namespace lum::posix {

namespace {

struct SoundTable {
  decltype(&::ca_context_create) context_create;
  decltype(&::ca_context_change_props_full) context_change_props_full;
  decltype(&::ca_context_open) context_open;
  decltype(&::ca_context_destroy) context_destroy;
  decltype(&::ca_context_play_full) context_play_full;
  decltype(&::ca_proplist_create) proplist_create;
  decltype(&::ca_proplist_sets) proplist_sets;
  decltype(&::ca_proplist_destroy) proplist_destroy;
  decltype(&::ca_strerror) strerror;
} ca;

bool OpenSoundLibrary() {
  const LibrarySymbol symbols[] = {
      {"ca_context_create", reinterpret_cast<void**>(&ca.context_create)},
      {"ca_context_change_props_full", reinterpret_cast<void**>(&ca.context_change_props_full)},
      {"ca_context_open", reinterpret_cast<void**>(&ca.context_open)},
      {"ca_context_destroy", reinterpret_cast<void**>(&ca.context_destroy)},
      {"ca_context_play_full", reinterpret_cast<void**>(&ca.context_play_full)},
      {"ca_proplist_create", reinterpret_cast<void**>(&ca.proplist_create)},
      {"ca_proplist_sets", reinterpret_cast<void**>(&ca.proplist_sets)},
      {"ca_proplist_destroy", reinterpret_cast<void**>(&ca.proplist_destroy)},
      {"ca_strerror", reinterpret_cast<void**>(&ca.strerror)},
  };
  return OpenLibrary("libcanberra.so.0", symbols, std::size(symbols)) != nullptr;
}

// The sound library's diagnostics say nothing the user can act on: on a
// machine without a sound card, finding that out would print a screenful
// into the session's log at every announcement. Its error handler is
// process-wide in the library, and libcanberra's output opens that same
// library, so a silent handler installed here holds for it. Looked up at run
// time: where the library is missing there is nothing to silence.
void SilentSoundLibraryError(const char*, int, const char*, int, const char*, ...) {}

void SilenceSoundLibrary() {
  using Handler = void (*)(const char*, int, const char*, int, const char*, ...);
  void* library = dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
  if (!library) {
    dlerror();
    return;
  }
  auto set = reinterpret_cast<int (*)(Handler)>(dlsym(library, "snd_lib_error_set_handler"));
  if (set) set(SilentSoundLibraryError);
  else dlclose(library);  // kept open otherwise: the handler lives in it
}

// One context for the process, made on first use; none when no sound
// output can be opened (no sound card, no sound server).
ca_context* Context() {
  static ca_context* context = nullptr;
  static bool tried = false;
  if (tried) return context;
  tried = true;
  if (!OpenSoundLibrary()) return nullptr;  // kept open from here on: its output runs on
  SilenceSoundLibrary();
  if (ca.context_create(&context) != CA_SUCCESS) return context = nullptr;
  ca_proplist* props = nullptr;
  if (ca.proplist_create(&props) == CA_SUCCESS) {
    ca.proplist_sets(props, CA_PROP_APPLICATION_NAME, "LumCenter");
    ca.proplist_sets(props, CA_PROP_APPLICATION_ID, "lumcenter");
    ca.proplist_sets(props, CA_PROP_APPLICATION_ICON_NAME, "lumcenter");
    ca.context_change_props_full(context, props);
    ca.proplist_destroy(props);
  }
  if (ca.context_open(context) != CA_SUCCESS) {
    ca.context_destroy(context);
    context = nullptr;
  }
  return context;
}

// For checking from outside (LUM_TRACE_PAGE_LOAD set): each sound asked for.
void Trace(const char* what, int result) {
  if (!std::getenv("LUM_TRACE_PAGE_LOAD")) return;
  std::fprintf(stderr, "sound %s: %s\n", what, ca.strerror(result));
  std::fflush(stderr);
}

// The desktop's choice of theme, and whether it wants event sounds at all,
// as GTK has them from the desktop's settings.
bool ThemeProps(ca_proplist* props) {
  GtkSettings* settings = gtk_settings_get_default();
  if (!settings) return true;
  gchar* theme = nullptr;
  gboolean wanted = TRUE;
  g_object_get(settings, "gtk-sound-theme-name", &theme, "gtk-enable-event-sounds", &wanted, nullptr);
  if (theme && *theme) ca.proplist_sets(props, CA_PROP_CANBERRA_XDG_THEME_NAME, theme);
  g_free(theme);
  return wanted;
}

void Play(const char* key, const char* value, const char* what) {
  ca_context* context = Context();
  if (!context) return;
  ca_proplist* props = nullptr;
  if (ca.proplist_create(&props) != CA_SUCCESS) return;
  ca.proplist_sets(props, key, value);
  ca.proplist_sets(props, CA_PROP_EVENT_DESCRIPTION, "news");
  if (ThemeProps(props)) Trace(what, ca.context_play_full(context, 0, props, nullptr, nullptr));
  ca.proplist_destroy(props);
}

}  // namespace

bool SoundPlayable() { return Context() != nullptr; }

void PlaySoundEvent(const char* event_id) { Play(CA_PROP_EVENT_ID, event_id, event_id); }

void PlaySoundFromFile(const std::string& path) {
  Play(CA_PROP_MEDIA_FILENAME, path.c_str(), path.c_str());
}

}  // namespace lum::posix
