"""The installer under Wine: the setup copy asks, deploys and launches; the
deploy form replaces running copies, writes the shortcuts and fetches the
sibling tool."""
import shutil
import time
import unittest

from e2e_support import BUILD, FakeServers, WinePrefix, needs_display, program, wait_until

FOLDER = "C:\\Program Files\\Lumora"
INSTALLED = FOLDER + "\\LumCenter.exe"
DESKTOP = "C:\\users\\Public\\Desktop\\Центр Lumora.lnk"
PROGRAMS = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\Lumora"
MENU = PROGRAMS + "\\Центр Lumora.lnk"
STARTUP = "C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs\\StartUp\\LumCenter.lnk"


@needs_display
class Installer(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.wine = WinePrefix.shared()
        cls.isp = FakeServers()
        cls.env = cls.isp.env()

    @classmethod
    def tearDownClass(cls):
        cls.wine.close()
        cls.isp.stop()

    def setUp(self):
        # Each case starts from a machine without the program.
        self.wine.probe("close", "LumCenterMainWndClass")
        self.wine.probe("close", "LumCenterAgentWndClass")
        for path in (FOLDER, PROGRAMS):
            target = self.wine.unix(path)
            if target.is_dir():
                shutil.rmtree(target)
            elif target.exists():
                target.unlink()
        for link in (DESKTOP, STARTUP):
            self.wine.unix(link).unlink(missing_ok=True)
        self.isp.get("/_control?reset=1")
        self.isp.get("/_log?clear=1")

    def deploy(self):
        result = self.wine.run(program(), "/deploy", env=self.env, timeout=120)
        self.assertEqual(result.returncode, 0)

    def link(self, path):
        code, out = self.wine.probe("link", path)
        self.assertEqual(code, 0, out)
        return dict(line.split("=", 1) for line in out.splitlines() if "=" in line)

    def assert_installed(self):
        self.assertEqual(self.wine.unix(INSTALLED).read_bytes(), program().read_bytes())
        for path, arguments in ((DESKTOP, ""), (MENU, ""), (STARTUP, "/agent")):
            link = self.link(path)
            self.assertEqual(link["target"], INSTALLED, path)
            self.assertEqual(link["arguments"], arguments, path)
        tool = self.wine.unix(FOLDER + "\\Tarvik.exe").read_bytes()
        self.assertEqual(len(tool), 1000)

    def test_deploy_installs_copy_shortcuts_and_tool(self):
        self.deploy()
        self.assert_installed()

    def test_a_file_in_place_of_the_folder_is_replaced(self):
        self.wine.unix(FOLDER).write_bytes(b"squatter")
        self.wine.unix(PROGRAMS).write_bytes(b"squatter")
        self.deploy()
        self.assertTrue(self.wine.unix(FOLDER).is_dir())
        self.assertTrue(self.wine.unix(PROGRAMS).is_dir())
        self.assert_installed()

    def test_installing_twice_leaves_one_copy_and_keeps_settings(self):
        settings = self.wine.drive_c / "users" / "root" / "AppData" / "Roaming" / "Corvalin.ini"
        settings.parent.mkdir(parents=True, exist_ok=True)
        settings.write_bytes(b"[Settings]\r\nlastlink=http://news.example/item/2\r\n")
        self.deploy()
        self.deploy()
        self.assert_installed()
        self.assertEqual(sorted(p.name for p in self.wine.unix(FOLDER).iterdir()),
                         ["LumCenter.exe", "Tarvik.exe"])
        self.assertEqual(len(list(self.wine.unix(PROGRAMS).iterdir())), 1)
        self.assertEqual(settings.read_bytes(), b"[Settings]\r\nlastlink=http://news.example/item/2\r\n")

    def test_setup_answered_no_installs_nothing(self):
        setup = self.setup_copy()
        process = self.wine.start(setup, env=self.env)
        code, out = self.wine.probe("answer", "Центр Lumora", "no")
        self.assertEqual(code, 0, out)
        self.assertIn("Установить \"Центр Lumora Верескинск\" на ваш компьютер?", out)
        self.assertEqual(process.wait(timeout=60), 0)
        self.assertFalse(self.wine.unix(FOLDER).exists())
        self.assertEqual(self.isp.count("/files/dpr/Tarvik.exe"), 0)

    def test_setup_answered_yes_installs_and_starts_the_centre(self):
        setup = self.setup_copy()
        process = self.wine.start(setup, env=self.env)
        code, out = self.wine.probe("answer", "Центр Lumora", "yes")
        self.assertEqual(code, 0, out)
        self.assertEqual(process.wait(timeout=120), 0)
        self.assert_installed()
        self.assertEqual(self.wine.probe("wait", "LumCenterMainWndClass", "20")[0], 0)
        self.assertEqual(self.wine.probe("wait", "LumCenterAgentWndClass", "20")[0], 0)

    def test_deploy_closes_a_running_centre_and_agent(self):
        self.deploy()
        centre = self.wine.start(self.wine.unix(INSTALLED), env=self.env)
        self.assertEqual(self.wine.probe("wait", "LumCenterMainWndClass", "20")[0], 0)
        self.assertEqual(self.wine.probe("wait", "LumCenterAgentWndClass", "20")[0], 0)
        started = time.time()
        self.deploy()
        took = time.time() - started
        print(f"\nsecond install over a running installation: {took:.2f} s (Wine start included)")
        self.assertEqual(centre.wait(timeout=30), 0)
        self.assertEqual(self.wine.probe("gone", "LumCenterAgentWndClass", "10")[0], 0)
        self.assert_installed()

    def setup_copy(self):
        setup = BUILD / "LumSetup.exe"
        self.assertTrue(setup.exists(), "the build makes LumSetup.exe")
        return setup


if __name__ == "__main__":
    unittest.main()
