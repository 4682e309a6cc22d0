// The notification area and the menus of the gtk backend.
#include <string>
#include <vector>

#include "toolkit/backend.h"
#include "toolkit/gtk/gtk_common.h"

namespace lum {

namespace {

std::vector<TrayIcon*> g_trays;

void OnTrayActivate(GtkStatusIcon*, gpointer data) {
  static_cast<TrayIcon*>(data)->DoMouse(kMouseLeftDoubleClick);
}

void OnTrayPopup(GtkStatusIcon*, guint, guint, gpointer data) {
  static_cast<TrayIcon*>(data)->DoMouse(kMouseRightUp);
}

}  // namespace

namespace backend {

// The XEmbed notification area. An icon without a tray host to show it
// simply stays unseen.
void TraySync(TrayIcon& icon) {
  gtk::EnsureInit();
  if (!icon.peer_) {
    icon.peer_ = new Peer;
    g_trays.push_back(&icon);
  }
  Peer& p = *icon.peer_;
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  bool wanted = icon.Active() && !icon.Icon().empty();
  if (wanted && (!p.status || p.status_icon != icon.Icon())) {
    GdkPixbuf* image = gtk::LoadIcon(icon.Icon(), 16, 16);
    if (!image) wanted = false;
    if (image) {
      if (!p.status) {
        p.status = gtk_status_icon_new_from_pixbuf(image);
        g_signal_connect(p.status, "activate", G_CALLBACK(OnTrayActivate), &icon);
        g_signal_connect(p.status, "popup-menu", G_CALLBACK(OnTrayPopup), &icon);
      } else {
        gtk_status_icon_set_from_pixbuf(p.status, image);
      }
      p.status_icon = icon.Icon();
      g_object_unref(image);
    }
  }
  if (p.status) {
    gtk_status_icon_set_tooltip_text(p.status, gtk::ToUtf8(icon.Tip()).c_str());
    gtk_status_icon_set_visible(p.status, wanted);
  }
  G_GNUC_END_IGNORE_DEPRECATIONS
}

void TrayRemove(TrayIcon& icon) {
  if (!icon.peer_) return;
  for (size_t i = 0; i < g_trays.size(); ++i)
    if (g_trays[i] == &icon) g_trays.erase(g_trays.begin() + i--);
  if (icon.peer_->status) {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    gtk_status_icon_set_visible(icon.peer_->status, FALSE);
    G_GNUC_END_IGNORE_DEPRECATIONS
    g_signal_handlers_disconnect_by_data(icon.peer_->status, &icon);
    g_object_unref(icon.peer_->status);
  }
  delete icon.peer_;
  icon.peer_ = nullptr;
}

void TrayLost(TrayIcon&) {}  // the status icon embeds itself again

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
  gtk::EnsureInit();
  MenuRun run{g_main_loop_new(nullptr, FALSE)};
  GtkWidget* shell = gtk_menu_new();
  g_object_ref_sink(shell);
  const std::vector<MenuItem>& items = menu.Items();
  for (size_t i = 0; i < items.size(); ++i) {
    GtkWidget* item;
    if (items[i].IsSeparator()) {
      item = gtk_separator_menu_item_new();
    } else {
      item = gtk_menu_item_new_with_label("");
      std::string text = gtk::ToUtf8(items[i].text);
      char* markup = g_markup_printf_escaped(items[i].is_default ? "<b>%s</b>" : "%s", text.c_str());
      gtk_label_set_markup(GTK_LABEL(gtk_bin_get_child(GTK_BIN(item))), markup);
      g_free(markup);
      g_object_set_data(G_OBJECT(item), "lum-index", GINT_TO_POINTER(static_cast<int>(i)));
      g_signal_connect(item, "activate", G_CALLBACK(OnMenuItem), &run);
    }
    gtk_menu_shell_append(GTK_MENU_SHELL(shell), item);
  }
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
