"""What a screen reader finds: the labels that the desktop edition draws
itself are read, each edit and the drop-down list is named by its label,
and the popup's titles and its close cross are read and can be used. Read
from the accessibility tree on a session bus of the test's own."""
import json
import subprocess
import time
import unittest
from pathlib import Path

import test_centre
from desktop_support import AGENT, DesktopTest, wait_until, windows_of
from test_agent import FIRST_TITLE, SECOND_TITLE, Bus

HERE = Path(__file__).resolve().parent
SYSTEM_PYTHON = "/usr/bin/python3"  # the reader needs the system's accessibility bindings


class Accessibility(DesktopTest):
    open_centre = test_centre.Centre.open_centre

    def tree(self, session, *do):
        out = subprocess.run([SYSTEM_PYTHON, str(HERE / "accessibility_tree.py"), str(session.exe), *do],
                             env=session.env, capture_output=True, text=True, timeout=60)
        return [json.loads(line) for line in out.stdout.splitlines() if line.startswith("{")]

    def shown(self, nodes, agent):
        return [n for n in nodes if n["showing"] and ("/agent" in n["argv"]) == agent]

    def test_labels_edits_and_popup_are_read(self):
        bus = Bus()
        self.cleanups.append(bus.stop)
        s = self.session()
        s.env["DBUS_SESSION_BUS_ADDRESS"] = bus.address
        del s.env["NO_AT_BRIDGE"]
        process, window = self.open_centre(s)
        window.click(window.SETTINGS_BUTTON)
        time.sleep(1)

        centre = self.shown(self.tree(s), agent=False)
        named = {(n["role"], n["name"]) for n in centre}
        for label in ("Имя пользователя и пароль для услуги Lumora", "Имя пользователя:", "Пароль:",
                      "Модель и пароль роутера", "Модель роутера:", "Пароль роутера:"):
            self.assertIn(("label", label), named, "a drawn label is read")
        fields = {n["name"]: n for n in centre if n["role"] in ("text", "password text", "combo box")}
        for name, role in (("Имя пользователя:", "text"), ("Пароль:", "password text"),
                           ("Модель роутера:", "combo box"), ("Пароль роутера:", "password text")):
            self.assertIn(name, fields, f"no {role} named by its label: {sorted(fields)}")
            self.assertEqual(fields[name]["role"], role)
            self.assertEqual(fields[name]["labelled_by"], [name])

        # The agent the centre started announces the news: its popup is read.
        def popup():
            return self.shown(self.tree(s), agent=True)
        self.assertTrue(wait_until(lambda: any(n["role"] == "push button" for n in popup()), 20),
                        "the popup is not read")
        nodes = popup()
        links = sorted(n["name"] for n in nodes if n["role"] == "link")
        self.assertEqual(links, sorted([FIRST_TITLE[:44] + "…", SECOND_TITLE, "Новости Lumora Верескинск"]))
        self.assertTrue(all(n["actions"] == ["click"] for n in nodes if n["role"] == "link"))
        close = [n for n in nodes if n["role"] == "push button"]
        self.assertEqual([(n["name"], n["actions"]) for n in close], [("Закрыть", ["click"])])

        done = [n for n in self.tree(s, "--do", "push button", "Закрыть", "click") if "done" in n]
        self.assertEqual([n["done"] for n in done], [True])
        self.assertTrue(wait_until(lambda: not windows_of(AGENT), 5), "the close cross hides the popup")


if __name__ == "__main__":
    unittest.main()
