// The browser control on WebKitGTK.
//
// The pages come from the help file through the "chm" scheme: the program
// sends the control to "mk:@MSITStore:<file>::/<page>", which becomes
// chm://<file>/<page>, a hierarchical URL, so that the page's relative image
// paths resolve inside the same file. A plain file path becomes a file://
// URL. Every navigation of the page and its frames, and every request for a
// new window, passes the object's OnBeforeNavigate first, synchronously; a
// new window is never opened. "spec:" is registered as a scheme too, with an
// empty answer: a frame sent there loads nothing visible, and the main
// frame, which a scheme's answer would replace, is stopped at the response
// (the navigation decision cannot tell frames apart; the response can).
#include <chm_lib.h>
#include <sys/stat.h>
// The engine is opened at run time: every engine function called here is
// listed in engine_functions.h.
#include <webkit2/webkit2.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "toolkit/backend.h"
#include "toolkit/gtk/gtk_common.h"

namespace lum {

struct BrowserView {
  Browser* browser = nullptr;
  GtkWidget* view = nullptr;
  std::string location;  // the page's URL as the program sent or the page took it
  std::string own_next;  // the navigation the program itself just asked for
  bool loaded = false;   // a document is there to write into
  bool failed = false;   // the load under way was stopped or failed
};

namespace {

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::char_traits<char>::length(prefix), prefix) == 0;
}

std::string Lower(std::string text) {
  for (char& c : text)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return text;
}

// A path as the hierarchical part of a URL: "\" is "/", and every byte
// outside the unreserved set is escaped (a "#" or "%" in a folder's name
// must not end or garble the path).
std::string EscapePath(const std::string& path) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (char ch : path) {
    unsigned char c = static_cast<unsigned char>(ch == '\\' ? '/' : ch);
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
        c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    auto digit = [](char c) {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    if (text[i] == '%' && i + 2 < text.size() && digit(text[i + 1]) >= 0 &&
        digit(text[i + 2]) >= 0) {
      out += static_cast<char>(digit(text[i + 1]) * 16 + digit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

// What the engine is sent for a URL of the program's. Paths are the file
// system's bytes and go as they are; any other text is the program's
// Windows-1251 and goes as UTF-8.
std::string EngineUrl(const std::string& url) {
  const char help[] = "mk:@MSITStore:";
  if (StartsWith(url, help)) {
    std::string rest = url.substr(sizeof help - 1);
    size_t split = rest.rfind("::");
    std::string file = rest.substr(0, split);
    std::string page = split == std::string::npos ? "/index.htm" : rest.substr(split + 2);
    if (page.empty() || (page[0] != '/' && page[0] != '\\')) page = "/" + page;
    return "chm://" + EscapePath(file) + EscapePath(page);
  }
  if (!url.empty() && (url[0] == '/' || url[0] == '\\')) return "file://" + EscapePath(url);
  return gtk::ToUtf8(url);
}

// --- the help file's content ---

// The help file and the object in it that a chm:// path names: the file is
// the first prefix ending in ".chm" that is a file on disk.
bool SplitHelpPath(const std::string& path, std::string* file, std::string* object) {
  std::string lower = Lower(path);
  for (size_t at = lower.find(".chm/"); at != std::string::npos; at = lower.find(".chm/", at + 1)) {
    std::string candidate = path.substr(0, at + 4);
    struct stat st {};
    if (stat(candidate.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
      *file = candidate;
      *object = path.substr(at + 4);
      return true;
    }
  }
  return false;
}

const char* MimeType(const std::string& object) {
  std::string lower = Lower(object);
  auto ends = [&lower](const char* tail) {
    size_t n = std::char_traits<char>::length(tail);
    return lower.size() >= n && lower.compare(lower.size() - n, n, tail) == 0;
  };
  if (ends(".htm") || ends(".html")) return "text/html";
  if (ends(".gif")) return "image/gif";
  if (ends(".png")) return "image/png";
  if (ends(".jpg") || ends(".jpeg")) return "image/jpeg";
  if (ends(".css")) return "text/css";
  if (ends(".js")) return "text/javascript";
  return "application/octet-stream";
}

// Opened and closed per request: nothing of the file is kept.
bool ReadHelpObject(const std::string& file, const std::string& object, std::string* bytes) {
  chmFile* chm = chm_open(file.c_str());
  if (!chm) return false;
  chmUnitInfo unit{};
  bool ok = chm_resolve_object(chm, object.c_str(), &unit) == CHM_RESOLVE_SUCCESS;
  if (ok && unit.length > 64u * 1024 * 1024) ok = false;  // not a page of ours
  if (ok) {
    bytes->resize(static_cast<size_t>(unit.length));
    LONGINT64 got = unit.length ? chm_retrieve_object(chm, &unit,
                                                      reinterpret_cast<unsigned char*>(bytes->data()),
                                                      0, static_cast<LONGINT64>(unit.length))
                                : 0;
    ok = got == static_cast<LONGINT64>(unit.length);
  }
  chm_close(chm);
  return ok;
}

void FinishWithBytes(WebKitURISchemeRequest* request, std::string bytes, const char* mime) {
  gsize size = bytes.size();
  gpointer data = g_memdup2(bytes.data(), size);
  GInputStream* stream = g_memory_input_stream_new_from_data(data, static_cast<gssize>(size), g_free);
  webkit_uri_scheme_request_finish(request, stream, static_cast<gint64>(size), mime);
  g_object_unref(stream);
}

void OnHelpRequest(WebKitURISchemeRequest* request, gpointer) {
  std::string path = Unescape(webkit_uri_scheme_request_get_path(request));
  std::string file, object, bytes;
  if (!SplitHelpPath(path, &file, &object) || !ReadHelpObject(file, object, &bytes)) {
    GError* error = g_error_new_literal(G_IO_ERROR, G_IO_ERROR_NOT_FOUND, "not in the help file");
    webkit_uri_scheme_request_finish_error(request, error);
    g_error_free(error);
    return;
  }
  FinishWithBytes(request, std::move(bytes), MimeType(object));
}

void OnSpecRequest(WebKitURISchemeRequest* request, gpointer) {
  FinishWithBytes(request, "<html><body></body></html>", "text/html");
}

void DropExpectedWarning(const gchar* domain, GLogLevelFlags level, const gchar* message,
                         gpointer data) {
  if (message && g_str_has_prefix(message, "Disabled hardware acceleration because GTK failed"))
    return;
  g_log_default_handler(domain, level, message, data);
}

// One context for the process: ephemeral, so the engine keeps no cookies,
// cache or storage of its own on disk (the program saves nothing but its
// settings file).
WebKitWebContext* Context() {
  static WebKitWebContext* context = nullptr;
  if (context) return context;
  // WebKitGTK 2.42 and later draw blank pages on X11 with NVIDIA's driver
  // unless its DMA-BUF renderer is off; only there. Can go once the engine
  // handles that driver.
  struct stat st {};
  GdkDisplay* display = gdk_display_get_default();
  // By type name: the X11 header's macros would clash with the program's names.
  bool x11 = display && g_strcmp0(G_OBJECT_TYPE_NAME(display), "GdkX11Display") == 0;
  if (x11 && stat("/proc/driver/nvidia/version", &st) == 0)
    setenv("WEBKIT_DISABLE_DMABUF_RENDERER", "1", 0);
  // The windows open the display without GL (backend_gtk.cpp) and the page
  // is drawn in software anyway: the engine's note that it found no GL is
  // expected, not a warning for the user's terminal.
  g_log_set_handler(nullptr, G_LOG_LEVEL_WARNING, DropExpectedWarning, nullptr);
  context = webkit_web_context_new_ephemeral();
  webkit_web_context_register_uri_scheme(context, "chm", OnHelpRequest, nullptr, nullptr);
  webkit_web_context_register_uri_scheme(context, "spec", OnSpecRequest, nullptr, nullptr);
  WebKitSecurityManager* security = webkit_web_context_get_security_manager(context);
  webkit_security_manager_register_uri_scheme_as_local(security, "chm");
  return context;
}

// For measuring and checking from outside (LUM_TRACE_PAGE_LOAD set): one
// line on standard error per navigation the program asks for, per page
// loaded, and per element written, with what the element then holds.
bool Tracing() {
  static const bool on = std::getenv("LUM_TRACE_PAGE_LOAD") != nullptr;
  return on;
}

void Trace(const char* what, const std::string& detail) {
  if (!Tracing()) return;
  std::fprintf(stderr, "%s %s\n", what, detail.c_str());
  std::fflush(stderr);
}

void OnElementWritten(GObject* view, GAsyncResult* result, gpointer data) {
  std::string* id = static_cast<std::string*>(data);
  JSCValue* value = webkit_web_view_evaluate_javascript_finish(WEBKIT_WEB_VIEW(view), result, nullptr);
  if (value && jsc_value_is_string(value)) {
    char* text = jsc_value_to_string(value);
    Trace("element", *id + " = " + text);
    g_free(text);
  }
  if (value) g_object_unref(value);
  delete id;
}

// --- the view's events ---

// Asks the program; true when it cancelled.
bool Offer(BrowserView& v, const std::string& engine_uri) {
  bool cancel = false;
  v.browser->DoBeforeNavigate(gtk::FromUtf8(engine_uri.c_str()), cancel);
  return cancel;
}

gboolean OnDecidePolicy(WebKitWebView*, WebKitPolicyDecision* decision,
                        WebKitPolicyDecisionType type, gpointer data) {
  auto& v = *static_cast<BrowserView*>(data);
  if (type == WEBKIT_POLICY_DECISION_TYPE_RESPONSE) {
    auto* response = WEBKIT_RESPONSE_POLICY_DECISION(decision);
    WebKitURIRequest* request = webkit_response_policy_decision_get_request(response);
    const char* uri = webkit_uri_request_get_uri(request);
    if (uri && StartsWith(uri, "spec:") &&
        webkit_response_policy_decision_is_main_frame_main_resource(response)) {
      webkit_policy_decision_ignore(decision);  // the page stays
      return TRUE;
    }
    return FALSE;
  }
  auto* navigation = WEBKIT_NAVIGATION_POLICY_DECISION(decision);
  WebKitNavigationAction* action = webkit_navigation_policy_decision_get_navigation_action(navigation);
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  std::string uri = webkit_uri_request_get_uri(request) ? webkit_uri_request_get_uri(request) : "";
  bool own = !v.own_next.empty() && uri == v.own_next;
  if (own) v.own_next.clear();  // asked already, when the program sent it
  bool cancel = !own && Offer(v, uri);
  if (cancel || type == WEBKIT_POLICY_DECISION_TYPE_NEW_WINDOW_ACTION) {
    webkit_policy_decision_ignore(decision);
  } else {
    webkit_policy_decision_use(decision);
  }
  return TRUE;
}

// A script's window.open comes here without a policy decision: the
// program is asked as for any navigation, and a second browser window is
// never made.
GtkWidget* OnCreate(WebKitWebView*, WebKitNavigationAction* action, gpointer data) {
  WebKitURIRequest* request = webkit_navigation_action_get_request(action);
  const char* uri = request ? webkit_uri_request_get_uri(request) : nullptr;
  if (uri && *uri) Offer(*static_cast<BrowserView*>(data), uri);
  return nullptr;
}

void OnLoadChanged(WebKitWebView* view, WebKitLoadEvent event, gpointer data) {
  auto& v = *static_cast<BrowserView*>(data);
  if (event == WEBKIT_LOAD_STARTED) {
    v.loaded = false;
    v.failed = false;
  }
  if (event == WEBKIT_LOAD_COMMITTED) {
    const char* uri = webkit_web_view_get_uri(view);
    if (uri && !StartsWith(uri, "spec:")) v.location = gtk::FromUtf8(uri);
  }
  if (event == WEBKIT_LOAD_FINISHED) {
    v.loaded = true;
    // A stopped load ends too, with the page before it still shown.
    const char* uri = webkit_web_view_get_uri(view);
    if (uri && !v.failed && !StartsWith(uri, "about:")) Trace("page loaded", uri);
  }
}

// A stopped "spec:" load is no error to show.
gboolean OnLoadFailed(WebKitWebView*, WebKitLoadEvent, gchar* uri, GError*, gpointer data) {
  static_cast<BrowserView*>(data)->failed = true;
  return uri && StartsWith(uri, "spec:");
}

gboolean OnScriptDialog(WebKitWebView*, WebKitScriptDialog*, gpointer data) {
  return static_cast<BrowserView*>(data)->browser->Silent();
}

// The page is the program's window, not a browser: no menu of the engine's
// own (its items would open links in new windows or download them), no
// history, reload or zoom by keys or by the mouse's side buttons (the back
// button would follow the page's history past the program's handler), and
// nothing dropped on it is opened. Links and the page's own script still
// navigate, each through the program's handler.
gboolean OnContextMenu(WebKitWebView*, GtkWidget*, GdkEvent*, gpointer, gpointer) { return TRUE; }

gboolean OnSideButton(GtkWidget*, GdkEventButton* event, gpointer) {
  return event->button == 8 || event->button == 9;
}

gboolean OnBrowserKey(GtkWidget*, GdkEventKey* event, gpointer) {
  guint key = event->keyval;
  bool ctrl = event->state & GDK_CONTROL_MASK, alt = event->state & GDK_MOD1_MASK;
  switch (key) {
    case GDK_KEY_Back: case GDK_KEY_Forward: case GDK_KEY_Refresh: case GDK_KEY_Reload:
    case GDK_KEY_Stop: case GDK_KEY_HomePage: case GDK_KEY_Search: case GDK_KEY_Favorites:
    case GDK_KEY_OpenURL: case GDK_KEY_WWW: case GDK_KEY_ZoomIn: case GDK_KEY_ZoomOut:
    case GDK_KEY_F5:
      return TRUE;
    case GDK_KEY_Left: case GDK_KEY_Right: case GDK_KEY_KP_Left: case GDK_KEY_KP_Right:
    case GDK_KEY_Home:
      return alt;
    case GDK_KEY_r: case GDK_KEY_R: case GDK_KEY_plus: case GDK_KEY_minus: case GDK_KEY_equal:
    case GDK_KEY_0: case GDK_KEY_KP_Add: case GDK_KEY_KP_Subtract: case GDK_KEY_KP_0:
      return ctrl;
    default:
      return FALSE;
  }
}

gboolean OnBrowserScroll(GtkWidget*, GdkEventScroll* event, gpointer) {
  return (event->state & GDK_CONTROL_MASK) != 0;  // the zoom gesture
}

// Strings go into the page's script as literals that cannot end early.
std::string ScriptString(const std::string& utf8) {
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size(); ++i) {
    unsigned char c = static_cast<unsigned char>(utf8[i]);
    char buffer[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == '<' || c == '>') {
      std::snprintf(buffer, sizeof buffer, "\\u%04x", c);
      out += buffer;
    } else if (c == 0xE2 && i + 2 < utf8.size() && static_cast<unsigned char>(utf8[i + 1]) == 0x80 &&
               (static_cast<unsigned char>(utf8[i + 2]) == 0xA8 ||
                static_cast<unsigned char>(utf8[i + 2]) == 0xA9)) {
      out += static_cast<unsigned char>(utf8[i + 2]) == 0xA8 ? "\\u2028" : "\\u2029";
      i += 2;
    } else {
      out += static_cast<char>(c);
    }
  }
  return out + "\"";
}

}  // namespace

BrowserView* BrowserViewCreate(Browser& browser) {
  if (!gtk::LoadEngine()) return nullptr;
  auto* v = new BrowserView;
  v->browser = &browser;
  v->view = webkit_web_view_new_with_context(Context());
  WebKitSettings* settings = webkit_web_view_get_settings(WEBKIT_WEB_VIEW(v->view));
  webkit_settings_set_enable_developer_extras(settings, FALSE);
  webkit_settings_set_javascript_can_open_windows_automatically(settings, FALSE);
  // A small static page needs no GPU; drawn in software it also shows where
  // the engine's accelerated path draws nothing (a child window on a screen
  // without a GL compositor, as under Xvfb).
  webkit_settings_set_hardware_acceleration_policy(settings, WEBKIT_HARDWARE_ACCELERATION_POLICY_NEVER);
  g_signal_connect(v->view, "decide-policy", G_CALLBACK(OnDecidePolicy), v);
  g_signal_connect(v->view, "create", G_CALLBACK(OnCreate), v);
  g_signal_connect(v->view, "load-changed", G_CALLBACK(OnLoadChanged), v);
  g_signal_connect(v->view, "load-failed", G_CALLBACK(OnLoadFailed), v);
  g_signal_connect(v->view, "script-dialog", G_CALLBACK(OnScriptDialog), v);
  g_signal_connect(v->view, "context-menu", G_CALLBACK(OnContextMenu), v);
  g_signal_connect(v->view, "button-press-event", G_CALLBACK(OnSideButton), v);
  g_signal_connect(v->view, "button-release-event", G_CALLBACK(OnSideButton), v);
  g_signal_connect(v->view, "key-press-event", G_CALLBACK(OnBrowserKey), v);
  g_signal_connect(v->view, "scroll-event", G_CALLBACK(OnBrowserScroll), v);
  gtk_drag_dest_unset(v->view);
  gtk_widget_show(v->view);
  return v;
}

GtkWidget* BrowserViewWidget(BrowserView* view) { return view->view; }

void BrowserViewDestroy(BrowserView* view) {
  if (!view) return;
  g_signal_handlers_disconnect_by_data(view->view, view);
  webkit_web_view_stop_loading(WEBKIT_WEB_VIEW(view->view));
  delete view;  // the widget goes with the control's peer
}

namespace backend {

bool BrowserHasControl(const Browser& browser) { return browser.peer_->browser != nullptr; }

void BrowserSetSilent(Browser&) {}  // read by the view when a page asks for a dialog

bool BrowserNavigate(Browser& browser, const std::string& url) {
  BrowserView* v = browser.peer_->browser;
  if (!v) return false;
  // The program's own navigations pass the handler as the page's do.
  bool cancel = false;
  v->browser->DoBeforeNavigate(url, cancel);
  if (cancel) return true;
  WebKitWebView* view = WEBKIT_WEB_VIEW(v->view);
  if (StartsWith(url, "about:") && url.size() > 6 && url[6] == '<') {
    // A page given inline, as the placeholder is.
    Trace("navigate", "about:<html>");
    v->own_next = "about:blank";
    v->location = url;
    webkit_web_view_load_html(view, gtk::ToUtf8(url.substr(6)).c_str(), "about:blank");
    return true;
  }
  std::string engine = EngineUrl(url);
  Trace("navigate", engine);
  v->own_next = engine;
  v->location = url;
  webkit_web_view_load_uri(view, engine.c_str());
  return true;
}

std::string BrowserLocation(const Browser& browser) {
  const BrowserView* v = browser.peer_->browser;
  return v ? v->location : std::string();
}

bool BrowserSetElementHtml(Browser& browser, const std::string& id, const std::string& html) {
  BrowserView* v = browser.peer_->browser;
  if (!v || !v->loaded) return false;
  std::string script = "(function(){var e=document.getElementById(" + ScriptString(gtk::ToUtf8(id)) +
                       ");if(!e)return false;e.innerHTML=" + ScriptString(gtk::ToUtf8(html)) +
                       ";return e.innerHTML;})()";
  webkit_web_view_evaluate_javascript(WEBKIT_WEB_VIEW(v->view), script.c_str(), -1, nullptr,
                                      nullptr, nullptr, Tracing() ? OnElementWritten : nullptr,
                                      Tracing() ? new std::string(gtk::ToUtf8(id)) : nullptr);
  return true;
}

}  // namespace backend

}  // namespace lum
