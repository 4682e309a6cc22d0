"""The page is the program's own window, not a browser: no menu of the
engine's, no history by keys or by the mouse's side buttons, and a file
dropped on it opens nothing. Links still go where the program sends them."""
import subprocess
import sys
import time
import unittest
from pathlib import Path

import test_centre
from desktop_support import DesktopTest, is_page_head, wait_until, xdotool

HERE = Path(__file__).resolve().parent
SYSTEM_PYTHON = "/usr/bin/python3"  # the drag source needs the system's GTK bindings

GREEN, RED, YELLOW, PURPLE = (0x20, 0xA0, 0x40), (0xC0, 0x20, 0x20), (0xE0, 0xC0, 0x20), (0x80, 0x20, 0xA0)


def page(body_rgb, extra=""):
    """A page of the test's own: the blue head every page here has, one colour below it."""
    colour = "#%02x%02x%02x" % body_rgb
    return f"""<html><body style="margin:0;background:#2040c0">
<div style="position:absolute;top:64px;left:0;width:560px;height:400px;background:{colour}"></div>
{extra}<iframe name="ifr" style="display:none"></iframe></body></html>"""


def near(rgb, expected):
    return all(abs(a - b) <= 8 for a, b in zip(rgb, expected))


class PageWindow(DesktopTest):
    open_centre = test_centre.Centre.open_centre

    def loads(self, session, process):
        return [l for l in session.trace(process) if l.startswith("page loaded")]

    def test_no_browser_menu_history_or_dropped_file(self):
        link = ('<a href="{}" style="position:absolute;top:300px;left:20px;width:100px;'
                'height:60px;background:#000;display:block"></a>')
        s = self.session(page=page(GREEN, link.format("second.htm")))
        (s.app / "Html" / "second.htm").write_text(page(RED, link.format("third.htm")), encoding="utf-8")
        (s.app / "Html" / "third.htm").write_text(page(YELLOW), encoding="utf-8")
        dropped = s.dir / "dropped.htm"
        dropped.write_text(page(PURPLE), encoding="utf-8")
        process, window = self.open_centre(s)

        # A right click shows no menu of the engine's beside the pointer.
        x, y = window.at((200, 150))
        xdotool("mousemove", x, y, "click", "3")
        time.sleep(1)
        look = window.shot("desktop-page-1-right-click")
        for dx, dy in ((30, 10), (80, 40), (40, 80)):
            self.assertTrue(near(look((200 + dx, 150 + dy)), GREEN),
                            f"something drawn over the page at +{dx},+{dy}: {look((200 + dx, 150 + dy))}")
        xdotool("key", "Escape")

        # A link of the page goes on as every navigation does.
        window.click((70, 330))
        self.assertTrue(wait_until(lambda: len(self.loads(s, process)) == 2, 10), s.trace(process))
        self.assertTrue(wait_until(lambda: near(window.shot("desktop-page-2-second")((300, 200)), RED), 10))

        # Back and reload by keys, and the mouse's side buttons on a link
        # (each would follow it): the page stays.
        window.click((300, 200))
        for keys in (["alt+Left"], ["XF86Back"], ["BackSpace"], ["F5"], ["ctrl+r"], ["XF86Reload"]):
            xdotool("key", *keys)
            time.sleep(0.7)
        for button in ("8", "9"):
            x, y = window.at((70, 330))
            xdotool("mousemove", x, y, "click", button)
            time.sleep(0.7)
        time.sleep(1)
        self.assertEqual(len(self.loads(s, process)), 2, s.trace(process))
        self.assertTrue(near(window.shot("desktop-page-3-after-back")((300, 200)), RED))

        # A file dragged from another program onto the page is not loaded.
        source = subprocess.Popen([SYSTEM_PYTHON, str(HERE / "drag_source.py"), str(dropped), "20", "20"],
                                  env=s.env, stdin=subprocess.DEVNULL, stdout=subprocess.PIPE, text=True)
        self.cleanups.append(lambda: (source.terminate(), source.wait(timeout=10), source.stdout.close()))
        self.assertEqual(source.stdout.readline().strip(), "ready")
        time.sleep(0.5)
        xdotool("mousemove", 60, 60, "mousedown", "1")
        for step in range(1, 11):  # a drag is a move in steps
            sx = 60 + (window.at((300, 200))[0] - 60) * step // 10
            sy = 60 + (window.at((300, 200))[1] - 60) * step // 10
            xdotool("mousemove", sx, sy)
            time.sleep(0.1)
        time.sleep(0.5)
        xdotool("mouseup", "1")
        time.sleep(2)
        self.assertEqual(source.stdout.readline().strip(), "begin", "the drag did not start")
        look = window.shot("desktop-page-4-after-drop")
        self.assertEqual(len(self.loads(s, process)), 2, s.trace(process))
        self.assertTrue(near(look((300, 200)), RED), look((300, 200)))
        self.assertTrue(is_page_head(look((300, 30))))


if __name__ == "__main__":
    unittest.main()
