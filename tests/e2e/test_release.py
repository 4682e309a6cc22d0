"""The release build under Wine: the server variables that the test and demo
builds obey do nothing there. Each program runs in a network of its own with
only a loopback, the fake servers on it, so that the release program's tries
at its built-in hosts reach nobody."""
import json
import os
import shutil
import subprocess
import tempfile
import time
import unittest
from pathlib import Path

from e2e_support import ROOT, WINE, WINESERVER, WinePrefix, needs_display, program

RELEASE = Path(os.environ.get("LUM_WINDOWS_RELEASE_BUILD", ROOT / "build" / "windows-release"))
AGENT = "LumCenterAgentWndClass"
START = str(ROOT / "tests" / "fake_isp" / "start.sh")
STOP = str(ROOT / "tests" / "fake_isp" / "stop.sh")


class PrivateNetwork:
    """A network namespace holding nothing but its loopback."""

    def __init__(self):
        self.holder = subprocess.Popen(["unshare", "-n", "sleep", "3600"], stdin=subprocess.DEVNULL,
                                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        own = os.readlink("/proc/self/ns/net")
        end = time.time() + 10
        while time.time() < end:
            try:
                if os.readlink(f"/proc/{self.holder.pid}/ns/net") != own:
                    break
            except OSError:
                pass
            time.sleep(0.05)
        else:
            self.close()
            raise RuntimeError("no network namespace")
        subprocess.run(self.command(["ip", "link", "set", "lo", "up"]), check=True)

    def command(self, argv):
        return ["nsenter", "-t", str(self.holder.pid), "-n", *argv]

    def close(self):
        self.holder.kill()
        self.holder.wait()


class ServersInside:
    """The fake servers, on the private network's loopback."""

    def __init__(self, net, state):
        self.net = net
        self.portfile = state / "port"
        out = subprocess.run(net.command([START, str(self.portfile)]), check=True,
                             capture_output=True, text=True)
        self.address = "127.0.0.1:" + out.stdout.strip()

    def env(self):
        return {"LUMCENTER_BILLING_SERVER": self.address, "LUMCENTER_NEWS_SERVER": self.address,
                "LUMCENTER_MAKER_SERVER": self.address}

    def paths(self, clear=False):
        """The paths asked for since the last clear."""
        fetch = ("import sys, urllib.request; "
                 "print(urllib.request.urlopen(sys.argv[1], timeout=10).read().decode())")
        url = f"http://{self.address}/_log" + ("?clear=1" if clear else "")
        out = subprocess.run(self.net.command(["python3", "-c", fetch, url]),
                             check=True, capture_output=True, text=True)
        return [entry["path"] for entry in json.loads(out.stdout)]

    def stop(self):
        subprocess.run([STOP, str(self.portfile)])


@needs_display
@unittest.skipUnless(shutil.which("nsenter") and shutil.which("unshare"), "needs nsenter and unshare")
class Release(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        if not (RELEASE / "LumCenter.exe").exists():
            raise unittest.SkipTest(f"no release build in {RELEASE} (preset windows-release)")
        cls.wine = WinePrefix.shared()
        cls.state = Path(tempfile.mkdtemp(prefix="lum-release-"))
        cls.net = PrivateNetwork()
        cls.isp = ServersInside(cls.net, cls.state)
        # Wine makes its programs' sockets in its server: the server of the
        # prefix has to run in the private network too.
        cls.wine.close()
        subprocess.run(cls.net.command([WINESERVER, "-p"]), env=cls.wine.env, stdin=subprocess.DEVNULL,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)

    @classmethod
    def tearDownClass(cls):
        cls.wine.close()
        cls.isp.stop()
        cls.net.close()
        shutil.rmtree(cls.state, ignore_errors=True)

    def run_inside(self, exe, *args, timeout=60):
        return subprocess.run(self.net.command([WINE, str(exe), *args]),
                              env=dict(self.wine.env, **self.isp.env()), stdin=subprocess.DEVNULL,
                              stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=timeout)

    def agent_polls(self, exe):
        """Whether an agent of exe asks the servers of the variables for the news."""
        self.isp.paths(clear=True)
        agent = subprocess.Popen(self.net.command([WINE, str(exe), "/agent"]),
                                 env=dict(self.wine.env, **self.isp.env()), stdin=subprocess.DEVNULL,
                                 stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            self.assertEqual(self.wine.probe("wait", AGENT, "20")[0], 0, "the agent runs")
            end = time.time() + 12  # the first poll comes five seconds after the start
            while time.time() < end and "/new/news-rss" not in self.isp.paths():
                time.sleep(0.5)
            return "/new/news-rss" in self.isp.paths()
        finally:
            self.wine.probe("close", AGENT)
            self.wine.probe("gone", AGENT, "20")
            agent.wait(timeout=30)

    def test_the_release_program_ignores_the_server_variables(self):
        # The same run with the test build reaches the fake servers: the
        # variables and the network are as the release program sees them.
        self.assertTrue(self.agent_polls(program()))
        self.assertFalse(self.agent_polls(RELEASE / "LumCenter.exe"))
        # Nor does the release installer fetch the sibling tool from them.
        self.isp.paths(clear=True)
        self.assertEqual(self.run_inside(RELEASE / "LumCenter.exe", "/deploy", timeout=120).returncode, 0)
        self.assertNotIn("/files/dpr/Tarvik.exe", self.isp.paths())
        self.assertTrue(self.wine.unix("C:\\Program Files\\Lumora\\LumCenter.exe").exists(),
                        "the release installer ran")


if __name__ == "__main__":
    unittest.main()
