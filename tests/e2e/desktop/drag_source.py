"""A small window to drag a file from, as a file manager offers one: it
offers the file's URI (text/uri-list) when a drag starts on it, and says on
standard output when one has started and when the drop was taken.

    drag_source.py FILE X Y"""
import sys

import gi

gi.require_version("Gtk", "3.0")
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk, GLib, Gtk  # noqa: E402

path, x, y = sys.argv[1], int(sys.argv[2]), int(sys.argv[3])
uri = GLib.filename_to_uri(path, None)

window = Gtk.Window(title="lum-drag-source")
window.set_decorated(False)
window.set_default_size(80, 80)
window.move(x, y)
box = Gtk.EventBox()
box.add(Gtk.Label(label="file"))
window.add(box)
box.drag_source_set(Gdk.ModifierType.BUTTON1_MASK, [Gtk.TargetEntry.new("text/uri-list", 0, 0)],
                    Gdk.DragAction.COPY | Gdk.DragAction.LINK | Gdk.DragAction.MOVE)


def on_get(widget, context, data, info, time):
    data.set_uris([uri])
    print("asked", flush=True)


def on_begin(widget, context):
    print("begin", flush=True)


def on_end(widget, context):
    print("end", flush=True)


box.connect("drag-data-get", on_get)
box.connect("drag-begin", on_begin)
box.connect("drag-end", on_end)
window.connect("destroy", Gtk.main_quit)
window.show_all()
print("ready", flush=True)
Gtk.main()
