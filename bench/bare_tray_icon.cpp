// The yardstick for the agent's memory and start-up: the least a GTK 3
// program does to sit in the notification area as the agent does. A 16 x 16
// icon in the XEmbed tray and a popup window made and kept hidden, the
// display opened as the agent opens it (X11, no GL); one line on stderr when
// a tray has taken the icon in; then it runs until it is killed.
//
//   bare_tray_icon
#include <gtk/gtk.h>

#include <cstdio>
#include <cstdlib>

namespace {

void OnEmbedded(GtkStatusIcon* icon, GParamSpec*, gpointer) {
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  bool embedded = gtk_status_icon_is_embedded(icon);
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (!embedded) return;
  std::fprintf(stderr, "tray icon shown\n");
  std::fflush(stderr);
}

}  // namespace

int main(int argc, char** argv) {
  gdk_set_allowed_backends("x11");
  setenv("GDK_GL", "disable", 0);
  gtk_init(&argc, &argv);

  // The popup: a small undecorated window with two lines of text, hidden.
  GtkWidget* popup = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_decorated(GTK_WINDOW(popup), FALSE);
  gtk_window_set_skip_taskbar_hint(GTK_WINDOW(popup), TRUE);
  gtk_window_set_keep_above(GTK_WINDOW(popup), TRUE);
  gtk_window_set_default_size(GTK_WINDOW(popup), 345, 65);
  GtkWidget* box = gtk_box_new(GTK_ORIENTATION_VERTICAL, 2);
  gtk_container_add(GTK_CONTAINER(box), gtk_label_new("News"));
  gtk_container_add(GTK_CONTAINER(box), gtk_label_new("The first item's title"));
  gtk_container_add(GTK_CONTAINER(popup), box);
  gtk_widget_realize(popup);

  // The icon: an orange square, drawn here rather than loaded from a file.
  GdkPixbuf* image = gdk_pixbuf_new(GDK_COLORSPACE_RGB, TRUE, 8, 16, 16);
  gdk_pixbuf_fill(image, 0xf08020ff);
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GtkStatusIcon* icon = gtk_status_icon_new_from_pixbuf(image);
  gtk_status_icon_set_tooltip_text(icon, "News");
  G_GNUC_END_IGNORE_DEPRECATIONS
  g_object_unref(image);
  g_signal_connect(icon, "notify::embedded", G_CALLBACK(OnEmbedded), nullptr);

  gtk_main();
  return 0;
}
