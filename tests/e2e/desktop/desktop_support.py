"""What the desktop edition's end-to-end tests share: the program copied into
a folder of its own, a session of its own (settings, temporary and runtime
folders, a recording opener on PATH), the trace it writes, and the X screen
it shows on, looked at and clicked as a person would."""
import ctypes
import os
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import time
import unittest
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parents[1]))
from e2e_support import ARTEFACTS, ROOT, FakeServers, screenshot, wait_until  # noqa: E402,F401

BUILD = Path(os.environ.get("LUM_DESKTOP_BUILD", ROOT / "build" / "desktop"))
MAIN = "LumCenterMainWndClass"
AGENT = "LumCenterAgentWndClass"
TITLE = "Центр Lumora Верескинск"


def help_file():
    return BUILD / "resources" / "help" / "lumcenter.chm"


def help_pages():
    """The start page and its images as the help file holds them."""
    return BUILD / "resources" / "help" / "stage"


def xdotool(*args, timeout=20):
    out = subprocess.run(["xdotool", *map(str, args)], capture_output=True, text=True, timeout=timeout)
    return out.stdout.strip()


def windows_of(class_name, visible=True):
    args = ["search"] + (["--onlyvisible"] if visible else []) + ["--classname", class_name]
    return [w for w in xdotool(*args).split() if w]


def geometry(window):
    """The client area's place on the screen and its size. Read with
    xwininfo: xdotool's position is off under a window manager that puts a
    frame around the window."""
    out = subprocess.run(["xwininfo", "-id", str(window)], capture_output=True, text=True, timeout=20).stdout
    names = {"Absolute upper-left X": "X", "Absolute upper-left Y": "Y", "Width": "WIDTH", "Height": "HEIGHT"}
    values = {}
    for line in out.splitlines():
        key, _, value = line.strip().partition(":")
        if key in names:
            values[names[key]] = int(value)
    return values


def frame_extents(window):
    """The window manager's frame around a window (left, right, top,
    bottom); none without a window manager."""
    out = subprocess.run(["xprop", "-id", str(window), "_NET_FRAME_EXTENTS"], capture_output=True, text=True,
                         timeout=20).stdout
    values = re.findall(r"\d+", out.partition("=")[2])
    return tuple(int(v) for v in values) if len(values) == 4 else (0, 0, 0, 0)


def window_manager():
    """The name of the window manager on the screen, or None."""
    out = subprocess.run(["xprop", "-root", "_NET_SUPPORTING_WM_CHECK"], capture_output=True, text=True,
                         timeout=20).stdout
    check = re.search(r"0x[0-9a-f]+", out)
    if not check:
        return None
    name = subprocess.run(["xprop", "-id", check.group(0), "_NET_WM_NAME"], capture_output=True, text=True,
                          timeout=20).stdout
    found = re.search(r'"(.*)"', name)
    return found.group(1) if found else None


def pixel(png, x, y):
    """The (r, g, b) at a point of a screenshot."""
    out = subprocess.run(["convert", str(png), "-format", f"%[pixel:p{{{x},{y}}}]", "info:"],
                         capture_output=True, text=True, timeout=30).stdout
    values = [float(v) for v in re.findall(r"[\d.]+", out)[:3]]
    if "%" in out:
        values = [v * 255 / 100 for v in values]
    if out.startswith("gray") and values:  # a screen of greys is saved as such
        values = values[:1] * 3
    return tuple(round(v) for v in values)


def region(png, x, y, width, height):
    """The rows of (r, g, b) of a rectangle of a screenshot."""
    raw = subprocess.run(["convert", str(png), "-crop", f"{width}x{height}+{x}+{y}", "+repage",
                          "-depth", "8", "rgb:-"], capture_output=True, timeout=30).stdout
    assert len(raw) == width * height * 3, f"{len(raw)} bytes for {width}x{height}"
    pixels = [tuple(raw[i:i + 3]) for i in range(0, len(raw), 3)]
    return [pixels[r * width:(r + 1) * width] for r in range(height)]


class _XClientMessage(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("message_type", ctypes.c_ulong),
                ("format", ctypes.c_int), ("data", ctypes.c_long * 5), ("pad", ctypes.c_long * 12)]


def request_close(window):
    """What a title bar's close button does: WM_DELETE_WINDOW to the window."""
    x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
    x11.XOpenDisplay.restype = ctypes.c_void_p
    x11.XInternAtom.restype = ctypes.c_ulong
    x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
    x11.XSendEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_long, ctypes.c_void_p]
    display = x11.XOpenDisplay(os.environ["DISPLAY"].encode())
    event = _XClientMessage()
    event.type = 33  # ClientMessage
    event.window = int(window)
    event.message_type = x11.XInternAtom(display, b"WM_PROTOCOLS", 0)
    event.format = 32
    event.data[0] = x11.XInternAtom(display, b"WM_DELETE_WINDOW", 0)
    x11.XSendEvent(display, int(window), 0, 0, ctypes.byref(event))
    x11.XFlush.argtypes = [ctypes.c_void_p]
    x11.XFlush(display)
    x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
    x11.XCloseDisplay(display)


class LocalUser:
    """A user of this machine made for a test, and removed with all it left:
    its processes, its home and what it owns at the top of the shared
    temporary folder and under /run/user."""

    count = 0

    def __init__(self):
        import pwd
        LocalUser.count += 1
        self.name = f"lumtest{os.getpid() % 100000}x{LocalUser.count}"
        subprocess.run(["useradd", "--create-home", "--shell", "/bin/sh", self.name], check=True,
                       capture_output=True, timeout=60)
        entry = pwd.getpwnam(self.name)
        self.uid, self.gid, self.home = entry.pw_uid, entry.pw_gid, Path(entry.pw_dir)

    def command(self, argv):
        """argv run as this user, with its groups."""
        return ["setpriv", f"--reuid={self.uid}", f"--regid={self.gid}", "--init-groups", "--",
                *map(str, argv)]

    def run(self, argv, **kw):
        return subprocess.run(self.command(argv), capture_output=True, timeout=60, **kw)

    def give(self, *paths):
        for path in paths:
            for p in [Path(path), *Path(path).rglob("*")]:
                os.lchown(p, self.uid, self.gid)

    def processes(self):
        found = []
        for entry in Path("/proc").iterdir():
            try:
                if entry.name.isdigit() and entry.stat().st_uid == self.uid:
                    found.append(int(entry.name))
            except OSError:
                pass
        return found

    def remove(self):
        for pid in self.processes():
            try:
                os.kill(pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        wait_until(lambda: not self.processes(), 10)
        for top in (Path("/tmp"), Path("/run/user")):
            for p in top.iterdir() if top.is_dir() else []:
                try:
                    if p.lstat().st_uid == self.uid:
                        shutil.rmtree(p) if p.is_dir() and not p.is_symlink() else p.unlink()
                except OSError:
                    pass
        subprocess.run(["userdel", "--remove", self.name], capture_output=True, timeout=60)


class _XPropertyEvent(ctypes.Structure):
    _fields_ = [("type", ctypes.c_int), ("serial", ctypes.c_ulong), ("send_event", ctypes.c_int),
                ("display", ctypes.c_void_p), ("window", ctypes.c_ulong), ("atom", ctypes.c_ulong),
                ("time", ctypes.c_ulong), ("state", ctypes.c_int), ("pad", ctypes.c_long * 20)]


class UserWindow:
    """Another program's window that has the keyboard, the user typing in
    it: it says so to the window manager with its user time, as toolkits do."""

    def __init__(self):
        x11 = self.x11 = ctypes.cdll.LoadLibrary("libX11.so.6")
        x11.XOpenDisplay.restype = ctypes.c_void_p
        x11.XDefaultRootWindow.argtypes = [ctypes.c_void_p]
        x11.XDefaultRootWindow.restype = ctypes.c_ulong
        x11.XCreateSimpleWindow.argtypes = [ctypes.c_void_p, ctypes.c_ulong] + [ctypes.c_int] * 2 + \
            [ctypes.c_uint] * 3 + [ctypes.c_ulong] * 2
        x11.XCreateSimpleWindow.restype = ctypes.c_ulong
        for name in ("XMapWindow", "XDestroyWindow"):
            getattr(x11, name).argtypes = [ctypes.c_void_p, ctypes.c_ulong]
        x11.XSelectInput.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_long]
        x11.XInternAtom.restype = ctypes.c_ulong
        x11.XInternAtom.argtypes = [ctypes.c_void_p, ctypes.c_char_p, ctypes.c_int]
        x11.XChangeProperty.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_ulong, ctypes.c_ulong,
                                        ctypes.c_int, ctypes.c_int, ctypes.c_void_p, ctypes.c_int]
        x11.XSetInputFocus.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_ulong]
        x11.XSync.argtypes = [ctypes.c_void_p, ctypes.c_int]
        x11.XCheckTypedWindowEvent.argtypes = [ctypes.c_void_p, ctypes.c_ulong, ctypes.c_int, ctypes.c_void_p]
        x11.XCloseDisplay.argtypes = [ctypes.c_void_p]
        self.display = x11.XOpenDisplay(os.environ["DISPLAY"].encode())
        root = x11.XDefaultRootWindow(self.display)
        self.id = x11.XCreateSimpleWindow(self.display, root, 100, 100, 300, 200, 0, 0, 0xFFFFFF)
        x11.XSelectInput(self.display, self.id, 1 << 22)  # PropertyChangeMask
        self.user_time()
        x11.XMapWindow(self.display, self.id)
        x11.XSync(self.display, 0)
        time.sleep(0.5)
        x11.XSetInputFocus(self.display, self.id, 2, 0)  # RevertToParent, CurrentTime
        x11.XSync(self.display, 0)

    def server_time(self):
        """The X server's time now: that of a property change of ours."""
        atom = self.x11.XInternAtom(self.display, b"LUM_TEST_CLOCK", 0)
        self.x11.XChangeProperty(self.display, self.id, atom, 6, 32, 0, (ctypes.c_long * 1)(0), 1)  # CARDINAL
        self.x11.XSync(self.display, 0)
        event = _XPropertyEvent()
        for _ in range(100):
            if self.x11.XCheckTypedWindowEvent(self.display, self.id, 28, ctypes.byref(event)):  # PropertyNotify
                if event.atom == atom:
                    return event.time
            else:
                time.sleep(0.01)
        raise AssertionError("no property event")

    def user_time(self):
        """The user acts in this window now; its time."""
        now = self.server_time()
        atom = self.x11.XInternAtom(self.display, b"_NET_WM_USER_TIME", 0)
        self.x11.XChangeProperty(self.display, self.id, atom, 6, 32, 0, (ctypes.c_long * 1)(now), 1)
        self.x11.XSync(self.display, 0)
        return now

    def has_focus(self):
        return xdotool("getwindowfocus") == str(self.id)

    def close(self):
        self.x11.XDestroyWindow(self.display, self.id)
        self.x11.XCloseDisplay(self.display)


def user_time(window):
    """The last user time a window told the window manager (on its user
    time window where it has one); None when it told none."""
    def read(w, name):
        out = subprocess.run(["xprop", "-id", str(w), name], capture_output=True, text=True, timeout=20).stdout
        found = re.search(r"[=:]\s*(?:window id # )?(0x[0-9a-f]+|\d+)", out)
        return int(found.group(1), 0) if found else None
    holder = read(window, "_NET_WM_USER_TIME_WINDOW")
    told = read(holder, "_NET_WM_USER_TIME") if holder else None
    # GTK keeps it on the window itself where no window manager reads the other.
    return told if told is not None else read(window, "_NET_WM_USER_TIME")


class Session:
    """The program in a folder of its own (so that an "Html" folder or a
    sibling tool can stand beside it) and a user session of its own. The
    temporary folder's name holds a blank and a "#", which a URL must carry
    escaped."""

    def __init__(self, isp, html=False, page=None, user=None):
        self.dir = Path(tempfile.mkdtemp(prefix="lum-desktop-"))
        self.app = self.dir / "app"
        self.app.mkdir()
        self.exe = self.app / "LumCenter"
        shutil.copy2(BUILD / "LumCenter", self.exe)
        if html:
            shutil.copytree(help_pages(), self.app / "Html")
        if page is not None:  # a page of the test's own in the "Html" folder
            (self.app / "Html").mkdir()
            (self.app / "Html" / "index.htm").write_text(page, encoding="utf-8")
        self.tmp = self.dir / "tmp dir #1"
        self.config = self.dir / "config"
        self.runtime = self.dir / "run"
        self.bin = self.dir / "bin"
        for d in (self.tmp, self.config, self.bin):
            d.mkdir()
        self.runtime.mkdir(mode=0o700)
        self.opened = self.dir / "opened.txt"
        opener = self.bin / "xdg-open"
        opener.write_text('#!/bin/sh\nprintf "%s\\n" "$@" >> "$LUM_TEST_OPENED"\n')
        opener.chmod(0o755)
        self.env = dict(os.environ, TMPDIR=str(self.tmp), XDG_CONFIG_HOME=str(self.config),
                        XDG_RUNTIME_DIR=str(self.runtime), XDG_CACHE_HOME=str(self.dir / "cache"),
                        XDG_DATA_HOME=str(self.dir / "data"), LUM_TRACE_PAGE_LOAD="1",
                        LUM_TEST_OPENED=str(self.opened), PATH=f"{self.bin}:{os.environ['PATH']}",
                        # No session bus here: GLib would start one of its own, and the
                        # accessibility services with it, which outlive the program.
                        DBUS_SESSION_BUS_ADDRESS="disabled:", NO_AT_BRIDGE="1",
                        **isp.env())
        self.processes = []
        self.user = user
        if user:  # the session is that user's, as their desktop's would be
            user.give(self.dir)
            self.env["HOME"] = str(user.home)

    @property
    def settings(self):
        return self.config / "lumora" / "Corvalin.ini"

    @property
    def temp_chm(self):
        return self.tmp / "Temp.chm"

    def start(self, *args):
        n = len(self.processes)
        trace = open(self.dir / f"trace-{n}.txt", "w")
        argv = [str(self.exe), *args]
        process = subprocess.Popen(self.user.command(argv) if self.user else argv, env=self.env, stdin=subprocess.DEVNULL,
                                   stdout=subprocess.DEVNULL, stderr=trace, start_new_session=True)
        trace.close()  # the program has its own copy
        process.trace_path = self.dir / f"trace-{n}.txt"
        self.processes.append(process)
        return process

    def trace(self, process):
        return process.trace_path.read_text(errors="replace").splitlines()

    def wait_trace(self, process, prefix, count=1, seconds=20):
        found = lambda: [l for l in self.trace(process) if l.startswith(prefix)]
        wait_until(lambda: len(found()) >= count, seconds)
        return found()

    def opened_links(self):
        return self.opened.read_text().splitlines() if self.opened.exists() else []

    def end(self):
        """Ends everything it started: the centres, the agents they started
        (same process group) and the engine's helper processes."""
        for process in self.processes:
            try:
                os.killpg(process.pid, signal.SIGTERM)
            except ProcessLookupError:
                pass
        for process in self.processes:
            try:
                process.wait(timeout=10)
            except subprocess.TimeoutExpired:
                os.killpg(process.pid, signal.SIGKILL)
        # The agent is in the centre's group; it may still be going down.
        time.sleep(0.3)
        for process in self.processes:
            try:
                os.killpg(process.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
        shutil.rmtree(self.dir, ignore_errors=True)


class CentreWindow:
    """The centre's window on screen, clicked at the page's controls by
    their place in the window's client area (the page is fixed in size)."""

    # Client-area points of the start page's controls.
    SETTINGS_BUTTON = (480, 29)  # "Настройки" in the page's head
    TAB_HOME = (42, 77)
    TAB_SERVICE = (122, 77)
    FOOT_LINK = (462, 374)       # "lumora.example", an http:// link
    BILLING_BUTTON = (169, 247)  # "Управление услугой Lumora (Биллинг)" on the service page
    STATUS_CARD = (433, 184)     # "Состояние подключения" on the service page
    RADIO_TILE = (340, 290)      # "Радио" on the home page
    PROGRAMS_TILE = (470, 290)   # "Программы" on the home page

    def __init__(self, window):
        self.id = window
        self.g = geometry(window)

    def at(self, point):
        return self.g["X"] + point[0], self.g["Y"] + point[1]

    def click(self, point):
        x, y = self.at(point)
        xdotool("mousemove", x, y, "click", "1")
        xdotool("mousemove", self.g["X"] + self.g["WIDTH"] + 40, self.g["Y"])  # out of the way

    def shot(self, name):
        """A screenshot of the screen, and the colour at client points of it."""
        png = screenshot(name)
        look = lambda point: pixel(png, *self.at(point))
        look.png = png
        return look

    def keep_client_area(self, look, name):
        """The client area of a screenshot as an artefact of its own, to set
        beside the Windows build's (the test command puts them together)."""
        x, y = self.at((0, 0))
        subprocess.run(["convert", str(look.png), "-crop", f"552x404+{x}+{y}", "+repage",
                        str(ARTEFACTS / f"{name}.png")], capture_output=True, timeout=30)

    def client_region(self, look, point, width, height):
        """The rows of a rectangle of the client area in a screenshot."""
        return region(look.png, *self.at(point), width, height)

    def type(self, text):
        xdotool("type", "--delay", "30", text)

    def key(self, *keys):
        xdotool("key", *keys)


def is_page_head(rgb):
    """The start page's head is blue; an empty or grey window is not."""
    r, g, b = rgb
    return b > 120 and b > r + 60


def is_button_face(rgb):
    return all(abs(c - 240) <= 4 for c in rgb)


def read_record(settings):
    """The credentials record of a settings file, unscrambled."""
    for line in settings.read_bytes().split(b"\n"):
        if line.startswith(b"auth="):
            value = line[5:].rstrip(b"\r")
            return bytes(c ^ 0x1D for c in value).decode("cp1251").split("|")
    return None


@unittest.skipUnless(os.environ.get("DISPLAY"), "needs an X display (Xvfb)")
class DesktopTest(unittest.TestCase):
    """The fake servers for the class, and the sessions a test makes, each
    ended after it."""

    @classmethod
    def setUpClass(cls):
        cls.isp = FakeServers()

    @classmethod
    def tearDownClass(cls):
        cls.isp.stop()

    def setUp(self):
        self.isp.get("/_control?reset=1")
        self.isp.get("/_log?clear=1")
        self.sessions = []
        self.cleanups = []

    def tearDown(self):
        for session in self.sessions:
            session.end()
        for cleanup in reversed(self.cleanups):
            cleanup()

    def session(self, **kw):
        s = Session(self.isp, **kw)
        self.sessions.append(s)
        return s
