"""A panel's StatusNotifier side, as small as the tests need: it owns the
watcher's name on the session bus it is given and writes one line per item
that registers ("<bus name> <object path>") to a file.

    python3 status_notifier_host.py ADDRESS RECORD_FILE
"""
import sys

from gi.repository import Gio, GLib

WATCHER = "org.kde.StatusNotifierWatcher"
INTERFACE = f"""<node><interface name="{WATCHER}">
<method name="RegisterStatusNotifierItem"><arg name="service" type="s" direction="in"/></method>
<method name="RegisterStatusNotifierHost"><arg name="service" type="s" direction="in"/></method>
<property name="RegisteredStatusNotifierItems" type="as" access="read"/>
<property name="IsStatusNotifierHostRegistered" type="b" access="read"/>
<property name="ProtocolVersion" type="i" access="read"/>
<signal name="StatusNotifierItemRegistered"><arg type="s"/></signal>
</interface></node>"""


def main(address, record):
    bus = Gio.DBusConnection.new_for_address_sync(
        address, Gio.DBusConnectionFlags.AUTHENTICATION_CLIENT | Gio.DBusConnectionFlags.MESSAGE_BUS_CONNECTION,
        None, None)
    items = []

    def call(connection, sender, path, interface, method, params, invocation):
        if method == "RegisterStatusNotifierItem":
            item = params.unpack()[0]
            items.append(f"{sender}{item}" if item.startswith("/") else item)
            with open(record, "a") as f:
                f.write(f"{sender} {item}\n")
        invocation.return_value(None)

    def get(connection, sender, path, interface, name):
        return {"RegisteredStatusNotifierItems": GLib.Variant("as", items),
                "IsStatusNotifierHostRegistered": GLib.Variant("b", True),
                "ProtocolVersion": GLib.Variant("i", 0)}[name]

    info = Gio.DBusNodeInfo.new_for_xml(INTERFACE).interfaces[0]
    bus.register_object("/StatusNotifierWatcher", info, call, get, None)
    loop = GLib.MainLoop()
    Gio.bus_own_name_on_connection(bus, WATCHER, Gio.BusNameOwnerFlags.NONE, None, lambda *a: loop.quit())
    loop.run()


if __name__ == "__main__":
    main(sys.argv[1], sys.argv[2])
