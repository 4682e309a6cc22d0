"""The setup copy of the desktop edition: the install question is a real
dialog; No, and a question that cannot be shown at all, install nothing."""
import json
import os
import shutil
import subprocess
import unittest
from pathlib import Path

from desktop_support import DesktopTest, geometry, screenshot, wait_until, xdotool


def started_from(folder):
    """Processes of ours running a program from that folder."""
    found = []
    for entry in Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and os.readlink(entry / "exe").startswith(str(folder)):
                found.append(entry.name)
        except OSError:
            pass
    return found


class Setup(DesktopTest):
    def assert_nothing_deployed(self):
        # An install ends by fetching the sibling tool from the maker's
        # server, and the setup copy waits for it: no such request, no install.
        fetched = [e["path"] for e in json.loads(self.isp.get("/_log")) if "Tarvik" in e["path"]]
        self.assertEqual(fetched, [], "the install ran")
        self.assertEqual(started_from(self.s.app), [], "nothing else was started")

    def setUp(self):
        super().setUp()
        self.s = self.session()
        self.setup = self.s.app / "LumSetup"
        shutil.copy2(self.s.exe, self.setup)

    def test_no_in_the_question_dialog_installs_nothing(self):
        process = subprocess.Popen([str(self.setup)], env=self.s.env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, start_new_session=True)
        self.s.processes.append(process)
        self.assertTrue(wait_until(lambda: xdotool("search", "--onlyvisible", "--name", "^Центр Lumora$"), 20),
                        "no question dialog")
        dialog = xdotool("search", "--onlyvisible", "--name", "^Центр Lumora$").split()[0]
        screenshot("desktop-setup-question")
        g = geometry(dialog)
        # "Нет" is the left one of the two buttons along the dialog's foot.
        xdotool("mousemove", g["X"] + g["WIDTH"] // 4, g["Y"] + g["HEIGHT"] - 12, "click", "1")
        self.assertEqual(process.wait(timeout=15), 0)
        self.assert_nothing_deployed()

    def test_a_question_without_a_screen_installs_nothing_and_says_why(self):
        env = dict(self.s.env)
        env.pop("DISPLAY")
        env.pop("WAYLAND_DISPLAY", None)
        out = subprocess.run([str(self.setup)], env=env, capture_output=True, timeout=30)
        self.assertEqual(out.returncode, 0)
        self.assertIn("ничего не установлено", out.stderr.decode("utf-8"))
        self.assert_nothing_deployed()


if __name__ == "__main__":
    unittest.main()
