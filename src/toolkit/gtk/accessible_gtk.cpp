// What a screen reader learns from the gtk backend's windows.
//
// GTK's own edits, drop-down lists and buttons speak for themselves, but
// labels here are drawn with Pango and cairo, which the accessibility layer
// (ATK) cannot read. A label's drawing area therefore carries an accessible
// of its own: its text as the name, the role of a label, or of a link or a
// button with a "click" action where a click on it does something (the
// popup's titles, its heading and its close cross). An edit or a drop-down
// list is named by the label beside it on its left, as the eye pairs them,
// since nothing else ties them together.
#include <gtk/gtk-a11y.h>

#include <string>
#include <utility>

#include "toolkit/backend.h"
#include "toolkit/gtk/gtk_common.h"

namespace {

const char kControlKey[] = "lum-control";  // as the backend tags its widgets
const char kNameKey[] = "lum-accessible-name";

lum::Label* LabelOf(AtkObject* accessible) {
  GtkWidget* widget = gtk_accessible_get_widget(GTK_ACCESSIBLE(accessible));
  if (!widget) return nullptr;  // the label is gone
  auto* c = static_cast<lum::Control*>(g_object_get_data(G_OBJECT(widget), kControlKey));
  return c && c->Kind() == lum::ControlKind::Label ? static_cast<lum::Label*>(c) : nullptr;
}

// The symbol face's cross is a glyph, not a word: it is read as what it does.
bool IsCloseGlyph(const lum::Control& c) { return c.GetFont().face == "Marlett" && c.Text() == "r"; }

std::string Trimmed(const std::string& text) {
  size_t first = text.find_first_not_of(' '), last = text.find_last_not_of(' ');
  return first == std::string::npos ? std::string() : text.substr(first, last - first + 1);
}

std::string AccessibleText(const lum::Control& c) {
  return lum::gtk::ToUtf8(IsCloseGlyph(c) ? std::string("Закрыть") : Trimmed(c.Text()));
}

bool Clickable(const lum::Label& label) { return static_cast<bool>(label.OnClick); }

}  // namespace

// --- the label's accessible ---

struct LumLabelAccessible {
  GtkWidgetAccessible parent;
};
struct LumLabelAccessibleClass {
  GtkWidgetAccessibleClass parent_class;
};

static void lum_label_accessible_action_init(AtkActionIface* iface);
G_DEFINE_TYPE_WITH_CODE(LumLabelAccessible, lum_label_accessible, GTK_TYPE_WIDGET_ACCESSIBLE,
                        G_IMPLEMENT_INTERFACE(ATK_TYPE_ACTION, lum_label_accessible_action_init))

// Read from the label each time, so that a new caption is what is read.
static const gchar* lum_label_accessible_get_name(AtkObject* accessible) {
  lum::Label* label = LabelOf(accessible);
  if (!label) return ATK_OBJECT_CLASS(lum_label_accessible_parent_class)->get_name(accessible);
  g_object_set_data_full(G_OBJECT(accessible), kNameKey, g_strdup(AccessibleText(*label).c_str()), g_free);
  return static_cast<const gchar*>(g_object_get_data(G_OBJECT(accessible), kNameKey));
}

static AtkRole lum_label_accessible_get_role(AtkObject* accessible) {
  lum::Label* label = LabelOf(accessible);
  if (!label || !Clickable(*label)) return ATK_ROLE_LABEL;
  return IsCloseGlyph(*label) ? ATK_ROLE_PUSH_BUTTON : ATK_ROLE_LINK;
}

static void lum_label_accessible_class_init(LumLabelAccessibleClass* klass) {
  AtkObjectClass* object = ATK_OBJECT_CLASS(klass);
  object->get_name = lum_label_accessible_get_name;
  object->get_role = lum_label_accessible_get_role;
}

static void lum_label_accessible_init(LumLabelAccessible*) {}

static gint lum_label_accessible_n_actions(AtkAction* action) {
  lum::Label* label = LabelOf(ATK_OBJECT(action));
  return label && Clickable(*label) ? 1 : 0;
}

// As a click with the mouse: only on a label that is shown and enabled.
static gboolean lum_label_accessible_do_action(AtkAction* action, gint index) {
  lum::Label* label = LabelOf(ATK_OBJECT(action));
  if (!label || index != 0 || !Clickable(*label) || !label->Enabled()) return FALSE;
  GtkWidget* widget = gtk_accessible_get_widget(GTK_ACCESSIBLE(action));
  if (!gtk_widget_is_visible(widget)) return FALSE;
  label->DoClick();  // stops whatever a handler throws
  return TRUE;
}

static const gchar* lum_label_accessible_action_name(AtkAction* action, gint index) {
  return index == 0 && lum_label_accessible_n_actions(action) == 1 ? "click" : nullptr;
}

static void lum_label_accessible_action_init(AtkActionIface* iface) {
  iface->get_n_actions = lum_label_accessible_n_actions;
  iface->do_action = lum_label_accessible_do_action;
  iface->get_name = lum_label_accessible_action_name;
}

// --- the label's drawing area ---

struct LumLabelArea {
  GtkDrawingArea parent;
};
struct LumLabelAreaClass {
  GtkDrawingAreaClass parent_class;
};
G_DEFINE_TYPE(LumLabelArea, lum_label_area, GTK_TYPE_DRAWING_AREA)

static void lum_label_area_class_init(LumLabelAreaClass* klass) {
  gtk_widget_class_set_accessible_type(GTK_WIDGET_CLASS(klass), lum_label_accessible_get_type());
}

static void lum_label_area_init(LumLabelArea*) {}

namespace lum {

namespace {

// The label on the control's row that ends nearest to the left of it.
Control* LabelBeside(const Control& control) {
  if (!control.Parent()) return nullptr;
  const Rect& b = control.Bounds();
  Control* found = nullptr;
  for (Control* c : control.Parent()->Children()) {
    if (c->Kind() != ControlKind::Label || !c->peer_) continue;
    const Rect& l = c->Bounds();
    int middle = (l.top + l.bottom) / 2;
    if (l.left >= b.left || middle < b.top || middle >= b.bottom) continue;
    if (!found || l.left > found->Bounds().left) found = c;
  }
  return found;
}

void Name(GtkWidget* widget, AtkObject* label, const std::string& name) {
  AtkObject* accessible = gtk_widget_get_accessible(widget);
  atk_object_set_name(accessible, name.c_str());
  atk_object_add_relationship(accessible, ATK_RELATION_LABELLED_BY, label);
  atk_object_add_relationship(label, ATK_RELATION_LABEL_FOR, accessible);
}

void NameButtonWithin(GtkWidget* child, gpointer data) {
  auto* pair = static_cast<std::pair<AtkObject*, std::string>*>(data);
  if (GTK_IS_BUTTON(child)) Name(child, pair->first, pair->second);
}

// Once the control is realized its place and its neighbours' are final.
void OnRealizeNamed(GtkWidget* widget, gpointer data) {
  auto* control = static_cast<Control*>(data);
  Control* label = LabelBeside(*control);
  if (!label) return;
  AtkObject* label_accessible = gtk_widget_get_accessible(label->peer_->widget);
  std::string name = AccessibleText(*label);
  Name(widget, label_accessible, name);
  // A drop-down list is focused through its button: that is what is read.
  if (GTK_IS_COMBO_BOX(widget)) {
    std::pair<AtkObject*, std::string> pair{label_accessible, name};
    gtk_container_forall(GTK_CONTAINER(widget), NameButtonWithin, &pair);
  }
}

}  // namespace

namespace gtk {

GtkWidget* NewLabelArea() { return GTK_WIDGET(g_object_new(lum_label_area_get_type(), nullptr)); }

void LabelTextChanged(GtkWidget* area) {
  g_object_notify(G_OBJECT(gtk_widget_get_accessible(area)), "accessible-name");
}

void NameByLabel(Control& control, GtkWidget* widget) {
  g_signal_connect(widget, "realize", G_CALLBACK(OnRealizeNamed), &control);
}

}  // namespace gtk

}  // namespace lum
