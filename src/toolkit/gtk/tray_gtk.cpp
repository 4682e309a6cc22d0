// The notification area and the menus of the gtk backend.
//
// Two kinds of notification area, chosen at run time and again whenever the
// desktop's panel comes or goes:
//   - a StatusNotifier host (the item is published on the session bus with
//     libayatana-appindicator) where a StatusNotifierWatcher owns its name;
//   - otherwise the XEmbed tray (GtkStatusIcon), which docks itself again
//     whenever a new tray manager appears.
// An XEmbed icon reports each press and release, as the system's tray does. A
// StatusNotifier host shows the menu itself: the item carries a GtkMenu made
// from the menu the objects open for a right click, and the host's secondary
// activation (a middle click on most panels) is reported as the double click.
#include <unistd.h>

#include <libayatana-appindicator/app-indicator.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "toolkit/backend.h"
#include "toolkit/gtk/gtk_common.h"

// The indicator without its own fallback: when no StatusNotifier host is
// there, this backend puts up its own XEmbed icon, which reports clicks as
// the objects expect them; the library's would open the menu on any click.
struct LumIndicator {
  AppIndicator parent;
};
struct LumIndicatorClass {
  AppIndicatorClass parent_class;
};
G_DEFINE_TYPE(LumIndicator, lum_indicator, APP_INDICATOR_TYPE)

static void lum_indicator_class_init(LumIndicatorClass* klass) {
  AppIndicatorClass* indicator = APP_INDICATOR_CLASS(klass);
  indicator->fallback = nullptr;
  indicator->unfallback = nullptr;
}

static void lum_indicator_init(LumIndicator*) {}

namespace lum {

namespace {

constexpr char kWatcherName[] = "org.kde.StatusNotifierWatcher";
constexpr char kItemInterface[] = "org.kde.StatusNotifierItem";
// Where the library publishes an item: this prefix and the item's id.
constexpr char kItemPathPrefix[] = "/org/ayatana/NotificationItem/";

struct TrayState {
  TrayIcon* icon = nullptr;
  std::string id;  // the item's id on the bus

  bool watcher = false;  // a StatusNotifier host is there
  guint watch = 0;

  GtkStatusIcon* status = nullptr;  // XEmbed
  std::string status_icon;

  AppIndicator* indicator = nullptr;  // StatusNotifier
  std::string indicator_icon;
  GtkWidget* menu = nullptr;
  PopupMenu* menu_source = nullptr;
  std::vector<std::pair<std::string, bool>> menu_shape;  // what `menu` shows
  guint menu_rebuild = 0;
};

std::vector<TrayState*> g_trays;
int g_next_id = 0;
PopupMenu** g_menu_probe = nullptr;  // set while asking which menu a right click opens

TrayState* StateOf(const TrayIcon& icon) {
  for (TrayState* s : g_trays)
    if (s->icon == &icon) return s;
  return nullptr;
}

void ApplyState(TrayState& s);

// --- the session bus ---

// Only a bus the session names is asked. Without one no panel can be
// listening, and GLib would start a bus of its own for the display, which
// would outlive the agent and hold no watcher either.
bool SessionBusNamed() {
  const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
  if (address && *address) return true;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (!runtime || !*runtime) return false;
  std::string socket = std::string(runtime) + "/bus";
  return g_file_test(socket.c_str(), G_FILE_TEST_EXISTS);
}

gboolean OnSecondaryActivate(gpointer data) {
  auto* path = static_cast<char*>(data);
  for (TrayState* s : g_trays) {
    if (s->indicator && std::string(kItemPathPrefix) + s->id == path) {
      s->icon->DoMouse(kMouseLeftDoubleClick);
      break;
    }
  }
  g_free(path);
  return G_SOURCE_REMOVE;
}

// The library answers a secondary activation only by activating a menu item,
// which would be that item's command and not the double click the objects
// bind. The call is seen here on its way in (on the bus's own thread) and
// reported from the main loop; the library still answers it.
GDBusMessage* OnBusMessage(GDBusConnection*, GDBusMessage* message, gboolean incoming, gpointer) {
  if (!incoming || g_dbus_message_get_message_type(message) != G_DBUS_MESSAGE_TYPE_METHOD_CALL)
    return message;
  const char* member = g_dbus_message_get_member(message);
  const char* path = g_dbus_message_get_path(message);
  if (g_strcmp0(g_dbus_message_get_interface(message), kItemInterface) == 0 && path &&
      g_str_has_prefix(path, kItemPathPrefix) &&
      (g_strcmp0(member, "SecondaryActivate") == 0 ||
       g_strcmp0(member, "XAyatanaSecondaryActivate") == 0))
    g_idle_add(OnSecondaryActivate, g_strdup(path));
  return message;
}

GDBusConnection* SessionBus() {
  static GDBusConnection* bus = nullptr;
  static bool tried = false;
  if (tried) return bus;
  tried = true;
  if (!SessionBusNamed()) return nullptr;
  bus = g_bus_get_sync(G_BUS_TYPE_SESSION, nullptr, nullptr);
  if (bus) g_dbus_connection_add_filter(bus, OnBusMessage, nullptr, nullptr);
  return bus;
}

bool WatcherThere(GDBusConnection* bus) {
  GVariant* answer = g_dbus_connection_call_sync(
      bus, "org.freedesktop.DBus", "/org/freedesktop/DBus", "org.freedesktop.DBus", "NameHasOwner",
      g_variant_new("(s)", kWatcherName), G_VARIANT_TYPE("(b)"), G_DBUS_CALL_FLAGS_NONE, 2000,
      nullptr, nullptr);
  if (!answer) return false;
  gboolean owned = FALSE;
  g_variant_get(answer, "(b)", &owned);
  g_variant_unref(answer);
  return owned;
}

void OnWatcherAppeared(GDBusConnection*, const char*, const char*, gpointer data) {
  auto* s = static_cast<TrayState*>(data);
  if (s->watcher) return;
  s->watcher = true;
  ApplyState(*s);
}

void OnWatcherVanished(GDBusConnection*, const char*, gpointer data) {
  auto* s = static_cast<TrayState*>(data);
  if (!s->watcher) return;
  s->watcher = false;
  ApplyState(*s);
}

// --- the XEmbed icon ---

// The icon's clicks as the system's notification area reports them: each
// press and release, and a double click in place of the second press.
// GtkStatusIcon's own handling is not wanted: it activates on every press
// of the first button (a double click would open the centre twice) and
// opens the menu as the right button goes down.
gboolean OnStatusPress(GtkStatusIcon*, GdkEventButton* event, gpointer data) {
  TrayIcon& icon = *static_cast<TrayState*>(data)->icon;
  if (event->type == GDK_2BUTTON_PRESS && event->button == 1) icon.DoMouse(kMouseLeftDoubleClick);
  else if (event->type == GDK_BUTTON_PRESS && event->button == 1) icon.DoMouse(kMouseLeftDown);
  else if (event->type == GDK_BUTTON_PRESS && event->button == 3) icon.DoMouse(kMouseRightDown);
  return TRUE;
}

gboolean OnStatusRelease(GtkStatusIcon*, GdkEventButton* event, gpointer data) {
  TrayIcon& icon = *static_cast<TrayState*>(data)->icon;
  if (event->button == 1) icon.DoMouse(kMouseLeftUp);
  else if (event->button == 3) icon.DoMouse(kMouseRightUp);
  return TRUE;
}

// From the keyboard only (the presses are taken above): Enter on the
// focused icon opens what a double click opens, the menu key its menu.
void OnStatusActivate(GtkStatusIcon*, gpointer data) {
  static_cast<TrayState*>(data)->icon->DoMouse(kMouseLeftDoubleClick);
}

void OnStatusPopup(GtkStatusIcon*, guint, guint, gpointer data) {
  static_cast<TrayState*>(data)->icon->DoMouse(kMouseRightUp);
}

// For measuring from outside (LUM_TRACE_PAGE_LOAD set): one line when a
// tray takes the icon in.
void OnStatusEmbedded(GtkStatusIcon* status, GParamSpec*, gpointer) {
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  bool embedded = gtk_status_icon_is_embedded(status);
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (!embedded || !std::getenv("LUM_TRACE_PAGE_LOAD")) return;
  std::fprintf(stderr, "tray icon shown\n");
  std::fflush(stderr);
}

void DropStatusIcon(TrayState& s) {
  if (!s.status) return;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  gtk_status_icon_set_visible(s.status, FALSE);
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_signal_handlers_disconnect_by_data(s.status, &s);
  g_object_unref(s.status);
  s.status = nullptr;
  s.status_icon.clear();
}

void ApplyStatusIcon(TrayState& s, bool wanted) {
  TrayIcon& icon = *s.icon;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  if (wanted && (!s.status || s.status_icon != icon.Icon())) {
    GdkPixbuf* image = gtk::LoadIcon(icon.Icon(), 16, 16);
    if (!image) {
      wanted = false;
    } else {
      if (!s.status) {
        s.status = gtk_status_icon_new_from_pixbuf(image);
        g_signal_connect(s.status, "button-press-event", G_CALLBACK(OnStatusPress), &s);
        g_signal_connect(s.status, "button-release-event", G_CALLBACK(OnStatusRelease), &s);
        g_signal_connect(s.status, "activate", G_CALLBACK(OnStatusActivate), &s);
        g_signal_connect(s.status, "popup-menu", G_CALLBACK(OnStatusPopup), &s);
        g_signal_connect(s.status, "notify::embedded", G_CALLBACK(OnStatusEmbedded), &s);
      } else {
        gtk_status_icon_set_from_pixbuf(s.status, image);
      }
      s.status_icon = icon.Icon();
      g_object_unref(image);
    }
  }
  if (s.status) {
    gtk_status_icon_set_tooltip_text(s.status, gtk::ToUtf8(icon.Tip()).c_str());
    gtk_status_icon_set_visible(s.status, wanted);
  }
  G_GNUC_END_IGNORE_DEPRECATIONS
}

// --- the StatusNotifier item ---

// The host loads the icon by name: the image is written once per icon as a
// PNG into the session's runtime folder, which the item names as its theme
// path. The name is the one the package installs into the hicolor theme.
std::string IconFolder() { return std::string(g_get_user_runtime_dir()) + "/lumcenter-icons"; }

std::string IconName(const std::string& resource) {
  char* lower = g_ascii_strdown(resource.c_str(), -1);
  std::string name = std::string("lumcenter-") + lower;
  g_free(lower);
  return name;
}

bool WriteIconFile(const std::string& resource) {
  GdkPixbuf* image = gtk::LoadIcon(resource, 48, 48);
  if (!image) return false;
  std::string folder = IconFolder();
  g_mkdir_with_parents(folder.c_str(), 0700);
  gchar* png = nullptr;
  gsize size = 0;
  bool ok = gdk_pixbuf_save_to_buffer(image, &png, &size, "png", nullptr, nullptr);
  g_object_unref(image);
  if (ok) {
    std::string path = folder + "/" + IconName(resource) + ".png";
    ok = g_file_set_contents(path.c_str(), png, static_cast<gssize>(size), nullptr);
  }
  g_free(png);
  return ok;
}

std::vector<std::pair<std::string, bool>> MenuShape(const PopupMenu* menu) {
  std::vector<std::pair<std::string, bool>> shape;
  if (menu)
    for (const MenuItem& item : menu->Items()) shape.emplace_back(item.text, item.is_default);
  return shape;
}

// Items run one after the other from the main loop; a command that changes
// the menu has it rebuilt afterwards, never under the host's feet.
void BuildIndicatorMenu(TrayState& s);

gboolean RebuildMenu(gpointer data) {
  auto* s = static_cast<TrayState*>(data);
  s->menu_rebuild = 0;
  if (s->indicator && MenuShape(s->menu_source) != s->menu_shape) BuildIndicatorMenu(*s);
  return G_SOURCE_REMOVE;
}

void OnIndicatorItem(GtkMenuItem* item, gpointer data) {
  auto* s = static_cast<TrayState*>(data);
  int index = GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "lum-index"));
  if (s->menu_source) s->menu_source->DoItem(index);
  if (!s->menu_rebuild) s->menu_rebuild = g_idle_add(RebuildMenu, s);
}

GtkWidget* MenuItemWidget(const MenuItem& item) {
  if (item.IsSeparator()) return gtk_separator_menu_item_new();
  GtkWidget* widget = gtk_menu_item_new_with_label("");
  std::string text = gtk::ToUtf8(item.text);
  char* markup = g_markup_printf_escaped(item.is_default ? "<b>%s</b>" : "%s", text.c_str());
  gtk_label_set_markup(GTK_LABEL(gtk_bin_get_child(GTK_BIN(widget))), markup);
  g_free(markup);
  return widget;
}

// The program's items into a GTK menu; each item knows its index, which the
// handler is given with the data.
void FillMenu(GtkWidget* shell, const std::vector<MenuItem>& items, GCallback on_item, gpointer data) {
  for (size_t i = 0; i < items.size(); ++i) {
    GtkWidget* widget = MenuItemWidget(items[i]);
    if (!items[i].IsSeparator()) {
      g_object_set_data(G_OBJECT(widget), "lum-index", GINT_TO_POINTER(static_cast<int>(i)));
      g_signal_connect(widget, "activate", on_item, data);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(shell), widget);
  }
}

void DropMenu(TrayState& s) {
  if (!s.menu) return;
  gtk_widget_destroy(s.menu);
  g_object_unref(s.menu);
  s.menu = nullptr;
}

void BuildIndicatorMenu(TrayState& s) {
  GtkWidget* menu = gtk_menu_new();
  if (s.menu_source) FillMenu(menu, s.menu_source->Items(), G_CALLBACK(OnIndicatorItem), &s);
  gtk_widget_show_all(menu);
  g_object_ref_sink(menu);  // ours as well as the indicator's, which lets go of it when it goes
  app_indicator_set_menu(s.indicator, GTK_MENU(menu));
  DropMenu(s);
  s.menu = menu;
  s.menu_shape = MenuShape(s.menu_source);
}

void DropIndicator(TrayState& s) {
  if (!s.indicator) return;
  if (s.menu_rebuild) g_source_remove(s.menu_rebuild);
  s.menu_rebuild = 0;
  app_indicator_set_status(s.indicator, APP_INDICATOR_STATUS_PASSIVE);
  g_object_unref(s.indicator);  // leaves the bus
  s.indicator = nullptr;
  s.indicator_icon.clear();
  DropMenu(s);
  s.menu_shape.clear();
}

void ApplyIndicator(TrayState& s, bool wanted) {
  TrayIcon& icon = *s.icon;
  if (wanted && s.indicator_icon != icon.Icon()) {
    if (!WriteIconFile(icon.Icon())) wanted = false;
  }
  if (!wanted) {
    if (s.indicator) app_indicator_set_status(s.indicator, APP_INDICATOR_STATUS_PASSIVE);
    return;
  }
  std::string name = IconName(icon.Icon());
  if (!s.indicator) {
    // The menu a right click opens, learnt by reporting one while menus
    // only say which they are (MenuTrack below).
    PopupMenu* menu = nullptr;
    g_menu_probe = &menu;
    icon.DoMouse(kMouseRightUp);
    g_menu_probe = nullptr;
    s.menu_source = menu;
    std::string folder = IconFolder();
    s.indicator = APP_INDICATOR(g_object_new(lum_indicator_get_type(), "id", s.id.c_str(), "category",
                                             "ApplicationStatus", "icon-theme-path", folder.c_str(),
                                             "icon-name", name.c_str(), nullptr));
    BuildIndicatorMenu(s);
  } else if (MenuShape(s.menu_source) != s.menu_shape) {
    BuildIndicatorMenu(s);
  }
  s.indicator_icon = icon.Icon();
  // The item has no tooltip of its own; hosts show the title instead.
  std::string tip = gtk::ToUtf8(icon.Tip());
  app_indicator_set_title(s.indicator, tip.c_str());
  app_indicator_set_icon_full(s.indicator, name.c_str(), tip.c_str());
  app_indicator_set_status(s.indicator, APP_INDICATOR_STATUS_ACTIVE);
}

void ApplyState(TrayState& s) {
  bool wanted = s.icon->Active() && !s.icon->Icon().empty();
  // Without the StatusNotifier library the XEmbed icon stands in, as where
  // no host is there.
  if (s.watcher && gtk::LoadIndicator()) {
    DropStatusIcon(s);
    ApplyIndicator(s, wanted);
  } else {
    DropIndicator(s);
    ApplyStatusIcon(s, wanted);
  }
}

}  // namespace

namespace backend {

void TraySync(TrayIcon& icon) {
  gtk::EnsureInit();
  TrayState* s = StateOf(icon);
  if (!s) {
    icon.peer_ = new Peer;
    s = new TrayState;
    s->icon = &icon;
    s->id = g_next_id++ == 0 ? std::string("lumcenter") : "lumcenter-" + std::to_string(g_next_id);
    g_trays.push_back(s);
    if (GDBusConnection* bus = SessionBus()) {
      s->watcher = WatcherThere(bus);
      s->watch = g_bus_watch_name_on_connection(bus, kWatcherName, G_BUS_NAME_WATCHER_FLAGS_NONE,
                                                OnWatcherAppeared, OnWatcherVanished, s, nullptr);
    }
  }
  ApplyState(*s);
}

void TrayRemove(TrayIcon& icon) {
  TrayState* s = StateOf(icon);
  if (!s) return;
  for (size_t i = 0; i < g_trays.size(); ++i)
    if (g_trays[i] == s) g_trays.erase(g_trays.begin() + i--);
  if (s->watch) g_bus_unwatch_name(s->watch);
  DropStatusIcon(*s);
  DropIndicator(*s);
  delete s;
  delete icon.peer_;
  icon.peer_ = nullptr;
}

// Neither kind needs telling: the XEmbed icon docks itself in a new tray,
// and a new StatusNotifier host is seen on the bus.
void TrayLost(TrayIcon&) {}

namespace {

struct MenuRun {
  GMainLoop* loop;
  int chosen = -1;
};

void OnMenuItem(GtkMenuItem* item, gpointer data) {
  static_cast<MenuRun*>(data)->chosen =
      GPOINTER_TO_INT(g_object_get_data(G_OBJECT(item), "lum-index"));
}

void OnMenuDone(GtkMenuShell*, gpointer data) { g_main_loop_quit(static_cast<MenuRun*>(data)->loop); }

}  // namespace

int MenuTrack(PopupMenu& menu, Point) {
  if (g_menu_probe) {
    *g_menu_probe = &menu;
    return -1;
  }
  gtk::EnsureInit();
  MenuRun run{g_main_loop_new(nullptr, FALSE)};
  GtkWidget* shell = gtk_menu_new();
  g_object_ref_sink(shell);
  FillMenu(shell, menu.Items(), G_CALLBACK(OnMenuItem), &run);
  gtk_widget_show_all(shell);
  g_signal_connect(shell, "deactivate", G_CALLBACK(OnMenuDone), &run);
  gtk_menu_popup_at_pointer(GTK_MENU(shell), nullptr);
  if (gtk_widget_get_visible(shell)) g_main_loop_run(run.loop);
  // The chosen item reports itself right after the menu closes.
  while (gtk_events_pending()) gtk_main_iteration_do(FALSE);
  g_signal_handlers_disconnect_by_data(shell, &run);
  gtk_widget_destroy(shell);
  g_object_unref(shell);
  g_main_loop_unref(run.loop);
  return run.chosen;
}

}  // namespace backend

}  // namespace lum
