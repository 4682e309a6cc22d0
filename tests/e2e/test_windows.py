"""The centre and the agent under Wine and Xvfb, looked at from outside by
the probe: single instances, the centre's fixed window, the agent's news
popup against the fake news server."""
import time
import unittest

from e2e_support import BUILD, FakeServers, WinePrefix, needs_display, program, screenshot, wait_until

MAIN = "LumCenterMainWndClass"
AGENT = "LumCenterAgentWndClass"
WS_CAPTION = 0x00C00000
WS_MAXIMIZEBOX = 0x00010000
WS_THICKFRAME = 0x00040000
WS_EX_TOOLWINDOW = 0x80
WS_EX_TOPMOST = 0x8
FIRST_TITLE = "Лумора увеличивает скорость домашнего интернета без доплаты!"


def parse(out):
    info = {"children": []}
    for line in out.splitlines():
        if line.startswith("child "):
            child = dict(part.split("=", 1) for part in line[6:].split(" ", 4) if "=" in part)
            info["children"].append(child)
        elif "=" in line:
            key, value = line.split("=", 1)
            info[key] = value
    return info


@needs_display
class Windows(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.wine = WinePrefix.shared()
        cls.isp = FakeServers()
        cls.env = cls.isp.env()
        cls.settings = cls.wine.drive_c / "users" / "root" / "AppData" / "Roaming" / "Corvalin.ini"

    @classmethod
    def tearDownClass(cls):
        cls.wine.close()
        cls.isp.stop()

    def setUp(self):
        self.processes = []
        self.isp.get("/_control?reset=1")
        self.settings.unlink(missing_ok=True)

    def tearDown(self):
        for name in (MAIN, AGENT):
            self.wine.probe("close", name)
            self.wine.probe("gone", name, "10")
        for process in self.processes:
            try:
                process.wait(timeout=10)
            except Exception:
                process.kill()

    def start(self, *args):
        process = self.wine.start(program(), *args, env=self.env)
        self.processes.append(process)
        return process

    def window(self, name):
        code, out = self.wine.probe("window", name)
        return parse(out) if code == 0 else None

    def test_agent_announces_the_newest_item(self):
        self.start("/agent")
        self.assertEqual(self.wine.probe("wait", AGENT, "20")[0], 0)
        self.assertTrue(wait_until(lambda: (self.window(AGENT) or {}).get("visible") == "1", 30),
                        "the popup shows about five seconds after the start")
        popup = self.window(AGENT)
        area = [int(v) for v in parse(self.wine.probe("workarea")[1])["workarea"].split(",")]
        left, top, width, height = [int(v) for v in popup["rect"].split(",")]
        self.assertEqual((width, height), (345, 65))
        self.assertEqual(left, area[2] - width - 10)
        self.assertEqual(top, area[3] - height - 10)
        self.assertEqual(int(popup["style"], 16) & WS_CAPTION, 0)
        self.assertTrue(int(popup["exstyle"], 16) & WS_EX_TOOLWINDOW)
        self.assertTrue(int(popup["exstyle"], 16) & WS_EX_TOPMOST)
        self.assertEqual(popup["region"], "1")
        texts = [c.get("text", "") for c in popup["children"] if c.get("visible") == "1"]
        self.assertIn(FIRST_TITLE[:44] + "…", texts)
        self.assertIn("Плановые работы в ночь на субботу", texts)
        self.assertIn("Новости Lumora Верескинск", texts)
        screenshot("agent-popup")
        self.assertIn(b"lastlink=http://news.example/item/2", self.settings.read_bytes())

    def test_an_announced_item_is_not_shown_again(self):
        self.settings.parent.mkdir(parents=True, exist_ok=True)
        self.settings.write_bytes(b"[Settings]\r\nlastlink=http://news.example/item/2\r\n")
        self.start("/agent")
        self.assertEqual(self.wine.probe("wait", AGENT, "20")[0], 0)
        self.assertTrue(wait_until(lambda: self.isp.count("/new/news-rss") >= 1, 30))
        time.sleep(1)
        self.assertEqual(self.window(AGENT)["visible"], "0")

    def test_second_agent_and_second_centre_end_at_once(self):
        first = self.start("/agent")
        self.assertEqual(self.wine.probe("wait", AGENT, "20")[0], 0)
        second = self.start("/agent")
        self.assertEqual(second.wait(timeout=30), 0)
        self.assertIsNone(first.poll())
        centre = self.start()
        self.assertEqual(self.wine.probe("wait", MAIN, "20")[0], 0)
        again = self.start()
        self.assertEqual(again.wait(timeout=30), 0)
        self.assertIsNone(centre.poll())

    def test_centre_starts_an_agent_and_is_a_fixed_window(self):
        self.start()
        self.assertEqual(self.wine.probe("wait", MAIN, "20")[0], 0)
        self.assertEqual(self.wine.probe("wait", AGENT, "20")[0], 0)
        # The window exists from the single-instance check on, titled "...";
        # the real title comes with the rest of the centre's set-up.
        self.assertTrue(wait_until(lambda: (self.window(MAIN) or {}).get("title") == "Центр Lumora Верескинск", 20),
                        self.window(MAIN))
        centre = self.window(MAIN)
        self.assertEqual(centre["client"], "552,404")
        self.assertEqual(centre["visible"], "1")
        style = int(centre["style"], 16)
        self.assertEqual(style & WS_MAXIMIZEBOX, 0)
        left, top, width, height = [int(v) for v in centre["rect"].split(",")]
        # The sizing border reacts to nothing.
        for x, y in ((left + width - 1, top + height // 2), (left + width - 1, top + height - 1)):
            hit = parse(self.wine.probe("hittest", MAIN, str(x), str(y))[1])["hit"]
            self.assertEqual(hit, "0", (x, y))
        screenshot("centre")

    def temp_chm(self):
        return self.wine.drive_c / "users" / "root" / "Temp" / "Temp.chm"  # the prefix's %TEMP%

    def page_host_url(self):
        """Where the centre sent its page host: the host's window text."""
        centre = self.window(MAIN) or {"children": []}
        urls = [c.get("text", "") for c in centre["children"]
                if c.get("text", "").startswith(("mk:", "about:", "C:", "c:"))]
        return urls[-1] if urls else ""

    def test_centre_writes_the_help_file_and_shows_it(self):
        self.start()
        self.assertEqual(self.wine.probe("wait", MAIN, "20")[0], 0)
        built = BUILD / "resources" / "help" / "lumcenter.chm"
        self.assertTrue(wait_until(lambda: self.temp_chm().exists(), 10))
        self.assertEqual(self.temp_chm().read_bytes(), built.read_bytes())
        self.assertTrue(wait_until(lambda: self.page_host_url().startswith("mk:"), 10))
        self.assertEqual(self.page_host_url(),
                         "mk:@MSITStore:C:\\users\\root\\Temp\\Temp.chm::/index.htm")
        # Closing the centre removes the copy; the agent's end leaves it.
        self.assertEqual(self.wine.probe("close", MAIN)[0], 0)
        self.assertEqual(self.wine.probe("gone", MAIN, "20")[0], 0)
        self.assertTrue(wait_until(lambda: not self.temp_chm().exists(), 10))
        self.temp_chm().write_bytes(b"left by another start")
        self.assertEqual(self.wine.probe("close", AGENT)[0], 0)
        self.assertEqual(self.wine.probe("gone", AGENT, "20")[0], 0)
        self.assertTrue(self.temp_chm().exists())

    def test_a_western_temporary_folder_holds_the_help_file_and_the_page_host_finds_it(self):
        # A Western-European system (code page 1252) whose temporary folder's
        # name holds "é": the system's 8-bit paths are in that code page.
        folder = "C:\\users\\root\\Temp\\Lumé"
        self.wine.unix(folder).mkdir(parents=True, exist_ok=True)
        chm = self.wine.unix(folder + "\\Temp.chm")
        chm.unlink(missing_ok=True)
        exe = "Z:" + str(program()).replace("/", "\\")
        self.processes.append(self.wine.start(
            "cmd", "/c", f"set TEMP={folder}&& set TMP={folder}&& {exe}",
            env=dict(self.env, LC_ALL="en_US.UTF-8")))
        self.assertEqual(self.wine.probe("wait", MAIN, "20")[0], 0)
        self.assertTrue(wait_until(chm.exists, 10))
        self.assertTrue(wait_until(lambda: self.page_host_url().startswith("mk:"), 10))
        self.assertEqual(self.page_host_url(), f"mk:@MSITStore:{folder}\\Temp.chm::/index.htm")
        self.assertEqual(self.wine.probe("close", MAIN)[0], 0)
        self.assertTrue(wait_until(lambda: not chm.exists(), 10))

    def test_an_html_folder_beside_the_program_is_used_instead(self):
        folder = self.wine.drive_c / "lumhtml"
        (folder / "Html").mkdir(parents=True, exist_ok=True)
        (folder / "Html" / "index.htm").write_bytes(b"<html><body>local</body></html>")
        (folder / "LumCenter.exe").write_bytes(program().read_bytes())
        self.temp_chm().unlink(missing_ok=True)
        self.processes.append(self.wine.start(folder / "LumCenter.exe", env=self.env))
        self.assertEqual(self.wine.probe("wait", MAIN, "20")[0], 0)
        self.assertTrue(wait_until(lambda: self.page_host_url() == "C:\\lumhtml\\Html\\index.htm", 10),
                        self.page_host_url())
        self.assertFalse(self.temp_chm().exists())

    def test_a_close_request_ends_the_agent(self):
        agent = self.start("/agent")
        self.assertEqual(self.wine.probe("wait", AGENT, "20")[0], 0)
        self.assertEqual(self.wine.probe("close", AGENT)[0], 0)
        self.assertEqual(agent.wait(timeout=30), 0)


if __name__ == "__main__":
    unittest.main()
