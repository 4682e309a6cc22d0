"""The desktop edition's agent under Xvfb, with a tray host as a panel
gives one: the XEmbed tray (trayer) and a StatusNotifier host on a session
bus of the test's own. The announcement, the popup's place and manners, its
links and close glyph, the tray menu, activation, single instance."""
import os
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from desktop_support import (AGENT, MAIN, TITLE, DesktopTest, UserWindow, geometry, is_page_head, pixel, region,
                             request_close, screenshot, wait_until, windows_of, xdotool)

HERE = Path(__file__).resolve().parent
# The panel stand-in needs the GObject bindings of the system's Python.
SYSTEM_PYTHON = "/usr/bin/python3"
SCREEN = (1024, 768)  # the virtual screen of the test run
POPUP_SIZE = (345, 65)
FIRST_TITLE = "Лумора увеличивает скорость домашнего интернета без доплаты!"
SECOND_TITLE = "Плановые работы в ночь на субботу"
# Points of the popup, from its top left corner: the frame is one pixel.
CLOSE_GLYPH = (1 + 329 + 4, 1 + 2 + 6)
ITEM1 = (1 + 68 + 30, 1 + 26 + 7)
ITEM2 = (1 + 68 + 30, 1 + 42 + 7)
HEADING = (1 + 64 + 30, 1 + 8 + 6)


def engine_mapped(pid):
    """The browser engine's libraries in a process's mappings."""
    maps = Path(f"/proc/{pid}/maps").read_text().splitlines()
    return sorted({l.split()[-1] for l in maps
                   if "libwebkit2gtk" in l or "libjavascriptcoregtk" in l})


def popup_place():
    return SCREEN[0] - POPUP_SIZE[0] - 10, SCREEN[1] - POPUP_SIZE[1] - 10


class Tray:
    """trayer, an XEmbed notification area at the bottom right."""

    def __init__(self):
        self.process = subprocess.Popen(["trayer", "--edge", "bottom", "--align", "right", "--widthtype",
                                         "request", "--height", "24"],
                                        stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                        stderr=subprocess.DEVNULL)
        time.sleep(1)

    def icons(self):
        """Our icons docked in it: small windows of the program's name on its row."""
        found = []
        for w in xdotool("search", "--onlyvisible", "--name", "^LumCenter$").split():
            g = geometry(w)
            if g and g["WIDTH"] <= 24 and g["Y"] >= SCREEN[1] - 24:
                found.append(g)
        return found

    def stop(self):
        self.process.terminate()
        self.process.wait(timeout=10)


class Bus:
    """A session bus of the test's own, and a StatusNotifier host on it that
    can be stopped and started again as a panel is when it restarts."""

    def __init__(self):
        self.dir = Path(tempfile.mkdtemp(prefix="lum-bus-"))
        self.daemon = subprocess.Popen(["dbus-daemon", "--session", "--nofork", "--print-address=1",
                                        f"--address=unix:path={self.dir}/bus"],
                                       stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                       stderr=subprocess.DEVNULL, text=True)
        self.address = self.daemon.stdout.readline().strip()
        self.items = self.dir / "items.txt"
        self.host = None

    def start_host(self):
        self.host = subprocess.Popen([SYSTEM_PYTHON, str(HERE / "status_notifier_host.py"), self.address,
                                      str(self.items)], stdin=subprocess.DEVNULL)
        assert wait_until(lambda: self.name_owned("org.kde.StatusNotifierWatcher"), 10), "no host"

    def stop_host(self):
        self.host.terminate()
        self.host.wait(timeout=10)
        self.host = None

    def registrations(self):
        return [l.split() for l in self.items.read_text().splitlines()] if self.items.exists() else []

    def call(self, name, path, method, *args):
        out = subprocess.run(["gdbus", "call", "--address", self.address, "--dest", name, "--object-path",
                              path, "--method", method, "--", *args], capture_output=True, text=True,
                             timeout=20)
        return out.stdout.strip()

    def name_owned(self, name):
        return "true" in self.call("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                   "org.freedesktop.DBus.NameHasOwner", name)

    def stop(self):
        if self.host:
            self.stop_host()
        self.daemon.terminate()
        self.daemon.wait(timeout=10)
        shutil.rmtree(self.dir, ignore_errors=True)


class AgentBase(DesktopTest):
    def session(self, **env):
        s = super().session()
        s.env.update(env)  # a session bus of the test's own, when it gives one
        return s

    def agent_with_popup(self):
        """A session whose agent has announced the newest item, its popup on screen."""
        s = self.session()
        agent = s.start("/agent")
        self.popups(s, agent)
        self.assertTrue(wait_until(lambda: windows_of(AGENT), 5))
        return s, agent

    def popups(self, session, process, count=1, seconds=20):
        """The popup's showings as traced: place, size and what its labels say."""
        lines = session.wait_trace(process, "popup ", count=count, seconds=seconds)
        self.assertGreaterEqual(len(lines), count, session.trace(process))
        return [l.split(" | ") for l in lines]

    def popup_window(self):
        shown = windows_of(AGENT)
        self.assertEqual(len(shown), 1, "one popup on screen")
        return shown[0]

    def click_popup(self, point):
        x, y = popup_place()
        xdotool("mousemove", x + point[0], y + point[1], "click", "1")
        xdotool("mousemove", 10, 10)

    def news_requests(self):
        return self.isp.count("/new/news-rss")

    def lastlink(self, session):
        return [l for l in session.settings.read_text().splitlines() if l.startswith("lastlink=")]


class AgentInXEmbedTray(AgentBase):
    def setUp(self):
        super().setUp()
        self.tray = Tray()
        self.cleanups.append(self.tray.stop)

    def test_announcement_after_five_seconds_in_place_without_taking_the_focus(self):
        focused = UserWindow()
        self.cleanups.append(focused.close)
        self.assertTrue(focused.has_focus())
        s = self.session()
        started = time.time()
        agent = s.start("/agent")
        self.assertTrue(wait_until(lambda: self.tray.icons(), 10), "the icon is in the tray")
        shown = self.popups(s, agent)
        waited = time.time() - started
        self.assertGreaterEqual(waited, 4.5, "the first poll comes five seconds after the start")
        place, labels = shown[0][0], shown[0][1:]
        self.assertEqual(place, "popup %d,%d %dx%d" % (popup_place() + POPUP_SIZE))
        self.assertEqual(labels, ["✕", FIRST_TITLE[:44] + "…", SECOND_TITLE, "Новости Lumora Верескинск"])
        window = self.popup_window()
        g = geometry(window)
        self.assertEqual((g["X"], g["Y"], g["WIDTH"], g["HEIGHT"]), popup_place() + POPUP_SIZE)
        self.assertTrue(wait_until(lambda: self.lastlink(s) == ["lastlink=http://news.example/item/2"], 5))
        self.assertEqual(s.settings.parent.stat().st_mode & 0o777, 0o700, "its own folder, made by the write")
        sounds = [l for l in s.trace(agent) if l.startswith("sound ")]
        self.assertEqual(len(sounds), 1, s.trace(agent))
        self.assertTrue(sounds[0].startswith("sound message-new-instant: "), sounds)
        time.sleep(0.5)
        self.assertTrue(focused.has_focus(), "the user's window keeps the keyboard")

        look = screenshot("desktop-agent-1-announcement")
        x, y = popup_place()
        self.assertEqual(pixel(look, x + 200, y + 62), (255, 255, 225), "the panel's info colour")
        self.assertEqual(pixel(look, x + 200, y), (105, 105, 105), "a one-pixel frame")
        w, h = POPUP_SIZE
        for cx, cy in ((x, y), (x + w - 1, y), (x, y + h - 1), (x + w - 1, y + h - 1)):
            self.assertNotEqual(pixel(look, cx, cy), (105, 105, 105), f"rounded corner at {cx},{cy}")
        self.assertEqual(pixel(look, x + 1, y), (105, 105, 105), "the frame goes on beside a corner")
        self.assertEqual(pixel(look, x + w - 1, y + 1), (105, 105, 105))
        # The first title's 44 characters and its "…" fit its label (264
        # pixels at (68, 26)): the text ends before the label does.
        ink = [c for row in region(look, x + 68, y + 26, 264, 14) for c, rgb in enumerate(row)
               if sum(rgb) < 3 * 160]
        self.assertTrue(ink, "the first title is drawn")
        self.assertLess(max(ink), 264 - 2, "the first title is cut before its end")
        state = subprocess.run(["xprop", "-id", window, "_NET_WM_STATE", "_NET_WM_WINDOW_TYPE"],
                               capture_output=True, text=True).stdout
        for hint in ("_NET_WM_STATE_SKIP_TASKBAR", "_NET_WM_STATE_SKIP_PAGER", "_NET_WM_STATE_ABOVE"):
            self.assertIn(hint, state)
        self.assertEqual(self.news_requests(), 1)

    def test_a_link_ending_in_a_blank_is_announced_once_across_restarts_quietly(self):
        self.isp.get("/_control?news=blank")
        s = self.session()
        del s.env["LUM_TRACE_PAGE_LOAD"]  # as started at login: no trace
        first = s.start("/agent")
        self.assertTrue(wait_until(lambda: windows_of(AGENT), 15), "announced")
        self.assertTrue(wait_until(lambda: self.lastlink(s) == ["lastlink=http://news.example/item/5 "], 5))
        time.sleep(1)  # the sound goes out after the popup
        self.assertEqual(first.trace_path.read_text(errors="replace"), "", "nothing on standard error")
        os.killpg(first.pid, signal.SIGTERM)
        first.wait(timeout=10)

        s.env["LUM_TRACE_PAGE_LOAD"] = "1"
        second = s.start("/agent")
        self.assertTrue(wait_until(lambda: self.news_requests() == 2, 15), "the second agent polled")
        time.sleep(0.5)
        self.assertEqual([l for l in s.trace(second) if l.startswith(("popup ", "sound "))], [])
        self.assertEqual(windows_of(AGENT), [])
        maps = Path(f"/proc/{second.pid}/maps").read_text()
        self.assertNotIn("libcurl", maps, "the web library is let go between polls")

    def test_titles_cut_to_44_characters(self):
        for variant, expected in (("title44", "Абвгдежзийклмнопрстуфхцчшщъыьэюяабвгдежзийкл"),
                                  ("title45", "Абвгдежзийклмнопрстуфхцчшщъыьэюяабвгдежзийкл…")):
            self.isp.get(f"/_control?news={variant}")
            s = self.session()
            agent = s.start("/agent")
            self.assertEqual(self.popups(s, agent)[0][2], expected, variant)
            s.end()
            self.sessions.remove(s)

    def test_links_reach_the_opener_and_the_close_glyph_hides_the_popup(self):
        s, agent = self.agent_with_popup()
        self.click_popup(ITEM1)
        self.assertTrue(wait_until(lambda: s.opened_links(), 10), "the opener was not called")
        self.click_popup(ITEM2)
        self.click_popup(HEADING)
        self.assertTrue(wait_until(lambda: len(s.opened_links()) == 3, 10), s.opened_links())
        self.assertEqual(s.opened_links(), ["http://news.example/item/2", "http://news.example/item/1",
                                            "http://news.example/"])
        self.assertTrue(windows_of(AGENT), "the popup stays after a link")

        self.click_popup(CLOSE_GLYPH)
        self.assertTrue(wait_until(lambda: not windows_of(AGENT), 5), "the close glyph hides the popup")
        screenshot("desktop-agent-2-closed")
        self.assertIsNone(agent.poll(), "the agent goes on")
        self.assertTrue(self.tray.icons())

    def open_menu(self):
        icon = self.tray.icons()[0]
        xdotool("mousemove", icon["X"] + icon["WIDTH"] // 2, icon["Y"] + icon["HEIGHT"] // 2, "click", "3")
        time.sleep(0.7)

    def test_tray_menu_news_again_then_exit(self):
        s, agent = self.agent_with_popup()
        self.click_popup(CLOSE_GLYPH)
        self.assertTrue(wait_until(lambda: not windows_of(AGENT), 5))
        written = s.settings.stat().st_mtime_ns

        self.open_menu()
        screenshot("desktop-agent-3-tray-menu")
        xdotool("key", "Down", "Down", "Return")  # "Новости"
        again = self.popups(s, agent, count=2)
        self.assertEqual(again[1], again[0], "the newest item is shown again")
        self.assertTrue(wait_until(lambda: windows_of(AGENT), 5))
        self.assertEqual(self.news_requests(), 2)
        self.assertTrue(wait_until(lambda: s.settings.stat().st_mtime_ns != written, 5), "written again")
        self.assertEqual(self.lastlink(s), ["lastlink=http://news.example/item/2"])

        self.click_popup(CLOSE_GLYPH)
        self.assertTrue(wait_until(lambda: not windows_of(AGENT), 5))
        # A write of the same link would leave the same bytes: the file
        # itself is compared, as every write renames a new one into place.
        before = s.settings.stat()
        self.open_menu()
        xdotool("key", "Down", "Down", "Down", "Return")  # "Выход", past the separator
        self.assertEqual(agent.wait(timeout=10), 0)
        after = s.settings.stat()
        self.assertEqual((after.st_ino, after.st_mtime_ns), (before.st_ino, before.st_mtime_ns),
                         "nothing is written at exit")

    def centres(self, session, agent):
        """The centres the agent has started that run now: its children
        running the program without arguments."""
        found = set()
        for proc in Path("/proc").glob("[0-9]*"):
            try:
                argv = (proc / "cmdline").read_bytes().split(b"\0")[:-1]
                parent = int((proc / "stat").read_text().rsplit(")", 1)[1].split()[1])
            except (OSError, IndexError, ValueError):
                continue
            if parent == agent.pid and argv == [str(session.exe).encode()]:
                found.add(proc.name)
        return found

    def menu_shown(self):
        for w in xdotool("search", "--onlyvisible", "--name", "").split():
            kind = subprocess.run(["xprop", "-id", w, "_NET_WM_WINDOW_TYPE"], capture_output=True, text=True).stdout
            if "_NET_WM_WINDOW_TYPE_POPUP_MENU" in kind:
                return True
        return False

    def test_icon_clicks_single_nothing_double_opens_once_menu_on_release(self):
        s = self.session()
        agent = s.start("/agent")
        self.assertTrue(wait_until(lambda: self.tray.icons(), 10))
        icon = self.tray.icons()[0]
        x, y = icon["X"] + 8, icon["Y"] + 10

        xdotool("mousemove", x, y, "click", "1")
        started, deadline = set(), time.monotonic() + 3
        while time.monotonic() < deadline:
            started |= self.centres(s, agent)
        self.assertEqual(started, set(), "a single click opens nothing")

        xdotool("mousemove", x, y, "mousedown", "3")
        time.sleep(0.7)
        self.assertFalse(self.menu_shown(), "the menu waits for the button's release")
        xdotool("mouseup", "3")
        self.assertTrue(wait_until(self.menu_shown, 5), "the menu opens on release")
        screenshot("desktop-agent-3-tray-menu-on-release")
        xdotool("key", "Escape")
        self.assertTrue(wait_until(lambda: not self.menu_shown(), 5))

        xdotool("mousemove", x, y, "click", "--repeat", "2", "--delay", "80", "1")
        deadline = time.monotonic() + 30
        while not windows_of(MAIN) and time.monotonic() < deadline:
            started |= self.centres(s, agent)
        self.assertTrue(windows_of(MAIN), "the double click opens the centre")
        deadline = time.monotonic() + 3
        while time.monotonic() < deadline:  # a second start would raise the first and end
            started |= self.centres(s, agent)
        self.assertEqual(len(started), 1, f"centres started: {started}")
        self.assertEqual(xdotool("getwindowname", windows_of(MAIN)[0]), TITLE)
        g = geometry(windows_of(MAIN)[0])
        drawn = lambda: is_page_head(pixel(screenshot("desktop-agent-4-centre-from-tray"), g["X"] + 300, g["Y"] + 30))
        self.assertTrue(wait_until(drawn, 20, 0.5), "the centre shows its start page")
        centre = int(next(iter(started)))
        self.assertTrue(engine_mapped(centre), "the centre's page is the engine's")
        self.assertEqual(engine_mapped(agent.pid), [], "the agent, the same executable, never maps it")
        request_close(windows_of(MAIN)[0])
        self.assertTrue(wait_until(lambda: not windows_of(MAIN), 15))
        self.assertIsNone(agent.poll())

    def test_second_agent_ends(self):
        s = self.session()
        first = s.start("/agent")
        self.assertTrue(wait_until(lambda: self.tray.icons(), 10))
        second = s.start("/agent")
        icons, deadline = set(), time.monotonic() + 15
        while second.poll() is None and time.monotonic() < deadline:
            icons.add(len(self.tray.icons()))  # watched while it lives: an icon of its own would show here
        self.assertEqual(second.wait(timeout=15), 0)
        self.assertFalse([n for n in icons if n > 1], "the second agent showed an icon of its own")
        self.assertFalse([l for l in s.trace(second) if l.startswith("popup")], "the second shows nothing")
        self.assertIsNone(first.poll())


class AgentOnStatusNotifierHost(AgentBase):
    def setUp(self):
        super().setUp()
        self.bus = Bus()
        self.cleanups.append(self.bus.stop)
        self.bus.start_host()

    def item(self, count=1):
        self.assertTrue(wait_until(lambda: len(self.bus.registrations()) >= count, 15),
                        "the item registers with the host")
        return self.bus.registrations()[count - 1]

    def menu_ids(self, name, path):
        layout = self.bus.call(name, path + "/Menu", "com.canonical.dbusmenu.GetLayout", "0", "-1", "@as []")
        ids = {}
        for piece in layout.split("<(")[1:]:
            number, rest = piece.split(",", 1)
            label = rest.split("'label': <'")[1].split("'>")[0] if "'label'" in rest else "-"
            ids[label] = number.strip()
        return ids

    def test_item_menu_activation_and_panel_restart(self):
        s = self.session(DBUS_SESSION_BUS_ADDRESS=self.bus.address)
        agent = s.start("/agent")
        name, path = self.item()
        props = self.bus.call(name, path, "org.freedesktop.DBus.Properties.GetAll", "org.kde.StatusNotifierItem")
        self.assertIn("'IconName': <'lumcenter-rssicon'>", props)
        self.assertIn(f"'IconThemePath': <'{s.runtime}/lumcenter-icons'>", props)
        self.assertIn("'Status': <'Active'>", props)
        self.assertIn(f"'Title': <'{TITLE}'>", props)
        icon = s.runtime / "lumcenter-icons" / "lumcenter-rssicon.png"
        self.assertEqual(icon.read_bytes()[:8], b"\x89PNG\r\n\x1a\n")
        ids = self.menu_ids(name, path)
        self.assertEqual(list(ids), ["Открыть", "Новости", "-", "Выход"])

        self.popups(s, agent)
        self.assertTrue(wait_until(lambda: windows_of(AGENT), 5))
        self.click_popup(CLOSE_GLYPH)
        self.assertTrue(wait_until(lambda: not windows_of(AGENT), 5))
        self.bus.call(name, path + "/Menu", "com.canonical.dbusmenu.Event", ids["Новости"], "clicked", '<"">', "0")
        self.popups(s, agent, count=2)
        self.assertTrue(wait_until(lambda: windows_of(AGENT), 5), "Новости shows the newest item again")
        screenshot("desktop-agent-5-news-from-status-notifier")
        self.click_popup(CLOSE_GLYPH)

        # The host's secondary activation is the double click: the centre.
        self.bus.call(name, path, "org.kde.StatusNotifierItem.SecondaryActivate", "0", "0")
        self.assertTrue(wait_until(lambda: windows_of(MAIN), 30), "the centre opens")
        request_close(windows_of(MAIN)[0])
        self.assertTrue(wait_until(lambda: not windows_of(MAIN), 15))

        # The panel restarts: meanwhile the icon goes to the XEmbed tray, then
        # the item comes back to the new host.
        tray = Tray()
        self.cleanups.append(tray.stop)
        self.bus.stop_host()
        self.assertTrue(wait_until(lambda: tray.icons(), 10), "the XEmbed icon stands in")
        self.bus.start_host()
        name, path = self.item(count=2)
        self.assertTrue(wait_until(lambda: not tray.icons(), 10), "one icon at a time")
        ids = self.menu_ids(name, path)
        self.bus.call(name, path + "/Menu", "com.canonical.dbusmenu.Event", ids["Выход"], "clicked", '<"">', "0")
        self.assertEqual(agent.wait(timeout=10), 0)


if __name__ == "__main__":
    unittest.main()
