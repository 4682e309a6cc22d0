// The window manager's frame and the user's time, read and sent with Xlib
// on GDK's own connection.
#include "toolkit/gtk/x11_gtk.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <time.h>

#include <cstdlib>
#include <cstring>

#include "platform/posix/process_posix.h"

namespace lum::gtk {

namespace {

bool OnX11(GtkWidget* widget) {
  return widget && GDK_IS_X11_DISPLAY(gtk_widget_get_display(widget));
}

int64_t NowMs() {
  timespec t{};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

}  // namespace

bool FramesOnRequest() {
  GdkScreen* screen = gdk_screen_get_default();
  return screen && GDK_IS_X11_SCREEN(screen) &&
         gdk_x11_screen_supports_net_wm_hint(screen,
                                             gdk_atom_intern_static_string("_NET_REQUEST_FRAME_EXTENTS"));
}

bool ReadFrameExtents(GtkWidget* window, Rect* extents) {
  GdkWindow* gdk_window = window ? gtk_widget_get_window(window) : nullptr;
  if (!OnX11(window) || !gdk_window) return false;
  GdkDisplay* display = gtk_widget_get_display(window);
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  gdk_x11_display_error_trap_push(display);
  int rc = XGetWindowProperty(x, GDK_WINDOW_XID(gdk_window),
                              gdk_x11_get_xatom_by_name_for_display(display, "_NET_FRAME_EXTENTS"), 0,
                              4, False, XA_CARDINAL, &type, &format, &count, &after, &data);
  bool failed = gdk_x11_display_error_trap_pop(display) != 0;
  bool ok = !failed && rc == Success && type == XA_CARDINAL && format == 32 && count == 4 && data;
  if (ok) {
    // Format 32 comes as longs; a window manager's nonsense is not a frame.
    const long* v = reinterpret_cast<const long*>(data);
    for (int i = 0; i < 4; ++i) ok = ok && v[i] >= 0 && v[i] <= 1000;
    if (ok) *extents = Rect{static_cast<int>(v[0]), static_cast<int>(v[2]), static_cast<int>(v[1]),
                            static_cast<int>(v[3])};
  }
  if (data) XFree(data);
  return ok;
}

bool RequestFrameExtents(GtkWidget* window, int wait_ms, Rect* extents) {
  if (!OnX11(window) || !FramesOnRequest()) return false;
  gtk_widget_realize(window);
  GdkWindow* gdk_window = gtk_widget_get_window(window);
  if (!gdk_window) return false;
  if (ReadFrameExtents(window, extents)) return true;
  GdkDisplay* display = gtk_widget_get_display(window);
  Display* x = GDK_DISPLAY_XDISPLAY(display);
  XEvent event;
  std::memset(&event, 0, sizeof event);
  event.xclient.type = ClientMessage;
  event.xclient.window = GDK_WINDOW_XID(gdk_window);
  event.xclient.message_type = gdk_x11_get_xatom_by_name_for_display(display, "_NET_REQUEST_FRAME_EXTENTS");
  event.xclient.format = 32;
  Window root = GDK_WINDOW_XID(gdk_screen_get_root_window(gdk_window_get_screen(gdk_window)));
  XSendEvent(x, root, False, SubstructureRedirectMask | SubstructureNotifyMask, &event);
  XFlush(x);
  // The answer is a property change; looked at every few milliseconds
  // rather than taken from GDK's queue, which stays as it is.
  const int64_t deadline = NowMs() + wait_ms;
  do {
    g_usleep(5000);
    if (ReadFrameExtents(window, extents)) return true;
  } while (NowMs() < deadline);
  return false;
}

bool IsFrameExtentsEvent(GdkEventProperty* event) {
  return event && event->atom == gdk_atom_intern_static_string("_NET_FRAME_EXTENTS");
}

namespace {
bool g_display_open = false;

std::string TokenFor(bool for_start) { return for_start ? UserEventToken() : ActivationToken(); }

// Raises and starts of other processes carry the user's act from here on.
[[maybe_unused]] const bool g_source_set = (posix::SetActivationSource(TokenFor), true);
}  // namespace

void NoteDisplayOpen() { g_display_open = true; }

std::string ActivationToken() {
  // Before the display is open (a second centre that only raises the
  // first), the id its launcher gave this process stands for the user's act
  // that started it. Once open, GDK has taken it for the first window.
  if (!g_display_open) {
    const char* id = std::getenv("DESKTOP_STARTUP_ID");
    return id ? id : "";
  }
  return UserEventToken();
}

std::string StartupToken() {
  GdkDisplay* display = g_display_open ? gdk_display_get_default() : nullptr;
  if (display && GDK_IS_X11_DISPLAY(display))
    if (const char* id = gdk_x11_display_get_startup_notification_id(display); id && *id) return id;
  return ActivationToken();
}

std::string UserEventToken() {
  if (!g_display_open) return {};
  guint32 time = gtk_get_current_event_time();
  return time != GDK_CURRENT_TIME ? "_TIME" + std::to_string(time) : std::string();
}

void PresentWithToken(GtkWindow* window, const std::string& token) {
  guint32 time = GDK_CURRENT_TIME;
  size_t at = token.rfind("_TIME");
  if (at != std::string::npos) {
    char* end = nullptr;
    unsigned long value = std::strtoul(token.c_str() + at + 5, &end, 10);
    if (end && *end == '\0' && value <= 0xFFFFFFFFul) time = static_cast<guint32>(value);
  }
  if (!token.empty() && OnX11(GTK_WIDGET(window)) && gtk_widget_get_realized(GTK_WIDGET(window)))
    gtk_window_set_startup_id(window, token.c_str());  // the user time, and the launch's end
  gtk_window_present_with_time(window, time);
}

}  // namespace lum::gtk
