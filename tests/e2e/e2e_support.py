"""What the end-to-end tests share: a Wine prefix of their own, the fake
servers, the program and the probe under Wine, screenshots as artefacts."""
import atexit
import os
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

ROOT = Path(__file__).resolve().parents[2]
BUILD = Path(os.environ.get("LUM_WINDOWS_BUILD", ROOT / "build" / "windows"))
ARTEFACTS = Path(os.environ.get("LUM_ARTEFACTS", ROOT / "build" / "artefacts"))
WINE = "/usr/lib/wine/wine64"
WINESERVER = "/usr/lib/wine/wineserver"


def program():
    return BUILD / "LumCenter.exe"


class WinePrefix:
    """A prefix with a 1251 code page, made once for the whole run and
    removed at its end. Each suite takes it with shared() and ends with
    close(), which ends every program and the server but keeps the files:
    making a prefix is the slowest and least dependable step of the run."""

    _shared = None

    @classmethod
    def shared(cls):
        if cls._shared is None:
            cls._shared = cls()
            atexit.register(cls._shared.remove)
        cls._shared.open()
        return cls._shared

    def __init__(self):
        self.dir = Path(tempfile.mkdtemp(prefix="lum-e2e-"))
        self.env = dict(os.environ, WINEPREFIX=str(self.dir), WINEDEBUG="-all",
                        WINEDLLOVERRIDES="mscoree,mshtml=", LC_ALL="ru_RU.UTF-8")
        made = subprocess.run([str(ROOT / "scripts" / "wine-prefix"), str(self.dir)], env=self.env,
                              stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                              stderr=subprocess.PIPE, text=True, errors="replace")
        if made.returncode != 0:
            shutil.rmtree(self.dir, ignore_errors=True)
            raise RuntimeError(f"no Wine prefix at {self.dir} (exit {made.returncode}):\n{made.stderr}")
        self.drive_c = self.dir / "drive_c"

    def open(self):
        # One server for the whole suite, its output away from our pipes.
        subprocess.run([WINESERVER, "-p"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    def unix(self, windows_path):
        """The Linux path of a C:\\ path in this prefix."""
        assert windows_path[:3].upper() == "C:\\", windows_path
        return self.drive_c / windows_path[3:].replace("\\", "/")

    def start(self, exe, *args, env=None):
        return subprocess.Popen([WINE, str(exe), *args], env=dict(self.env, **(env or {})),
                                stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                                stderr=subprocess.DEVNULL)

    def run(self, exe, *args, env=None, timeout=60):
        # Output goes through a file, not a pipe: Wine's system processes,
        # started by whichever program needs them first, inherit the handles
        # and would keep a pipe open long after the program has ended.
        with tempfile.TemporaryFile() as out:
            result = subprocess.run([WINE, str(exe), *args], env=dict(self.env, **(env or {})),
                                    stdin=subprocess.DEVNULL, stdout=out, stderr=subprocess.DEVNULL,
                                    timeout=timeout)
            out.seek(0)
            result.stdout = out.read()
        return result

    def probe(self, *args, timeout=60):
        result = self.run(BUILD / "probe.exe", *args, timeout=timeout)
        return result.returncode, result.stdout.decode("utf-8", "replace")

    def close(self):
        """Ends every program of the prefix and its server."""
        subprocess.run([WINESERVER, "-k"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        subprocess.run([WINESERVER, "-w"], env=self.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)

    def remove(self):
        try:
            self.close()
        finally:
            shutil.rmtree(self.dir, ignore_errors=True)


class FakeServers:
    def __init__(self, *args):
        self.state = Path(tempfile.mkdtemp(prefix="lum-isp-"))
        self.portfile = self.state / "port"
        out = subprocess.run([str(ROOT / "tests" / "fake_isp" / "start.sh"), str(self.portfile), *args],
                             check=True, capture_output=True, text=True)
        self.port = int(out.stdout.strip())
        self.address = f"127.0.0.1:{self.port}"

    def env(self):
        return {"LUMCENTER_BILLING_SERVER": self.address, "LUMCENTER_NEWS_SERVER": self.address,
                "LUMCENTER_MAKER_SERVER": self.address}

    def get(self, path):
        import urllib.request
        with urllib.request.urlopen(f"http://{self.address}{path}", timeout=10) as answer:
            return answer.read()

    def count(self, prefix):
        import json
        return sum(1 for e in json.loads(self.get("/_log")) if e["path"].startswith(prefix))

    def stop(self):
        subprocess.run([str(ROOT / "tests" / "fake_isp" / "stop.sh"), str(self.portfile)])
        shutil.rmtree(self.state, ignore_errors=True)


def screenshot(name):
    """Keeps what the virtual screen shows, for people to look at."""
    if not os.environ.get("DISPLAY") or not shutil.which("import"):
        return None
    ARTEFACTS.mkdir(parents=True, exist_ok=True)
    target = ARTEFACTS / f"{name}.png"
    subprocess.run(["import", "-window", "root", str(target)], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=30)
    return target


def wait_until(check, seconds=20, step=0.2):
    end = time.time() + seconds
    while time.time() < end:
        if check():
            return True
        time.sleep(step)
    return check()


def needs_display(test):
    return unittest.skipUnless(os.environ.get("DISPLAY"), "needs an X display (Xvfb)")(test)
