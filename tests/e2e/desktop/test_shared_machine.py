"""The desktop edition on a machine that several people use: the centre's
copy of its help file lives where no other user can reach it, so nothing
another user puts into the shared temporary folder is shown, obeyed or
written through. Needs root (it makes the users)."""
import json
import os
import signal
import shutil
import socket
import struct
import subprocess
import sys
import tempfile
import threading
import unittest
from pathlib import Path

from desktop_support import (BUILD, MAIN, DesktopTest, LocalUser, geometry, help_file, request_close,
                             screenshot, wait_until, windows_of, xdotool)


def chm_path(navigation):
    """The help file a "navigate chm://..." trace line opens."""
    from urllib.parse import unquote
    return Path(unquote(navigation[len("navigate chm://"):-len("/index.htm")]))


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("useradd") and shutil.which("setpriv"),
                     "needs root, useradd and setpriv")
class SharedTemporaryFolder(DesktopTest):
    def setUp(self):
        super().setUp()
        self.owner = LocalUser()  # whose centre it is
        self.cleanups.append(self.owner.remove)
        self.other = LocalUser()  # the one who plants
        self.cleanups.append(self.other.remove)
        self.planted = []

    def tearDown(self):
        super().tearDown()
        for p in self.planted:
            if p.is_symlink() or p.is_file():
                p.unlink()
            elif p.is_dir():
                shutil.rmtree(p)

    def plant(self, path, script):
        """Runs a shell script as the other user to put something at path.
        False when something of someone else's is there already (a copy an
        older centre left in the shared folder), which then stands for it."""
        if os.path.lexists(path):
            self.assertNotEqual(os.lstat(path).st_uid, self.owner.uid)
            return False
        self.planted.append(Path(path))
        done = self.other.run(["sh", "-c", script])
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(os.lstat(path).st_uid, self.other.uid)
        return True

    def centre_shows_its_own_copy(self, s):
        """Starts the owner's centre; the help file it opened, once its page is in."""
        process = s.start()
        loaded = s.wait_trace(process, "page loaded", seconds=30)
        self.assertTrue(loaded, f"the start page did not load: {s.trace(process)}")
        opened = chm_path([l for l in s.trace(process) if l.startswith("navigate chm://")][0])
        folder = opened.parent
        st = folder.lstat()
        self.assertEqual((st.st_uid, st.st_mode & 0o777), (self.owner.uid, 0o700), folder)
        self.assertFalse(folder.is_symlink())
        self.assertEqual(opened.read_bytes(), help_file().read_bytes())
        self.assertTrue(wait_until(lambda: windows_of(MAIN), 30), "no centre window")
        request_close(windows_of(MAIN)[0])
        self.assertEqual(process.wait(timeout=15), 0)
        self.assertFalse(opened.exists(), "closing the centre removes its copy")
        return opened

    def test_a_help_file_planted_in_the_shared_folder_is_not_shown(self):
        s = self.session(user=self.owner)
        del s.env["TMPDIR"]  # the session's own runtime folder is the temporary folder
        self.plant("/tmp/Temp.chm", f"cp '{help_file()}' /tmp/Temp.chm && echo '<h1>mine</h1>' >> /tmp/Temp.chm")
        planted = Path("/tmp/Temp.chm").read_bytes()
        opened = self.centre_shows_its_own_copy(s)
        self.assertEqual(opened.parent, s.runtime)
        self.assertEqual(Path("/tmp/Temp.chm").read_bytes(), planted, "the planted file is untouched")

    def test_links_and_folders_planted_under_the_shared_folder_are_not_used(self):
        s = self.session(user=self.owner)
        s.env["TMPDIR"] = "/tmp"  # shared: the centre makes a folder of its own there
        del s.env["XDG_RUNTIME_DIR"]
        victim = self.owner.home / "notes.txt"
        victim.write_text("the owner's notes\n")
        self.owner.give(victim)
        own = f"/tmp/lumcenter-{self.owner.uid}"
        linked = self.plant("/tmp/Temp.chm", f"ln -s '{victim}' /tmp/Temp.chm")
        self.assertTrue(self.plant(own, f"mkdir -m 0777 {own} && cp '{help_file()}' {own}/Temp.chm"))
        opened = self.centre_shows_its_own_copy(s)
        self.assertNotEqual(str(opened.parent), own)
        if linked:
            self.assertEqual(victim.read_text(), "the owner's notes\n", "nothing is written through the link")
        self.assertEqual(Path(own, "Temp.chm").read_bytes(), help_file().read_bytes())
        self.assertEqual(os.lstat(Path(own, "Temp.chm")).st_uid, self.other.uid)

        # The same name as a link to a folder of the other user's.
        theirs = Path(f"/tmp/lumplant-{self.other.uid}")
        self.assertTrue(self.plant(str(theirs), f"mkdir -m 0777 {theirs}"))
        shutil.rmtree(own)
        self.planted.remove(Path(own))
        self.assertTrue(self.plant(own, f"ln -s {theirs} {own}"))
        opened = self.centre_shows_its_own_copy(s)
        self.assertNotEqual(str(opened.parent), own)
        self.assertEqual(list(theirs.iterdir()), [], "nothing is written into the other user's folder")


INSTALLED = Path("/opt/Lumora/LumCenter.exe")
MENU_ENTRY = Path("/usr/local/share/applications/Lumora/lumcenter.desktop")
AUTOSTART = Path("/etc/xdg/autostart/lumcenter-agent.desktop")
ICONS = Path("/usr/local/share/icons/hicolor")

# A stand-in for polkit's pkexec: asks the test (root) to run the command
# as root for the calling user, waits for it and ends with its status.
STAND_IN = """#!/usr/bin/python3
import json, socket, sys
s = socket.socket(socket.AF_UNIX)
s.connect(sys.argv[0] + ".sock")
s.sendall(json.dumps(sys.argv[1:]).encode() + b"\\n")
sys.exit(int(s.makefile().readline() or 127))
"""


class StandInPkexec:
    """Runs what the stand-in asks for as root, as pkexec would: with
    PKEXEC_UID naming the caller and an environment of its own."""

    def __init__(self, folder, env):
        self.calls = []
        self.path = Path(folder) / "pkexec"
        self.path.write_text(STAND_IN)
        self.path.chmod(0o755)
        self.server = socket.socket(socket.AF_UNIX)
        self.server.bind(str(self.path) + ".sock")
        os.chmod(str(self.path) + ".sock", 0o777)
        self.server.listen(4)
        self.env = env
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                connection, _ = self.server.accept()
            except OSError:
                return
            with connection:
                uid = struct.unpack("3i", connection.getsockopt(socket.SOL_SOCKET, socket.SO_PEERCRED, 12))[1]
                argv = json.loads(connection.makefile().readline())
                self.calls.append((uid, argv))
                env = dict(self.env, PKEXEC_UID=str(uid))
                done = subprocess.run(argv, env=env, cwd="/", stdin=subprocess.DEVNULL,
                                      capture_output=True, timeout=120)
                connection.sendall(f"{done.returncode}\n".encode())

    def close(self):
        self.server.close()


def running(program):
    """pid -> uid of the processes running that program file."""
    found = {}
    for entry in Path("/proc").iterdir():
        try:
            if entry.name.isdigit() and os.readlink(entry / "exe").split(" (deleted)")[0] == str(program):
                found[int(entry.name)] = entry.stat().st_uid
        except OSError:
            pass
    return found


def mode_of(path):
    return path.stat().st_mode & 0o777


@unittest.skipUnless(os.geteuid() == 0 and shutil.which("useradd") and shutil.which("setpriv"),
                     "needs root, useradd and setpriv")
class SelfInstall(DesktopTest):
    """The setup copy run by a normal user on a Russian desktop, elevated
    through (a stand-in of) pkexec, and run again over the centre and agent
    it started."""

    def setUp(self):
        super().setUp()
        for path in (INSTALLED.parent, MENU_ENTRY.parent, AUTOSTART):
            if path.exists():
                self.skipTest(f"{path} exists: the program is installed on this machine")
        self.made = [p for p in (Path("/usr/local/share/applications"), ICONS.parent, ICONS) if not p.exists()]
        self.cleanups.append(self.uninstall)
        self.user = LocalUser()
        self.cleanups.append(self.user.remove)
        self.dir = Path(tempfile.mkdtemp(prefix="lum-install-"))
        self.dir.chmod(0o755)
        self.cleanups.append(lambda: shutil.rmtree(self.dir, ignore_errors=True))
        home = self.user.home
        (home / ".config").mkdir()
        (home / ".config" / "user-dirs.dirs").write_text(
            '# written by xdg-user-dirs-update\nXDG_DESKTOP_DIR="$HOME/Рабочий стол"\n'
            'XDG_DOWNLOAD_DIR="$HOME/Загрузки"\n', encoding="utf-8")
        self.desktop = home / "Рабочий стол"
        self.desktop.mkdir()
        self.setup_copy = home / "LumSetup"
        shutil.copy2(BUILD / "LumCenter", self.setup_copy)
        self.user.give(home)
        self.runtime = Path(f"/run/user/{self.user.uid}")
        self.runtime.mkdir(mode=0o700, parents=True)
        self.user.give(self.runtime)
        self.pkexec = StandInPkexec(self.dir, dict(PATH=os.environ["PATH"], **self.isp.env()))
        self.cleanups.append(self.pkexec.close)
        self.env = dict(PATH=f"{self.dir}:{os.environ['PATH']}", DISPLAY=os.environ["DISPLAY"],
                        HOME=str(home), USER=self.user.name, XDG_RUNTIME_DIR=str(self.runtime),
                        DBUS_SESSION_BUS_ADDRESS="disabled:", NO_AT_BRIDGE="1", LANG="ru_RU.UTF-8",
                        **self.isp.env())

    def uninstall(self):
        for pid in running(INSTALLED):
            os.kill(pid, signal.SIGKILL)
        shutil.rmtree(INSTALLED.parent, ignore_errors=True)
        shutil.rmtree(MENU_ENTRY.parent, ignore_errors=True)
        for path in [AUTOSTART, *ICONS.glob("*/apps/lumcenter*.png")]:
            path.unlink(missing_ok=True)
        for path in self.made:
            shutil.rmtree(path, ignore_errors=True)

    def run_setup(self, name, sudo=False):
        """The setup copy as the user (or as root through sudo for them),
        answered Yes; ends when it has."""
        argv = [str(self.setup_copy)] if sudo else self.user.command([self.setup_copy])
        env = dict(self.env, SUDO_UID=str(self.user.uid), SUDO_GID=str(self.user.gid),
                   SUDO_USER=self.user.name, HOME="/root", USER="root") if sudo else self.env
        process = subprocess.Popen(argv, env=env, cwd=self.user.home,
                                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                   stderr=subprocess.DEVNULL, start_new_session=True)
        try:
            ask = lambda: xdotool("search", "--onlyvisible", "--name", "^Центр Lumora$")
            self.assertTrue(wait_until(ask, 30), "no question dialog")
            g = geometry(ask().split()[0])
            screenshot(name)
            xdotool("mousemove", g["X"] + g["WIDTH"] * 3 // 4, g["Y"] + g["HEIGHT"] - 12, "click", "1")
            self.assertEqual(process.wait(timeout=90), 0)
        finally:
            if process.poll() is None:
                os.killpg(process.pid, signal.SIGKILL)

    def centre_and_agent(self):
        """The two processes of the installed program, once both run."""
        wait_until(lambda: len(running(INSTALLED)) == 2, 30)
        return running(INSTALLED)

    def test_setup_by_a_user_installs_elevated_and_a_second_setup_replaces_the_running_copies(self):
        self.run_setup("desktop-install-question")
        self.assertEqual(self.pkexec.calls, [(self.user.uid, [str(self.setup_copy), "/deploy"])])
        # What the elevated deploy installed, as the package does.
        self.assertEqual(INSTALLED.read_bytes(), (BUILD / "LumCenter").read_bytes())
        self.assertEqual((INSTALLED.stat().st_uid, mode_of(INSTALLED) & 0o111), (0, 0o111))
        menu = MENU_ENTRY.read_text(encoding="utf-8")
        self.assertIn("Exec=/opt/Lumora/LumCenter.exe\n", menu)
        self.assertIn("StartupWMClass=LumCenterMainWndClass\n", menu)
        autostart = AUTOSTART.read_text(encoding="utf-8")
        self.assertIn("Exec=/opt/Lumora/LumCenter.exe /agent\n", autostart)
        self.assertIn("StartupWMClass=LumCenterAgentWndClass\n", autostart)
        icon = ICONS / "48x48/apps/lumcenter.png"
        self.assertEqual(icon.read_bytes()[:8], b"\x89PNG\r\n\x1a\n")
        self.assertEqual(struct.unpack(">II", icon.read_bytes()[16:24]), (48, 48))
        # The launcher on the user's desktop, theirs and executable.
        launcher = self.desktop / "lumcenter.desktop"
        self.assertEqual(launcher.read_bytes(), MENU_ENTRY.read_bytes())
        self.assertEqual((launcher.stat().st_uid, mode_of(launcher)), (self.user.uid, 0o755))
        self.assertTrue(self.isp.count("/files/dpr/Tarvik.exe"), "the sibling tool was fetched")

        # The launch: the centre and its agent, as the user, not as root.
        first = self.centre_and_agent()
        self.assertEqual(len(first), 2, first)
        self.assertEqual(set(first.values()), {self.user.uid})
        self.assertTrue(wait_until(lambda: windows_of(MAIN), 30), "no centre window")

        # Again over them; the agent stopped, so it answers no close request
        # and only the kill passes end it.
        agent = max(first)
        os.kill(agent, signal.SIGSTOP)
        self.run_setup("desktop-reinstall-question")
        self.assertEqual(len(self.pkexec.calls), 2)
        self.assertTrue(all(not Path(f"/proc/{pid}").exists() or
                            (Path(f"/proc/{pid}/stat").read_text().split()[2] == "Z") for pid in first),
                        "the running copies were ended")
        second = self.centre_and_agent()
        self.assertEqual(len(second), 2, second)
        self.assertFalse(set(second) & set(first))
        self.assertEqual(set(second.values()), {self.user.uid})
        self.assertEqual(INSTALLED.read_bytes(), (BUILD / "LumCenter").read_bytes())

    def test_setup_run_with_sudo_starts_the_centre_as_the_user_not_as_root(self):
        self.run_setup("desktop-sudo-install-question", sudo=True)
        self.assertEqual(self.pkexec.calls, [], "root needs no elevation")
        self.assertTrue(INSTALLED.is_file())
        self.assertEqual((self.desktop / "lumcenter.desktop").stat().st_uid, self.user.uid)
        started = self.centre_and_agent()
        self.assertEqual(len(started), 2, started)
        self.assertEqual(set(started.values()), {self.user.uid}, "started as root")


if __name__ == "__main__":
    unittest.main()
