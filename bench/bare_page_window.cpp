// The yardstick for the centre's start-up: the least a program can do to show
// the start page from the help file in the same engine. One window of the
// centre's client size with one web view, the page and its images served
// from the help file through a "chm" scheme, one line on stderr when the page
// has loaded; then it runs until it is killed.
//
//   bare_page_window [--accel=never|default] <help file>
//
// --accel=never (the default) draws in software, as the centre does;
// --accel=default leaves the engine's own choice.
#include <chm_lib.h>
#include <gtk/gtk.h>
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstring>
#include <string>

namespace {

std::string g_help_file;  // as given on the command line, made absolute

const char* MimeType(const std::string& object) {
  auto ends = [&object](const char* tail) {
    size_t n = std::strlen(tail);
    return object.size() >= n && g_ascii_strcasecmp(object.c_str() + object.size() - n, tail) == 0;
  };
  if (ends(".htm") || ends(".html")) return "text/html";
  if (ends(".png")) return "image/png";
  if (ends(".gif")) return "image/gif";
  if (ends(".jpg") || ends(".jpeg")) return "image/jpeg";
  if (ends(".css")) return "text/css";
  return "application/octet-stream";
}

void Fail(WebKitURISchemeRequest* request) {
  GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "not in the help file");
  webkit_uri_scheme_request_finish_error(request, error);
  g_error_free(error);
}

// chm://<help file>/<object>: the URL's path is the file's path followed by
// the object's, which the library wants with its leading "/".
void OnHelpRequest(WebKitURISchemeRequest* request, gpointer) {
  char* path = g_uri_unescape_string(webkit_uri_scheme_request_get_path(request), nullptr);
  std::string full = path ? path : "";
  g_free(path);
  if (full.compare(0, g_help_file.size(), g_help_file) != 0 || full.size() <= g_help_file.size() ||
      full[g_help_file.size()] != '/') {
    Fail(request);
    return;
  }
  std::string object = full.substr(g_help_file.size());
  chmFile* chm = chm_open(g_help_file.c_str());
  chmUnitInfo unit{};
  if (!chm || chm_resolve_object(chm, object.c_str(), &unit) != CHM_RESOLVE_SUCCESS ||
      unit.length > 64u * 1024 * 1024) {
    if (chm) chm_close(chm);
    Fail(request);
    return;
  }
  auto* bytes = static_cast<unsigned char*>(g_malloc(unit.length ? unit.length : 1));
  LONGINT64 got = unit.length ? chm_retrieve_object(chm, &unit, bytes, 0,
                                                    static_cast<LONGINT64>(unit.length))
                              : 0;
  chm_close(chm);
  if (got != static_cast<LONGINT64>(unit.length)) {
    g_free(bytes);
    Fail(request);
    return;
  }
  GInputStream* stream =
      g_memory_input_stream_new_from_data(bytes, static_cast<gssize>(unit.length), g_free);
  webkit_uri_scheme_request_finish(request, stream, static_cast<gint64>(unit.length),
                                   MimeType(object));
  g_object_unref(stream);
}

void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer) {
  if (event != WEBKIT_LOAD_FINISHED) return;
  std::fprintf(stderr, "page loaded %s\n", webkit_web_view_get_uri(view));
  std::fflush(stderr);
}

gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError* error, gpointer) {
  std::fprintf(stderr, "load failed %s: %s\n", uri, error ? error->message : "");
  return FALSE;
}

int Usage() {
  std::fprintf(stderr, "usage: bare_page_window [--accel=never|default] <help file>\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool never = true;
  const char* file = nullptr;
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--accel=never") == 0) {
      never = true;
    } else if (std::strcmp(argv[i], "--accel=default") == 0) {
      never = false;
    } else if (argv[i][0] != '-' && !file) {
      file = argv[i];
    } else {
      return Usage();
    }
  }
  if (!file) return Usage();
  if (!gtk_init_check(&argc, &argv)) {
    std::fprintf(stderr, "bare_page_window: no display\n");
    return 1;
  }
  char* absolute = g_canonicalize_filename(file, nullptr);
  g_help_file = absolute;
  g_free(absolute);

  // Ephemeral, as the centre's: nothing of the engine's goes to disk, and
  // both do the same work.
  WebKitWebContext* context = webkit_web_context_new_ephemeral();
  webkit_web_context_register_uri_scheme(context, "chm", OnHelpRequest, nullptr, nullptr);
  webkit_security_manager_register_uri_scheme_as_local(
      webkit_web_context_get_security_manager(context), "chm");

  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_default_size(GTK_WINDOW(window), 552, 404);
  gtk_window_set_resizable(GTK_WINDOW(window), FALSE);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), nullptr);

  GtkWidget* view = webkit_web_view_new_with_context(context);
  if (never) {
    webkit_settings_set_hardware_acceleration_policy(webkit_web_view_get_settings(WEBKIT_WEB_VIEW(view)),
                                                     WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  }
  g_signal_connect(view, "load-changed", G_CALLBACK(OnLoadChanged), nullptr);
  g_signal_connect(view, "load-failed", G_CALLBACK(OnLoadFailed), nullptr);
  gtk_container_add(GTK_CONTAINER(window), view);

  char* escaped = g_uri_escape_string(g_help_file.c_str(), "/", FALSE);
  std::string uri = std::string("chm://") + escaped + "/index.htm";
  g_free(escaped);
  webkit_web_view_load_uri(WEBKIT_WEB_VIEW(view), uri.c_str());
  gtk_widget_show_all(window);
  gtk_main();
  return 0;
}
