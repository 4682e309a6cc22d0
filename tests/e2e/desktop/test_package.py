"""The desktop edition's Debian package: built by CPack, checked by lintian,
installed and removed with dpkg, and the same layout as a self-install (the
deploy form) leaves. Needs root and dpkg (CI's machine is thrown away)."""
import os
import re
import shutil
import subprocess
import tempfile
import unittest
from pathlib import Path

from desktop_support import BUILD, FakeServers

FILES = ["opt/Lumora/LumCenter.exe", "usr/share/applications/Lumora/lumcenter.desktop",
         "etc/xdg/autostart/lumcenter-agent.desktop", "usr/share/icons/hicolor/48x48/apps/lumcenter.png",
         "usr/share/icons/hicolor/16x16/apps/lumcenter-news.png", "usr/share/doc/lumcenter/copyright"]


def run(*args, **kw):
    return subprocess.run(list(map(str, args)), capture_output=True, text=True, timeout=300, **kw)


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("dpkg") and shutil.which("cpack"),
                     "needs root, dpkg and cpack")
class Package(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.dir = Path(tempfile.mkdtemp(prefix="lum-package-"))
        made = run("cpack", "-G", "DEB", "-B", cls.dir, "--config", BUILD / "CPackConfig.cmake")
        assert made.returncode == 0, made.stdout + made.stderr
        cls.deb = next(cls.dir.glob("lumcenter_*.deb"))
        cls.tree = cls.dir / "tree"
        run("dpkg-deb", "-x", cls.deb, cls.tree)

    @classmethod
    def tearDownClass(cls):
        shutil.rmtree(cls.dir, ignore_errors=True)

    def test_depends_brings_every_library_the_program_opens_itself(self):
        """The dependency scan sees only linked libraries: each one the
        program opens at run time must come with the package's Depends,
        named there or pulled in by a package named there."""
        depends = run("dpkg-deb", "-f", self.deb, "Depends").stdout
        named = set(re.findall(r"(?:^|[,|]\s*)([a-z0-9][a-z0-9.+-]+)", depends))
        brought = set(named)
        for package in named:
            more = run("dpkg-query", "-W", "-f=${Depends}", package).stdout
            brought |= set(re.findall(r"(?:^|[,|]\s*)([a-z0-9][a-z0-9.+-]+)", more))
        program = self.tree / "opt/Lumora/LumCenter.exe"
        linked = set(re.findall(r"NEEDED.*\[(.+)\]", run("readelf", "-d", program).stdout))
        opened = set(re.findall(rb"lib[A-Za-z0-9_.+-]+\.so\.[0-9]+", program.read_bytes()))
        opened = {name.decode() for name in opened} - linked
        self.assertTrue({"libwebkit2gtk-4.1.so.0", "libcurl.so.4"} <= opened, opened)
        for soname in sorted(opened):
            owner = run("dpkg", "-S", f"*/{soname}").stdout.split(":")[0]
            self.assertIn(owner, brought, f"{soname} ({owner}) is opened but not in Depends: {depends}")
        self.assertIn("libgtk-3-0", depends, "the scanned dependencies are there too")

    def test_lintian_finds_no_error(self):
        if not shutil.which("lintian"):
            self.skipTest("no lintian")
        out = run("lintian", self.deb)
        errors = [l for l in out.stdout.splitlines() if l.startswith("E:")]
        self.assertEqual(errors, [], out.stdout)

    def test_installed_then_removed_leaving_nothing(self):
        if run("dpkg", "-s", "lumcenter").returncode == 0 or Path("/opt/Lumora").exists():
            self.skipTest("the program is installed on this machine already")
        installed = run("dpkg", "-i", self.deb)
        try:
            self.assertEqual(installed.returncode, 0, installed.stdout + installed.stderr)
            for f in FILES:
                self.assertTrue((Path("/") / f).is_file(), f)
            self.assertTrue(os.access("/opt/Lumora/LumCenter.exe", os.X_OK))
            entry = Path("/usr/share/applications/Lumora/lumcenter.desktop").read_text(encoding="utf-8")
            self.assertIn("Name=Центр Lumora\n", entry)
            self.assertIn("Exec=/opt/Lumora/LumCenter.exe\n", entry)
            autostart = Path("/etc/xdg/autostart/lumcenter-agent.desktop").read_text(encoding="utf-8")
            self.assertIn("Exec=/opt/Lumora/LumCenter.exe /agent\n", autostart)
        finally:
            purged = run("dpkg", "--purge", "lumcenter")
        self.assertEqual(purged.returncode, 0, purged.stdout + purged.stderr)
        for f in FILES:
            self.assertFalse((Path("/") / f).exists(), f)
        self.assertFalse(Path("/opt/Lumora").exists())
        self.assertFalse(Path("/usr/share/applications/Lumora").exists())

    def test_a_self_install_writes_the_package_entries(self):
        local = Path("/usr/local/share/applications")
        menu, autostart = local / "Lumora/lumcenter.desktop", Path("/etc/xdg/autostart/lumcenter-agent.desktop")
        if Path("/opt/Lumora").exists() or menu.parent.exists() or autostart.exists():
            self.skipTest("the program is installed on this machine already")
        made = [p for p in (local, Path("/usr/local/share/icons"), Path("/usr/local/share/icons/hicolor"))
                if not p.exists()]
        isp = FakeServers()
        home = self.dir / "self"
        env = {k: v for k, v in os.environ.items() if k not in ("SUDO_UID", "PKEXEC_UID")}
        # The system's folders, whatever the caller's environment names.
        env.update(XDG_CONFIG_DIRS=str(home / "etc/xdg"), XDG_DATA_DIRS=str(home / "usr/share"),
                   XDG_DESKTOP_DIR=str(home / "Desktop"), XDG_RUNTIME_DIR=str(home / "run"),
                   XDG_CONFIG_HOME=str(home / "config"), **isp.env())
        for d in ("etc/xdg/autostart", "usr/share/applications", "Desktop"):
            (home / d).mkdir(parents=True)
        (home / "run").mkdir(mode=0o700)
        try:
            deployed = run(BUILD / "LumCenter", "/deploy", env=env)
            self.assertEqual(deployed.returncode, 0, deployed.stderr)
            self.assertTrue(Path("/opt/Lumora/LumCenter.exe").is_file())
            self.assertEqual(menu.read_bytes(), (self.tree / "usr/share/applications/Lumora/lumcenter.desktop").read_bytes())
            self.assertEqual(autostart.read_bytes(), (self.tree / "etc/xdg/autostart/lumcenter-agent.desktop").read_bytes())
            self.assertEqual(list((home / "etc").rglob("*.desktop")) + list((home / "usr").rglob("*.desktop")), [])
            self.assertEqual((home / "Desktop" / "lumcenter.desktop").read_bytes(), menu.read_bytes())
            # The icon the entries name, in every size the package has.
            for icon in (self.tree / "usr/share/icons/hicolor").rglob("*.png"):
                mine = Path("/usr/local/share/icons/hicolor") / icon.relative_to(self.tree / "usr/share/icons/hicolor")
                self.assertTrue(mine.is_file(), mine)
        finally:
            shutil.rmtree("/opt/Lumora", ignore_errors=True)
            shutil.rmtree(menu.parent, ignore_errors=True)
            autostart.unlink(missing_ok=True)
            for icon in Path("/usr/local/share/icons/hicolor").glob("*/apps/lumcenter*.png"):
                icon.unlink()
            for path in reversed(made):
                shutil.rmtree(path, ignore_errors=True)
            isp.stop()

if __name__ == "__main__":
    unittest.main()
