"""The desktop edition on a machine that several people use: the centre's
copy of its help file lives where no other user can reach it, so nothing
another user puts into the shared temporary folder is shown, obeyed or
written through. Needs root (it makes the users)."""
import os
import shutil
import unittest
from pathlib import Path

from desktop_support import MAIN, DesktopTest, LocalUser, help_file, request_close, wait_until, windows_of


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
        """Runs a shell script as the other user to put something at path."""
        if os.path.lexists(path):
            self.skipTest(f"{path} is there already")
        self.planted.append(Path(path))
        done = self.other.run(["sh", "-c", script])
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(os.lstat(path).st_uid, self.other.uid)

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
        self.plant("/tmp/Temp.chm", f"ln -s '{victim}' /tmp/Temp.chm")
        self.plant(own, f"mkdir -m 0777 {own} && cp '{help_file()}' {own}/Temp.chm")
        opened = self.centre_shows_its_own_copy(s)
        self.assertNotEqual(str(opened.parent), own)
        self.assertEqual(victim.read_text(), "the owner's notes\n", "nothing is written through the link")
        self.assertEqual(Path(own, "Temp.chm").read_bytes(), help_file().read_bytes())
        self.assertEqual(os.lstat(Path(own, "Temp.chm")).st_uid, self.other.uid)

        # The same name as a link to a folder of the other user's.
        theirs = Path(f"/tmp/lumplant-{self.other.uid}")
        self.plant(str(theirs), f"mkdir -m 0777 {theirs}")
        shutil.rmtree(own)
        self.planted.remove(Path(own))
        self.plant(own, f"ln -s {theirs} {own}")
        opened = self.centre_shows_its_own_copy(s)
        self.assertNotEqual(str(opened.parent), own)
        self.assertEqual(list(theirs.iterdir()), [], "nothing is written into the other user's folder")


if __name__ == "__main__":
    unittest.main()
