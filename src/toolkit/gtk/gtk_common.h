// What the gtk backend's files share: the peer, text conversion between the
// program's Windows-1251 and GTK's UTF-8, and the web view's entry points.
#pragma once

#include <glib-unix.h>
#include <gtk/gtk.h>

#include <string>

#include "toolkit/toolkit.h"

namespace lum {

struct BrowserView;

struct Peer {
  GtkWidget* widget = nullptr;  // what sits in the parent (a form: its window)
  GtkWidget* fixed = nullptr;   // where children go (forms and panels)
  GtkWidget* inner = nullptr;   // the control proper, when it is not `widget`
  guint timer = 0;              // timers: the GLib source
  GtkStatusIcon* status = nullptr;  // tray icons
  std::string status_icon;          // what `status` shows
  BrowserView* browser = nullptr;
  Rect frame;  // forms: the window manager's frame, as far as it has told it
  bool frame_asked = false;
  int claim_fd = -1;  // forms: the window class held for this process
  guint claim_watch = 0;
  int echo_off = 0;  // our own changes, not the user's
};

namespace gtk {

// Opens the display on first use; a process that has none cannot show a
// window and ends, saying why.
void EnsureInit();

std::string ToUtf8(const std::string& program_text);
// GTK's text in the program's code page; characters without a place there
// become "?".
std::string FromUtf8(const char* utf8);

// The RGB value of a colour, red lowest.
std::uint32_t Rgb(Color color);
void SetSourceColor(cairo_t* cr, Color color);

// The program's resource (an icon file) as an image of about that size.
GdkPixbuf* LoadIcon(const std::string& resource, int width, int height);

// What a screen reader is told (accessible_gtk.cpp): a label's drawing
// area that exposes its text, the news that a label's text changed, and an
// edit or drop-down list named by the label beside it once realized.
GtkWidget* NewLabelArea();
void LabelTextChanged(GtkWidget* area);
void NameByLabel(Control& control, GtkWidget* widget);

}  // namespace gtk

namespace gtk {
// Opens the browser engine on first call (engine_library.cpp); false when it
// cannot be opened, on that and every later call.
bool LoadEngine();
// Opens the StatusNotifier library on first call (indicator_library.cpp);
// false when it cannot be opened, on that and every later call.
bool LoadIndicator();
}  // namespace gtk

// The browser control on WebKitGTK (browser_gtk.cpp); null when the engine
// cannot be opened.
BrowserView* BrowserViewCreate(Browser& browser);
GtkWidget* BrowserViewWidget(BrowserView* view);
void BrowserViewDestroy(BrowserView* view);

}  // namespace lum
