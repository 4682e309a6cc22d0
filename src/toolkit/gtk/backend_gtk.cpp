// The gtk backend: the Linux desktop edition's windows, on GTK 3.
//
// Every container (a form's client area, a panel) is a fixed-position
// container with a window of its own, so children sit at the pixel positions
// the objects give and a container clips what overhangs it. Labels, paint
// boxes and panels draw themselves (text with Pango, exactly where the
// objects put it); edits, drop-down lists and buttons are GTK's own, shrunk
// by a style sheet to the sizes the objects give. Keys: Enter and Tab go to
// the objects before the focused widget sees them, except in the page.
#include <fontconfig/fontconfig.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "net/codepage.h"
#include "platform/os.h"
#include "platform/posix/instance_rendezvous.h"
#include "toolkit/app.h"
#include "toolkit/backend.h"
#include "toolkit/gtk/gtk_common.h"
#include "toolkit/gtk/x11_gtk.h"

// A GtkFixed that asks for no size of its own: its size is the one the
// object gives, never the extent of children that overhang it.
struct LumFixed {
  GtkFixed parent;
};
struct LumFixedClass {
  GtkFixedClass parent_class;
};
G_DEFINE_TYPE(LumFixed, lum_fixed, GTK_TYPE_FIXED)

static void lum_fixed_no_size(GtkWidget*, gint* minimum, gint* natural) {
  *minimum = 0;
  *natural = 0;
}

static void lum_fixed_class_init(LumFixedClass* klass) {
  GtkWidgetClass* widget = GTK_WIDGET_CLASS(klass);
  widget->get_preferred_width = lum_fixed_no_size;
  widget->get_preferred_height = lum_fixed_no_size;
}

static void lum_fixed_init(LumFixed*) {}

// The page host's edge: the system's browser control keeps a 2-pixel edge
// inside its bounds, and a panel's margin of -2 hides it outside the window.
// The engine's view has none, so this keeps an empty one around it; the
// page then lies where the system's control draws it.
struct LumInset {
  GtkBin parent;
};
struct LumInsetClass {
  GtkBinClass parent_class;
};
G_DEFINE_TYPE(LumInset, lum_inset, GTK_TYPE_BIN)

constexpr int kBrowserEdge = 2;

static void lum_inset_allocate(GtkWidget* widget, GtkAllocation* allocation) {
  gtk_widget_set_allocation(widget, allocation);
  GtkWidget* child = gtk_bin_get_child(GTK_BIN(widget));
  if (!child || !gtk_widget_get_visible(child)) return;
  GtkAllocation inner{allocation->x + kBrowserEdge, allocation->y + kBrowserEdge,
                      std::max(allocation->width - 2 * kBrowserEdge, 1),
                      std::max(allocation->height - 2 * kBrowserEdge, 1)};
  gtk_widget_size_allocate(child, &inner);
}

static void lum_inset_class_init(LumInsetClass* klass) {
  GtkWidgetClass* widget = GTK_WIDGET_CLASS(klass);
  widget->get_preferred_width = lum_fixed_no_size;
  widget->get_preferred_height = lum_fixed_no_size;
  widget->size_allocate = lum_inset_allocate;
}

static void lum_inset_init(LumInset* inset) { gtk_widget_set_has_window(GTK_WIDGET(inset), FALSE); }

namespace lum {

namespace {

const char kControlKey[] = "lum-control";

std::vector<Form*> g_forms;
bool g_quit = false;
int g_loops = 0;  // message loops running, nested ones included

// Controls, buttons and edits take the sizes the objects give: the theme's
// minimum sizes and paddings are for another layout.
const char kStyleSheet[] =
    "entry { min-height: 0; min-width: 0; padding: 0 3px; }\n"
    "button { min-height: 0; min-width: 0; padding: 0 4px; }\n"
    "combobox button { min-height: 0; min-width: 0; padding: 0 2px 0 4px; }\n"
    "combobox box, combobox cellview { min-height: 0; }\n";

Control* ControlOf(GtkWidget* widget) {
  for (; widget; widget = gtk_widget_get_parent(widget)) {
    if (auto* c = static_cast<Control*>(g_object_get_data(G_OBJECT(widget), kControlKey)))
      return c;
  }
  return nullptr;
}

GtkWidget* Outer(const Control& c) { return c.peer_ ? c.peer_->widget : nullptr; }
GtkWidget* Inner(const Control& c) {
  if (!c.peer_) return nullptr;
  return c.peer_->inner ? c.peer_->inner : c.peer_->widget;
}

struct EchoOff {
  explicit EchoOff(Control& c) : peer(c.peer_) { ++peer->echo_off; }
  ~EchoOff() { --peer->echo_off; }
  Peer* peer;
};

// The window font's layout is fixed to the pixel: labels end a few pixels
// before their edits, and the popup's titles fill their width. The face
// with the window font's own widths is the one Wine ships (fonts-wine,
// added to this process at start-up); where it is missing, Liberation Sans
// (Arial's widths, within a pixel at 11 px). The desktop's DejaVu Sans is a
// tenth wider and would run labels into their edits. Symbol faces get the
// same, with their glyphs mapped (below).
const char kWindowFaces[] = "Tahoma, Liberation Sans, Sans";
const char kWindowFacesCss[] = "\"Tahoma\", \"Liberation Sans\", sans-serif";

bool IsWindowFace(const Font& font) {
  return font.face == "MS Shell Dlg 2" || font.face == "MS Shell Dlg" || font.face == "Tahoma" ||
         font.face == "MS Sans Serif" || font.face == "Marlett";
}

PangoFontDescription* FontDescription(const Font& font) {
  PangoFontDescription* d = pango_font_description_new();
  std::string face = IsWindowFace(font) ? kWindowFaces : font.face;
  pango_font_description_set_family(d, face.c_str());
  pango_font_description_set_absolute_size(d, font.height * PANGO_SCALE);
  pango_font_description_set_weight(d, font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  return d;
}

// What a label shows: its text, or for the symbol face the glyphs the
// program uses from it (the close cross).
std::string DisplayText(const Font& font, const std::string& text) {
  if (font.face == "Marlett") {
    std::string out;
    for (char ch : text) out += ch == 'r' ? "\xE2\x9C\x95" : gtk::ToUtf8(std::string(1, ch));
    return out;
  }
  return gtk::ToUtf8(text);
}

PangoLayout* MakeLayout(PangoContext* context, const Control& c) {
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* d = FontDescription(c.GetFont());
  pango_layout_set_font_description(layout, d);
  pango_font_description_free(d);
  std::string text = DisplayText(c.GetFont(), c.Text());
  pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
  return layout;
}

void FillBack(const Control& c, cairo_t* cr) {
  if (c.Transparent()) return;
  gtk::SetSourceColor(cr, c.GetColor());
  cairo_paint(cr);
}

// A raised edge as the classic scheme draws it: light outside top and left,
// dark outside bottom and right.
void DrawRaisedEdge(GtkWidget* widget, cairo_t* cr) {
  int w = gtk_widget_get_allocated_width(widget), h = gtk_widget_get_allocated_height(widget);
  auto line = [cr](std::uint32_t rgb, double x0, double y0, double x1, double y1) {
    cairo_set_source_rgb(cr, (rgb & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                         ((rgb >> 16) & 0xFF) / 255.0);
    cairo_move_to(cr, x0, y0);
    cairo_line_to(cr, x1, y1);
    cairo_stroke(cr);
  };
  cairo_set_line_width(cr, 1);
  line(0xE3E3E3, 0.5, h - 1, 0.5, 0.5);
  line(0xE3E3E3, 0.5, 0.5, w - 1, 0.5);
  line(0xFFFFFF, 1.5, h - 2, 1.5, 1.5);
  line(0xFFFFFF, 1.5, 1.5, w - 2, 1.5);
  line(0x696969, 0, h - 0.5, w, h - 0.5);
  line(0x696969, w - 0.5, 0, w - 0.5, h);
  line(0xA0A0A0, 1, h - 1.5, w - 1, h - 1.5);
  line(0xA0A0A0, w - 1.5, 1, w - 1.5, h - 1);
}

gboolean OnContainerDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  auto* c = static_cast<Control*>(data);
  // GTK widens a container's drawing area by its children's shadows and
  // focus rings; the background stays within the panel's own bounds, or a
  // panel would paint over what lies above it.
  cairo_rectangle(cr, 0, 0, gtk_widget_get_allocated_width(widget),
                  gtk_widget_get_allocated_height(widget));
  cairo_clip(cr);
  FillBack(*c, cr);
  if (c->Kind() == ControlKind::Panel && static_cast<Panel*>(c)->GetEdge() == Panel::Edge::Raised)
    DrawRaisedEdge(widget, cr);
  return FALSE;  // the children are drawn next
}

gboolean OnLabelDraw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  auto* c = static_cast<Control*>(data);
  FillBack(*c, cr);
  PangoLayout* layout = MakeLayout(gtk_widget_get_pango_context(widget), *c);
  gtk::SetSourceColor(cr, c->Enabled() ? c->FontColor() : SysColor(17));  // COLOR_GRAYTEXT
  cairo_move_to(cr, 0, 0);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
  return TRUE;
}

gboolean OnPaintBoxDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  auto* box = static_cast<PaintBox*>(data);
  FillBack(*box, cr);
  Canvas canvas(cr);
  box->DoPaint(canvas);
  return TRUE;
}

// One click per press and release of the first button on the label; the
// double-click events in between are not clicks of their own.
gboolean OnLabelPress(GtkWidget*, GdkEventButton* event, gpointer) {
  return event->button == 1 && event->type == GDK_BUTTON_PRESS;
}

gboolean OnLabelRelease(GtkWidget* widget, GdkEventButton* event, gpointer data) {
  if (event->button != 1) return FALSE;
  int w = gtk_widget_get_allocated_width(widget), h = gtk_widget_get_allocated_height(widget);
  if (event->x < 0 || event->y < 0 || event->x >= w || event->y >= h) return TRUE;
  static_cast<Label*>(data)->DoClick();
  return TRUE;
}

void ApplyCursor(Control& c) {
  GtkWidget* widget = Inner(c);
  GdkWindow* window = widget ? gtk_widget_get_window(widget) : nullptr;
  if (!window || !gtk_widget_get_has_window(widget)) return;
  GdkCursor* cursor = c.GetCursor() == Cursor::Hand
                          ? gdk_cursor_new_from_name(gtk_widget_get_display(widget), "pointer")
                          : nullptr;
  gdk_window_set_cursor(window, cursor);
  if (cursor) g_object_unref(cursor);
}

void OnRealizeCursor(GtkWidget*, gpointer data) { ApplyCursor(*static_cast<Control*>(data)); }

void OnEditChanged(GtkEditable* editable, gpointer data) {
  auto* edit = static_cast<Edit*>(data);
  if (!edit->peer_ || edit->peer_->echo_off) return;
  edit->PeerTextChanged(gtk::FromUtf8(gtk_entry_get_text(GTK_ENTRY(editable))));
}

void OnComboChanged(GtkComboBox* box, gpointer data) {
  auto* combo = static_cast<ComboBox*>(data);
  if (!combo->peer_ || combo->peer_->echo_off) return;
  combo->PeerItemChosen(gtk_combo_box_get_active(box));
}

void OnButtonClicked(GtkButton*, gpointer data) { static_cast<Button*>(data)->DoClick(); }

// A widget's own style: the object's font, and for edits its colours.
void ApplyWidgetStyle(Control& c) {
  GtkWidget* widget = Inner(c);
  const Font& f = c.GetFont();
  std::string face = IsWindowFace(f) ? kWindowFacesCss : "\"" + f.face + "\"";
  std::string css = "* { font-family: " + face + "; font-size: " +
                    std::to_string(f.height) + "px; font-weight: " +
                    (f.bold ? "bold" : "normal") + ";";
  if (c.Kind() == ControlKind::Edit) {
    char colors[96];
    std::uint32_t back = gtk::Rgb(c.GetColor()), fore = gtk::Rgb(c.FontColor());
    std::snprintf(colors, sizeof colors, " background-color: #%02x%02x%02x; color: #%02x%02x%02x;",
                  back & 0xFF, (back >> 8) & 0xFF, (back >> 16) & 0xFF, fore & 0xFF,
                  (fore >> 8) & 0xFF, (fore >> 16) & 0xFF);
    css += colors;
  }
  css += " }";
  GtkStyleContext* context = gtk_widget_get_style_context(widget);
  auto* old = static_cast<GtkCssProvider*>(g_object_get_data(G_OBJECT(widget), "lum-css"));
  if (old) gtk_style_context_remove_provider(context, GTK_STYLE_PROVIDER(old));
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(context, GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
  g_object_set_data_full(G_OBJECT(widget), "lum-css", provider, g_object_unref);
}

void ApplyItems(ComboBox& combo) {
  EchoOff quiet(combo);
  GtkComboBoxText* box = GTK_COMBO_BOX_TEXT(Inner(combo));
  gtk_combo_box_text_remove_all(box);
  for (const std::string& item : combo.Items())
    gtk_combo_box_text_append_text(box, gtk::ToUtf8(item).c_str());
  gtk_combo_box_set_active(GTK_COMBO_BOX(box), combo.ItemIndex());
}

// --- forms ---

void ApplyFormGeometry(Form& form) {
  GtkWindow* window = GTK_WINDOW(Outer(form));
  Size client = form.ClientSize();
  int w = client.width > 1 ? client.width : 1, h = client.height > 1 ? client.height : 1;
  gtk_widget_set_size_request(form.peer_->fixed, w, h);
  gtk_window_resize(window, w, h);
  gtk_window_move(window, form.Left(), form.Top());
}

// Rounded corners as the system cuts them: the rectangle's right and bottom
// edges are exclusive once more, and each row of a corner gives up what lies
// outside the corner's ellipse, traced as a raster ellipse (after Zingl's
// algorithm). A 3 x 3 corner loses its one corner pixel.
void ApplyRegion(Form& form) {
  const Form::RoundRegion* r = form.Region();
  if (!r) return;
  int left = r->rect.left, top = r->rect.top, right = r->rect.right - 1, bottom = r->rect.bottom - 1;
  if (right < left) std::swap(left, right);
  if (bottom < top) std::swap(top, bottom);
  int ew = std::min(right - left, std::abs(r->corner_width));
  int eh = std::min(bottom - top, std::abs(r->corner_height));
  cairo_region_t* region = cairo_region_create();
  auto row = [&](int y, int height, int inset) {
    cairo_rectangle_int_t band{left + inset, y, right - left - 2 * inset, height};
    if (band.width > 0 && band.height > 0) cairo_region_union_rectangle(region, &band);
  };
  if (ew < 2 || eh < 2) {
    row(top, bottom - top, 0);
  } else {
    std::vector<int> inset(static_cast<size_t>(eh), 0);  // per row of the ellipse's box
    const std::int64_t a = ew - 1, b = eh - 1;
    const std::int64_t asq = 8 * a * a, bsq = 8 * b * b;
    std::int64_t dx = 4 * b * b * (1 - a), dy = 4 * a * a * (1 + b % 2);
    std::int64_t err = dx + dy + a * a * (b % 2);
    int x = 0, y = eh / 2;
    while (x <= ew / 2) {
      std::int64_t e2 = 2 * err;
      if (e2 >= dx) {
        ++x;
        err += dx += bsq;
      }
      if (e2 <= dy) {
        ++y;
        err += dy += asq;
        if (y < eh) inset[static_cast<size_t>(y)] = x;
      }
    }
    for (int i = 0; i < eh / 2; ++i) row(top + i, 1, inset[static_cast<size_t>(b - i)]);
    row(top + eh / 2, bottom - eh + eh / 2 + 1 - (top + eh / 2), 0);
    for (int i = eh / 2 + 1; i < eh; ++i) row(bottom - eh + i, 1, inset[static_cast<size_t>(i)]);
  }
  gtk_widget_shape_combine_region(Outer(form), region);
  cairo_region_destroy(region);
}

void ApplyFormStyle(Form& form) {
  GtkWindow* window = GTK_WINDOW(Outer(form));
  gtk_window_set_decorated(window, form.Caption());
  gtk_window_set_resizable(window, !form.FixedSize() && form.Caption());
  gtk_window_set_keep_above(window, form.Topmost());
  gtk_window_set_skip_taskbar_hint(window, form.ToolWindow());
  gtk_window_set_skip_pager_hint(window, form.ToolWindow());
  // A window without caption that stays out of the taskbar is the news
  // popup: it never takes the keyboard from the user's window.
  bool popup = form.ToolWindow() && !form.Caption();
  gtk_window_set_accept_focus(window, !popup);
  gtk_window_set_focus_on_map(window, !popup);
  if (!gtk_widget_get_realized(GTK_WIDGET(window)))
    gtk_window_set_type_hint(window, popup ? GDK_WINDOW_TYPE_HINT_NOTIFICATION
                                           : GDK_WINDOW_TYPE_HINT_NORMAL);
  ApplyFormGeometry(form);
}

void ApplyFormIcon(Form& form) {
  GdkPixbuf* icon = gtk::LoadIcon(form.Icon(), 48, 48);
  gtk_window_set_icon(GTK_WINDOW(Outer(form)), icon);
  if (icon) g_object_unref(icon);
}

// The window manager's frame as it has told it: the client area keeps its
// size and the window grows around it; a window that was centred is centred
// again with its frame, as the system centres a framed window.
void AdoptFrame(Form& form, const Rect& extents) {
  Peer& p = *form.peer_;
  if (p.frame == extents) return;
  Size client = form.ClientSize();
  bool centred = Point{form.Left(), form.Top()} == form.CentredPosition();
  p.frame = extents;
  form.SetClientSize(client.width, client.height);
  if (centred) form.CenterOnScreen();
}

gboolean OnFormProperty(GtkWidget* window, GdkEventProperty* event, gpointer data) {
  auto* form = static_cast<Form*>(data);
  Rect extents;
  if (gtk::IsFrameExtentsEvent(event) && form->Caption() && gtk::ReadFrameExtents(window, &extents)) {
    try {
      AdoptFrame(*form, extents);
    } catch (...) {
    }
  }
  return FALSE;
}

// Before a framed window is first shown: its frame, so that it is placed
// once and where it belongs. A window manager that does not answer in time
// tells it once the window is mapped (OnFormProperty).
void AskFrame(Form& form) {
  Peer& p = *form.peer_;
  if (p.frame_asked || !form.Caption()) return;
  p.frame_asked = true;
  Rect extents;
  if (gtk::RequestFrameExtents(p.widget, 500, &extents)) AdoptFrame(form, extents);
}

gboolean OnDeleteEvent(GtkWidget*, GdkEvent*, gpointer data) {
  static_cast<Form*>(data)->DoCloseRequest();
  return TRUE;  // the objects decide; an accepted close of the main form ends the loop
}

gboolean OnKeyPress(GtkWidget* window, GdkEventKey* event, gpointer data) {
  auto* form = static_cast<Form*>(data);
  bool enter = event->keyval == GDK_KEY_Return || event->keyval == GDK_KEY_KP_Enter;
  bool tab = event->keyval == GDK_KEY_Tab || event->keyval == GDK_KEY_ISO_Left_Tab ||
             event->keyval == GDK_KEY_KP_Tab;
  if (!enter && !tab) return FALSE;
  if (event->state & (GDK_CONTROL_MASK | GDK_MOD1_MASK)) return FALSE;
  Control* target = ControlOf(gtk_window_get_focus(GTK_WINDOW(window)));
  if (!target || target->Kind() == ControlKind::Browser) return FALSE;  // the page's keys
  bool shift = (event->state & GDK_SHIFT_MASK) || event->keyval == GDK_KEY_ISO_Left_Tab;
  try {
    return form->HandleKey(*target, enter ? Key::Enter : Key::Tab, shift);
  } catch (...) {
    return TRUE;
  }
}

// --- z-order: the fixed container draws its children in list order ---

void Restack(Control& parent) {
  if (!parent.peer_ || !parent.peer_->fixed) return;
  GtkContainer* fixed = GTK_CONTAINER(parent.peer_->fixed);
  std::vector<Control*> wanted;  // back first
  for (auto it = parent.ZOrder().rbegin(); it != parent.ZOrder().rend(); ++it)
    if (Outer(**it)) wanted.push_back(*it);
  GList* children = gtk_container_get_children(fixed);
  size_t same = 0;
  for (GList* l = children; l && same < wanted.size(); l = l->next, ++same)
    if (l->data != Outer(*wanted[same])) break;
  g_list_free(children);
  // Only what has to move in front is taken out and put back; the page
  // host, at the back, stays where it is.
  for (size_t i = same; i < wanted.size(); ++i) {
    Control& c = *wanted[i];
    GtkWidget* w = Outer(c);
    if (gtk_widget_get_parent(w) != GTK_WIDGET(fixed)) continue;
    g_object_ref(w);
    gtk_container_remove(fixed, w);
    gtk_fixed_put(GTK_FIXED(fixed), w, c.Left(), c.Top());
    g_object_unref(w);
    if (gtk_widget_get_has_window(w) && gtk_widget_get_realized(w))
      gdk_window_raise(gtk_widget_get_window(w));
  }
}

// --- one window of a class per session ---

// Another process of ours asks this window to come forward or to close.
gboolean OnClassRequest(gint fd, GIOCondition, gpointer data) {
  auto* form = static_cast<Form*>(data);
  int reply = -1;
  std::string token;
  posix::ClassRequest request = posix::TakeClassRequest(fd, &reply, &token);
  try {
    if (request == posix::ClassRequest::Raise) {
      // A hidden window stays hidden, as the system leaves it. The sender's
      // user act lets the window manager give it the focus.
      if (gtk_widget_get_visible(Outer(*form)))
        gtk::PresentWithToken(GTK_WINDOW(Outer(*form)), token);
    } else if (request == posix::ClassRequest::Close) {
      form->DoCloseRequest();
    }
  } catch (...) {
  }
  posix::AnswerClassRequest(reply);
  return G_SOURCE_CONTINUE;
}

// The window's class is this process's for its life. Two starts that both
// found no window of the class race here: the one that loses raises the
// winner's window and ends, as it would have had it looked a moment later.
void ClaimClass(Form& form) {
  Peer& p = *form.peer_;
  p.claim_fd = posix::ClaimWindowClass(form.ClassName());
  if (p.claim_fd < 0) {
    posix::SendClassRequest(form.ClassName(), posix::ClassRequest::Raise, 1000, 0,
                            gtk::StartupToken());
    std::exit(0);
  }
  p.claim_watch = g_unix_fd_add(p.claim_fd, G_IO_IN, OnClassRequest, &form);
}

// --- timers ---

gboolean OnTimer(gpointer data) {
  auto* timer = static_cast<Timer*>(data);
  try {
    timer->DoTick();  // may stop, restart or free the timer
  } catch (...) {
  }
  return G_SOURCE_CONTINUE;
}

}  // namespace

// --- shared helpers ---

namespace gtk {

// The faces with the window font's widths, from Wine's fonts, known to this
// process alone: fontconfig does not look in Wine's folder, and the desktop
// should not get them. Added before the first font is looked up.
void AddWindowFonts() {
  static const char* const kFiles[] = {"/usr/share/wine/fonts/tahoma.ttf",
                                       "/usr/share/wine/fonts/tahomabd.ttf"};
  for (const char* file : kFiles)
    if (access(file, R_OK) == 0)
      FcConfigAppFontAddFile(nullptr, reinterpret_cast<const FcChar8*>(file));
}

void EnsureInit() {
  static bool done = false;
  if (done) return;
  done = true;
  // The news popup places itself at the work area's corner, and no Wayland
  // compositor lets a client place its windows: under a Wayland session the
  // program runs through XWayland. Where that is missing it still runs on
  // Wayland, its windows placed by the compositor.
  if (const char* wayland = std::getenv("WAYLAND_DISPLAY"); wayland && *wayland)
    gdk_set_allowed_backends("x11,*");
  // The windows draw with cairo and the page in software: probing the
  // display for GL only loads a GL driver (a good part of an agent's start).
  // Unset again at once, so that programs we start do not inherit it.
  AddWindowFonts();
  bool gl_unset = std::getenv("GDK_GL") == nullptr;
  if (gl_unset) setenv("GDK_GL", "disable", 0);
  bool ok = gtk_init_check(nullptr, nullptr);
  if (gl_unset) unsetenv("GDK_GL");
  if (ok) NoteDisplayOpen();
  if (!ok) {
    std::fprintf(stderr, "LumCenter: no display to show the window on\n");
    std::exit(1);
  }
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, kStyleSheet, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

std::string ToUtf8(const std::string& text) { return Cp1251ToUtf8(text); }

std::string FromUtf8(const char* utf8) {
  std::string out;
  if (!utf8) return out;
  for (const char* p = utf8; *p; p = g_utf8_next_char(p)) {
    gunichar ch = g_utf8_get_char_validated(p, -1);
    if (ch == static_cast<gunichar>(-1) || ch == static_cast<gunichar>(-2)) {
      out += '?';
      continue;
    }
    out += UnicodeTo1251(ch);
  }
  return out;
}

std::uint32_t Rgb(Color color) {
  return IsSysColor(color) ? SystemColorRgb(SysColorIndex(color)) : color;
}

void SetSourceColor(cairo_t* cr, Color color) {
  std::uint32_t rgb = Rgb(color);
  cairo_set_source_rgb(cr, (rgb & 0xFF) / 255.0, ((rgb >> 8) & 0xFF) / 255.0,
                       ((rgb >> 16) & 0xFF) / 255.0);
}

GdkPixbuf* LoadIcon(const std::string& resource, int width, int height) {
  if (resource.empty()) return nullptr;
  std::string bytes = Os().ProgramResource(resource);
  if (bytes.empty()) return nullptr;
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
  GdkPixbuf* image = nullptr;
  if (gdk_pixbuf_loader_write(loader, reinterpret_cast<const guchar*>(bytes.data()), bytes.size(),
                              nullptr) &&
      gdk_pixbuf_loader_close(loader, nullptr)) {
    if (GdkPixbuf* full = gdk_pixbuf_loader_get_pixbuf(loader))
      image = gdk_pixbuf_scale_simple(full, width, height, GDK_INTERP_BILINEAR);
  } else {
    gdk_pixbuf_loader_close(loader, nullptr);
  }
  g_object_unref(loader);
  return image;
}

}  // namespace gtk

// --- the backend ---

namespace backend {

void CreatePeer(Control& control) {
  gtk::EnsureInit();
  control.peer_ = new Peer;
  Peer& p = *control.peer_;
  switch (control.Kind()) {
    case ControlKind::Form: {
      auto& form = static_cast<Form&>(control);
      p.widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
      // The class name is what other programs find the window by.
      G_GNUC_BEGIN_IGNORE_DEPRECATIONS
      gtk_window_set_wmclass(GTK_WINDOW(p.widget), form.ClassName().c_str(),
                             form.ClassName().c_str());
      G_GNUC_END_IGNORE_DEPRECATIONS
      gtk_window_set_title(GTK_WINDOW(p.widget), gtk::ToUtf8(form.Text()).c_str());
      p.fixed = GTK_WIDGET(g_object_new(lum_fixed_get_type(), nullptr));
      gtk_widget_set_has_window(p.fixed, TRUE);
      gtk_container_add(GTK_CONTAINER(p.widget), p.fixed);
      gtk_widget_show(p.fixed);
      g_signal_connect(p.fixed, "draw", G_CALLBACK(OnContainerDraw), &control);
      g_signal_connect(p.widget, "delete-event", G_CALLBACK(OnDeleteEvent), &control);
      g_signal_connect(p.widget, "key-press-event", G_CALLBACK(OnKeyPress), &control);
      gtk_widget_add_events(p.widget, GDK_PROPERTY_CHANGE_MASK);
      g_signal_connect(p.widget, "property-notify-event", G_CALLBACK(OnFormProperty), &control);
      g_forms.push_back(&form);
      ClaimClass(form);
      break;
    }
    case ControlKind::Panel:
      p.widget = GTK_WIDGET(g_object_new(lum_fixed_get_type(), nullptr));
      gtk_widget_set_has_window(p.widget, TRUE);
      p.fixed = p.widget;
      g_signal_connect(p.widget, "draw", G_CALLBACK(OnContainerDraw), &control);
      break;
    case ControlKind::Label:
      p.widget = gtk::NewLabelArea();
      gtk_widget_add_events(p.widget, GDK_BUTTON_PRESS_MASK | GDK_BUTTON_RELEASE_MASK);
      g_signal_connect(p.widget, "draw", G_CALLBACK(OnLabelDraw), &control);
      g_signal_connect(p.widget, "button-press-event", G_CALLBACK(OnLabelPress), &control);
      g_signal_connect(p.widget, "button-release-event", G_CALLBACK(OnLabelRelease), &control);
      g_signal_connect(p.widget, "realize", G_CALLBACK(OnRealizeCursor), &control);
      break;
    case ControlKind::PaintBox:
      p.widget = gtk_drawing_area_new();
      g_signal_connect(p.widget, "draw", G_CALLBACK(OnPaintBoxDraw), &control);
      break;
    case ControlKind::Edit: {
      auto& edit = static_cast<Edit&>(control);
      p.widget = gtk_entry_new();
      gtk_entry_set_width_chars(GTK_ENTRY(p.widget), 1);
      gtk_entry_set_has_frame(GTK_ENTRY(p.widget), TRUE);
      gtk_entry_set_visibility(GTK_ENTRY(p.widget), !edit.Masked());
      gtk_entry_set_text(GTK_ENTRY(p.widget), gtk::ToUtf8(edit.Text()).c_str());
      g_signal_connect(p.widget, "changed", G_CALLBACK(OnEditChanged), &control);
      gtk::NameByLabel(control, p.widget);
      break;
    }
    case ControlKind::ComboBox: {
      p.widget = gtk_combo_box_text_new();
      // The field is as wide as the object says, whatever its entries' length.
      GList* cells = gtk_cell_layout_get_cells(GTK_CELL_LAYOUT(p.widget));
      for (GList* l = cells; l; l = l->next)
        g_object_set(l->data, "ellipsize", PANGO_ELLIPSIZE_END, "width-chars", 1, nullptr);
      g_list_free(cells);
      g_signal_connect(p.widget, "changed", G_CALLBACK(OnComboChanged), &control);
      gtk::NameByLabel(control, p.widget);
      break;
    }
    case ControlKind::Button:
      p.widget = gtk_button_new_with_label(gtk::ToUtf8(control.Text()).c_str());
      if (static_cast<Button&>(control).IsDefault())
        gtk_style_context_add_class(gtk_widget_get_style_context(p.widget), "default");
      g_signal_connect(p.widget, "clicked", G_CALLBACK(OnButtonClicked), &control);
      break;
    case ControlKind::Browser:
      p.browser = BrowserViewCreate(static_cast<Browser&>(control));
      // Without the engine an empty area stands in; the control reports none.
      p.inner = p.browser ? BrowserViewWidget(p.browser) : gtk_drawing_area_new();
      p.widget = GTK_WIDGET(g_object_new(lum_inset_get_type(), nullptr));
      gtk_container_add(GTK_CONTAINER(p.widget), p.inner);
      break;
  }
  g_object_ref_sink(p.widget);
  g_object_set_data(G_OBJECT(p.widget), kControlKey, &control);
  if (control.Kind() == ControlKind::Form) {
    auto& form = static_cast<Form&>(control);
    ApplyFormStyle(form);
    ApplyFormIcon(form);
    ApplyRegion(form);
    return;  // made hidden; showing is a step of its own
  }
  if (control.Kind() == ControlKind::Edit || control.Kind() == ControlKind::ComboBox ||
      control.Kind() == ControlKind::Button)
    ApplyWidgetStyle(control);
  if (control.Kind() == ControlKind::ComboBox) ApplyItems(static_cast<ComboBox&>(control));
  gtk_widget_set_sensitive(p.widget, control.Enabled());
  const Rect& b = control.Bounds();
  gtk_widget_set_size_request(p.widget, b.Width() > 0 ? b.Width() : 0,
                              b.Height() > 0 ? b.Height() : 0);
  Control& parent = *control.Parent();
  gtk_fixed_put(GTK_FIXED(parent.peer_->fixed), p.widget, b.left, b.top);
  gtk_widget_set_visible(p.widget, control.Visible());
  Restack(parent);  // a new child starts at the back
}

void DestroyPeer(Control& control) {
  Peer* p = control.peer_;
  if (control.Kind() == ControlKind::Form) {
    for (size_t i = 0; i < g_forms.size(); ++i)
      if (g_forms[i] == &control) g_forms.erase(g_forms.begin() + i--);
    if (p->claim_watch) g_source_remove(p->claim_watch);
    if (p->claim_fd >= 0) posix::ReleaseWindowClass(p->claim_fd);
  }
  g_signal_handlers_disconnect_by_data(p->widget, &control);
  if (p->fixed && p->fixed != p->widget) g_signal_handlers_disconnect_by_data(p->fixed, &control);
  if (p->browser) BrowserViewDestroy(p->browser);
  gtk_widget_destroy(p->widget);
  g_object_unref(p->widget);
  delete p;
  control.peer_ = nullptr;
}

void Sync(Control& control, Change what) {
  if (!control.peer_) return;
  GtkWidget* widget = Outer(control);
  bool is_form = control.Kind() == ControlKind::Form;
  switch (what) {
    case Change::Bounds:
      if (is_form) {
        ApplyFormGeometry(static_cast<Form&>(control));
      } else {
        const Rect& b = control.Bounds();
        gtk_widget_set_size_request(widget, b.Width() > 0 ? b.Width() : 0,
                                    b.Height() > 0 ? b.Height() : 0);
        if (GtkWidget* parent = gtk_widget_get_parent(widget))
          gtk_fixed_move(GTK_FIXED(parent), widget, b.left, b.top);
      }
      break;
    case Change::Visible:
      if (is_form && control.Visible()) {
        auto& form = static_cast<Form&>(control);
        AskFrame(form);
        ApplyFormGeometry(form);
        gtk_widget_show(widget);
        gtk_window_move(GTK_WINDOW(widget), control.Left(), control.Top());
        // Showing a window activates it, as the system does for a new
        // window; the popup is shown without that (RaiseNoActivate).
        if (!(form.ToolWindow() && !form.Caption())) gtk_window_present(GTK_WINDOW(widget));
      } else {
        gtk_widget_set_visible(widget, control.Visible());
      }
      break;
    case Change::Enabled:
      gtk_widget_set_sensitive(widget, control.Enabled());
      gtk_widget_queue_draw(widget);
      break;
    case Change::Text:
      switch (control.Kind()) {
        case ControlKind::Form:
          gtk_window_set_title(GTK_WINDOW(widget), gtk::ToUtf8(control.Text()).c_str());
          break;
        case ControlKind::Edit: {
          EchoOff quiet(control);
          gtk_entry_set_text(GTK_ENTRY(widget), gtk::ToUtf8(control.Text()).c_str());
          break;
        }
        case ControlKind::Button:
          gtk_button_set_label(GTK_BUTTON(widget), gtk::ToUtf8(control.Text()).c_str());
          break;
        case ControlKind::Label:
          gtk::LabelTextChanged(widget);
          gtk_widget_queue_draw(widget);
          break;
        default:
          gtk_widget_queue_draw(widget);
          break;
      }
      break;
    case Change::Font:
    case Change::Colors:
      if (control.Kind() == ControlKind::Edit || control.Kind() == ControlKind::ComboBox ||
          control.Kind() == ControlKind::Button)
        ApplyWidgetStyle(control);
      gtk_widget_queue_draw(is_form ? control.peer_->fixed : widget);
      break;
    case Change::Cursor:
      ApplyCursor(control);
      break;
    case Change::ZOrder:
      if (control.Parent()) Restack(*control.Parent());
      Restack(control);
      break;
    case Change::Style:
      if (is_form) ApplyFormStyle(static_cast<Form&>(control));
      else gtk_widget_queue_draw(widget);
      break;
    case Change::Icon:
      ApplyFormIcon(static_cast<Form&>(control));
      break;
    case Change::Region:
      ApplyRegion(static_cast<Form&>(control));
      break;
    case Change::Items:
      ApplyItems(static_cast<ComboBox&>(control));
      break;
    case Change::ItemIndex: {
      EchoOff quiet(control);
      gtk_combo_box_set_active(GTK_COMBO_BOX(widget), static_cast<ComboBox&>(control).ItemIndex());
      break;
    }
    case Change::Masked:
      gtk_entry_set_visibility(GTK_ENTRY(widget), !static_cast<Edit&>(control).Masked());
      break;
    case Change::Default: {
      GtkStyleContext* context = gtk_widget_get_style_context(widget);
      if (static_cast<Button&>(control).IsDefault()) gtk_style_context_add_class(context, "default");
      else gtk_style_context_remove_class(context, "default");
      break;
    }
  }
}

WindowHandle HandleOf(const Control& control) {
  return reinterpret_cast<WindowHandle>(Outer(control));
}

Size MeasureText(const Font& font, const std::string& text) {
  gtk::EnsureInit();
  PangoContext* context = gdk_pango_context_get();
  PangoLayout* layout = pango_layout_new(context);
  PangoFontDescription* d = FontDescription(font);
  pango_layout_set_font_description(layout, d);
  pango_font_description_free(d);
  std::string utf8 = DisplayText(font, text);
  pango_layout_set_text(layout, utf8.c_str(), static_cast<int>(utf8.size()));
  int w = 0, h = 0;
  pango_layout_get_pixel_size(layout, &w, &h);
  g_object_unref(layout);
  g_object_unref(context);
  return {text.empty() ? 0 : w, h};
}

// The window manager draws caption and frame outside the client area; their
// size is what it has told (nothing before it has, and nothing without one).
Rect FrameInsets(const Form& form) {
  return form.peer_ && form.Caption() ? form.peer_->frame : Rect{};
}

namespace {

// As the system's SetFocus: an edit's text is not selected by it.
void GrabFocus(GtkWidget* widget) {
  if (GTK_IS_ENTRY(widget)) gtk_entry_grab_focus_without_selecting(GTK_ENTRY(widget));
  else gtk_widget_grab_focus(widget);
}

gboolean RefocusFromPage(gpointer data) {
  auto* widget = static_cast<GtkWidget*>(data);
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  GtkWidget* now = GTK_IS_WINDOW(top) ? gtk_window_get_focus(GTK_WINDOW(top)) : nullptr;
  Control* owner = ControlOf(now);
  if (owner && owner->Kind() == ControlKind::Browser && gtk_widget_is_visible(widget) &&
      gtk_widget_is_sensitive(widget))
    GrabFocus(widget);
  g_object_unref(widget);
  return G_SOURCE_REMOVE;
}

}  // namespace

void Focus(Control& control) {
  GtkWidget* widget = Inner(control);
  // A drop-down list never takes the focus itself: its button does, and
  // the list's grab hands it on.
  if (!gtk_widget_get_can_focus(widget) && !GTK_IS_COMBO_BOX(widget)) return;
  GrabFocus(widget);
  // Asked from a page's link: the engine focuses the page again once it has
  // handled the click that sent the link, after this; the focus asked for
  // here wins over that.
  if (control.TopForm().peer_) g_timeout_add(50, RefocusFromPage, g_object_ref(widget));
}

bool HasFocus(const Control& control) {
  GtkWidget* widget = Inner(control);
  if (!widget || !gtk_widget_is_visible(widget)) return false;
  GtkWidget* top = gtk_widget_get_toplevel(widget);
  GtkWidget* focus = GTK_IS_WINDOW(top) ? gtk_window_get_focus(GTK_WINDOW(top)) : nullptr;
  // Within a drop-down list, its button holds the focus.
  return focus && (focus == widget || (GTK_IS_COMBO_BOX(widget) && gtk_widget_is_ancestor(focus, widget)));
}

namespace {

void CollectLabels(const Control& c, std::string* out) {
  for (const Control* child : c.Children()) {
    if (!child->Visible()) continue;
    if (child->Kind() == ControlKind::Label) *out += " | " + DisplayText(child->GetFont(), child->Text());
    CollectLabels(*child, out);
  }
}

// For checking from outside (LUM_TRACE_PAGE_LOAD set): where the popup is
// shown and what its labels say, as drawn.
void TraceShown(const Form& form) {
  if (!std::getenv("LUM_TRACE_PAGE_LOAD")) return;
  std::string labels;
  CollectLabels(form, &labels);
  std::fprintf(stderr, "popup %d,%d %dx%d%s\n", form.Left(), form.Top(), form.Width(), form.Height(),
               labels.c_str());
  std::fflush(stderr);
}

}  // namespace

void RaiseNoActivate(Form& form) {
  TraceShown(form);
  GtkWidget* window = Outer(form);
  gtk_window_set_focus_on_map(GTK_WINDOW(window), FALSE);
  ApplyFormGeometry(form);
  gtk_widget_show(window);
  gtk_window_move(GTK_WINDOW(window), form.Left(), form.Top());
  if (GdkWindow* w = gtk_widget_get_window(window)) gdk_window_raise(w);
  gtk_window_set_focus_on_map(GTK_WINDOW(window), !(form.ToolWindow() && !form.Caption()));
}

namespace {
gboolean DeliverClose(gpointer data) {
  auto* handle = static_cast<WindowHandle*>(data);
  for (Form* f : g_forms)
    if (HandleOf(*f) == *handle) {
      f->DoCloseRequest();
      break;
    }
  delete handle;
  return G_SOURCE_REMOVE;
}
}  // namespace

// Through the loop, as another program's close request would come; the form
// may be gone by then.
void PostClose(Form& form) { g_idle_add(DeliverClose, new WindowHandle(HandleOf(form))); }

void Invalidate(Control& control) { gtk_widget_queue_draw(Outer(control)); }

void DrawIconResource(Canvas& canvas, const std::string& resource, int load_width,
                      int load_height, int x, int y) {
  GdkPixbuf* icon = gtk::LoadIcon(resource, load_width, load_height);
  if (!icon) return;
  auto* cr = static_cast<cairo_t*>(canvas.Context());
  gdk_cairo_set_source_pixbuf(cr, icon, x, y);
  cairo_paint(cr);
  g_object_unref(icon);
}

void TimerArm(Timer& timer) {
  if (!timer.peer_) timer.peer_ = new Peer;
  if (timer.peer_->timer) g_source_remove(timer.peer_->timer);
  // As the system does, a zero interval still waits a moment.
  timer.peer_->timer = g_timeout_add(timer.Interval() > 10 ? timer.Interval() : 10, OnTimer, &timer);
}

void TimerDisarm(Timer& timer) {
  if (!timer.peer_) return;
  if (timer.peer_->timer) g_source_remove(timer.peer_->timer);
  delete timer.peer_;
  timer.peer_ = nullptr;
}

}  // namespace backend

// --- process-wide operations ---

void RunMessageLoop() {
  if (g_quit) return;
  gtk::EnsureInit();
  ++g_loops;
  gtk_main();
  --g_loops;
}

void ProcessMessages() {
  gtk::EnsureInit();
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
}

void PostQuit(int) {
  g_quit = true;
  if (gtk_main_level() > 0) gtk_main_quit();
}

namespace {

GdkMonitor* PrimaryMonitor() {
  gtk::EnsureInit();
  GdkDisplay* display = gdk_display_get_default();
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  return monitor ? monitor : gdk_display_get_monitor(display, 0);
}

}  // namespace

Point ScreenOrigin() {
  GdkRectangle r{0, 0, 1024, 768};
  if (GdkMonitor* m = PrimaryMonitor()) gdk_monitor_get_geometry(m, &r);
  return {r.x, r.y};
}

Size ScreenSize() {
  GdkRectangle r{0, 0, 1024, 768};
  if (GdkMonitor* m = PrimaryMonitor()) gdk_monitor_get_geometry(m, &r);
  return {r.width, r.height};
}

Rect WorkArea() {
  GdkRectangle r{0, 0, 1024, 768};
  if (GdkMonitor* m = PrimaryMonitor()) gdk_monitor_get_workarea(m, &r);
  return {r.x, r.y, r.x + r.width, r.y + r.height};
}

Point CursorPos() {
  gtk::EnsureInit();
  GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default());
  int x = 0, y = 0;
  if (GdkDevice* pointer = seat ? gdk_seat_get_pointer(seat) : nullptr)
    gdk_device_get_position(pointer, nullptr, &x, &y);
  return {x, y};
}

void ReleaseMouseCapture() {
  gtk::EnsureInit();
  if (GdkSeat* seat = gdk_display_get_default_seat(gdk_display_get_default())) gdk_seat_ungrab(seat);
}

// Only our own windows can be told apart here; another program's active
// window is none of ours to name.
WindowHandle ForegroundWindow() {
  for (Form* f : g_forms)
    if (Outer(*f) && gtk_window_is_active(GTK_WINDOW(Outer(*f)))) return backend::HandleOf(*f);
  return 0;
}

void SetForegroundWindow(WindowHandle window) {
  if (!window) return;
  for (Form* f : g_forms) {
    if (backend::HandleOf(*f) != window) continue;
    // A hidden window stays hidden, as the system leaves it.
    if (gtk_widget_get_visible(Outer(*f)))
      gtk::PresentWithToken(GTK_WINDOW(Outer(*f)), gtk::ActivationToken());
    return;
  }
  Os().BringToForeground(window);  // another process's window
}

WindowHandle FindTopLevelWindow(const std::string& class_name) {
  for (Form* f : g_forms)
    if (f->ClassName() == class_name) return backend::HandleOf(*f);
  return static_cast<WindowHandle>(Os().FindWindowByClass(class_name));
}

// The classic scheme's values for the colours the program uses.
std::uint32_t SystemColorRgb(int index) {
  switch (index) {
    case kColorWindow: return 0xFFFFFF;
    case kColorWindowText: return 0x000000;
    case kColorBtnFace: return 0xF0F0F0;
    case 17: return 0x6D6D6D;  // COLOR_GRAYTEXT
    case kColor3DDkShadow: return 0x696969;
    case kColorInfoText: return 0x000000;
    case kColorInfoBk: return 0xE1FFFF;
    default: return 0;
  }
}

}  // namespace lum
