"""Checks the fake Lumora servers answer the way the client tests rely on.

Run from the repository root:  python3 -m unittest tests/fake_isp/test_fake_isp.py -v
"""
import http.client
import http.cookiejar
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))
SERVER = os.path.join(HERE, "fake_isp.py")
CP = "cp1251"

# Checksums the server hands out; the client tests use the same values.
CHECKSUMS = {b"user": "DC57C0F5", b"errrep": "3917D305", "иван".encode(CP): "33CC68A3"}
IVAN = "иван".encode(CP)
IVAN_PWD = "п&=+%# ?".encode(CP)


def pct(raw):
    """Percent-encode everything outside letters and digits, as a careful client would."""
    return b"".join(bytes([c]) if chr(c).isalnum() and c < 128 else b"%%%02X" % c for c in raw)


def start_server(*args, port_file=None):
    cmd = [sys.executable, SERVER, "--port", "0"] + list(args)
    if port_file:
        cmd += ["--port-file", port_file]
    proc = subprocess.Popen(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE)
    first = proc.stdout.readline().decode()
    if not first.startswith("port="):
        proc.kill()
        raise RuntimeError("no port line: %r %r" % (first, proc.stderr.read()))
    return proc, int(first.strip()[5:]), first


def stop_server(proc):
    proc.send_signal(signal.SIGTERM)
    try:
        proc.wait(10)
    finally:
        proc.stdout.close()
        proc.stderr.close()


def alive(pid):
    """The scripts' server is not our child, so it may linger as a zombie nobody reaps."""
    try:
        with open("/proc/%d/stat" % pid) as f:
            return f.read().rsplit(")", 1)[1].split()[0] != "Z"
    except FileNotFoundError:
        return False
    except OSError:
        try:
            os.kill(pid, 0)
        except ProcessLookupError:
            return False
        return True


def extract_checksum(page):
    """What the client does: the text after 'p_chksum=' up to the first double quote."""
    at = page.find(b"p_chksum=")
    if at < 0:
        return None
    end = page.find(b'"', at + 9)
    value = page[at + 9:end]
    return None if end < 0 or b">" in value else value.decode()


def extract_tariff(page):
    page = page.replace(b"\r", b"").replace(b"\n", b"")
    at = page.find("Тариф".encode(CP))
    if at < 0:
        return None
    start = page.find(b"dat>", at) + 4
    return page[start:page.find(b"<", start)].decode(CP)


def extract_traffic(page):
    at = page.find("Входящий. Интернет, нелимитированный доступ".encode(CP))
    if at < 0:
        return None
    start = page.find(b'">', at) + 2
    return page[start:page.find(b"<", start)].decode(CP)


class FakeIspTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.port_file = os.path.join(cls.tmp.name, "port")
        cls.proc, cls.port, cls.first_line = start_server(port_file=cls.port_file)

    @classmethod
    def tearDownClass(cls):
        stop_server(cls.proc)
        cls.tmp.cleanup()

    def setUp(self):
        self.get("/_control?reset=1")
        self.get("/_log?clear=1")

    # -- helpers

    def url(self, path):
        return "http://127.0.0.1:%d%s" % (self.port, path)

    def request(self, method, path, body=None, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        try:
            conn.putrequest(method, path, skip_accept_encoding=True)
            for name, value in (headers or {}).items():
                conn.putheader(name, value)
            if body is not None:
                conn.putheader("Content-Length", str(len(body)))
            conn.endheaders(body)
            resp = conn.getresponse()
            return resp.status, resp.getheaders(), resp.read()
        finally:
            conn.close()

    def get(self, path):
        return self.request("GET", path)

    def raw(self, request_bytes, limit=None):
        """Send bytes as is; return everything received until close (or limit bytes)."""
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            s.sendall(request_bytes)
            data = bytearray()
            while limit is None or len(data) < limit:
                try:
                    piece = s.recv(65536)
                except ConnectionResetError:
                    return bytes(data), True
                if not piece:
                    break
                data += piece
            return bytes(data), False

    def login(self, body):
        return self.request("POST", "/pls/startip/www.GetHomePage", body,
                            {"Content-Type": "application/x-www-form-urlencoded"})

    def log(self):
        return json.loads(self.get("/_log")[2])

    def viewer(self, page, login, chksum, extra=b""):
        path = (b"/pls/startip/www.PageViewer?page_name=" + page + b"&logname=" + pct(login)
                + b"&chksum=" + chksum.encode() + extra)
        return self.get(path.decode("latin-1"))

    # -- start-up

    def test_port_line_and_port_file(self):
        self.assertEqual(self.first_line, "port=%d\n" % self.port)
        with open(self.port_file) as f:
            self.assertEqual(f.read(), "%d\n" % self.port)

    def test_listens_on_loopback_only(self):
        if not os.path.exists("/proc/net/tcp"):
            self.skipTest("no /proc/net/tcp")
        with open("/proc/net/tcp") as f:
            rows = [line.split() for line in f.readlines()[1:]]
        listening = [r[1] for r in rows if r[3] == "0A" and int(r[1].split(":")[1], 16) == self.port]
        self.assertEqual(listening, ["0100007F:%04X" % self.port])

    # -- billing

    def test_good_logins_carry_checksum(self):
        for login, body in ((b"user", b"p_logname=user&p_pwd=secret&p_lang=RUS"),
                            (b"user", b"p_logname=%75ser&p_pwd=%73ecret&p_lang=RUS"),
                            (b"errrep", b"p_logname=errrep&p_pwd=secret&p_lang=RUS")):
            status, _, page = self.login(body)
            self.assertEqual(status, 200)
            self.assertEqual(extract_checksum(page), CHECKSUMS[login], body)

    def test_special_characters_account(self):
        status, _, page = self.login(b"p_logname=" + IVAN + b"&p_pwd=" + pct(IVAN_PWD) + b"&p_lang=RUS")
        self.assertEqual((status, extract_checksum(page)), (200, CHECKSUMS[IVAN]))
        status, _, page = self.login(b"p_logname=" + pct(IVAN) + b"&p_pwd=" + pct(IVAN_PWD) + b"&p_lang=RUS")
        self.assertEqual(extract_checksum(page), CHECKSUMS[IVAN])
        self.assertIn(IVAN, page)
        # Unescaped, the '&' and '=' of the password break the form: rejected.
        _, _, page = self.login(b"p_logname=" + IVAN + b"&p_pwd=" + IVAN_PWD + b"&p_lang=RUS")
        self.assertNotIn(b"p_chksum=", page)

    def test_bad_credentials(self):
        for body in (b"p_logname=user&p_pwd=wrong&p_lang=RUS", b"p_logname=nobody&p_pwd=secret",
                     b"", b"p_logname=user"):
            status, _, page = self.login(body)
            self.assertEqual(status, 200)
            self.assertNotIn(b"p_chksum=", page)
            self.assertIn(b">", page[8:page.find(b'"')])

    def test_login_modes(self):
        good = b"p_logname=user&p_pwd=secret&p_lang=RUS"
        self.assertEqual(self.get("/_control?login=gt")[2], b"ok")
        _, _, page = self.login(good)
        self.assertIn(b"p_chksum=abc>", page)
        self.assertIsNone(extract_checksum(page))
        self.get("/_control?login=empty")
        self.assertEqual(self.login(good)[0::2], (200, b""))
        self.get("/_control?login=500")
        status, _, page = self.login(good)
        self.assertEqual(status, 500)
        self.assertNotIn(b"p_chksum=", page)
        self.get("/_control?login=normal")
        self.assertEqual(extract_checksum(self.login(good)[2]), CHECKSUMS[b"user"])

    def test_home_page(self):
        _, _, page = self.get("/pls/startip/www.ViewHomePage?p_logname=user&p_chksum=DC57C0F5")
        self.assertIn(b"user", page)
        self.assertNotIn("запрещён".encode(CP), page)
        _, _, page = self.get("/pls/startip/www.ViewHomePage?p_logname=user&p_chksum=00000000")
        self.assertIn("запрещён".encode(CP), page)

    def test_account_information(self):
        expected = {b"user": "Домашний 100", b"errrep": "Стартовый 50", IVAN: "Семейный 300"}
        for login, tariff in expected.items():
            status, headers, page = self.viewer(b"N*CLI_DIALUP_INFO", login, CHECKSUMS[login])
            self.assertEqual(status, 200)
            self.assertIn(b"\r\n", page)
            self.assertIn("Тариф".encode(CP), page)
            self.assertIn("windows-1251", dict(headers)["Content-Type"])
            self.assertEqual(extract_tariff(page), tariff)
            self.assertNotEqual(page[page.find(b"dat>", page.find("Тариф".encode(CP))):].split(b"<")[0],
                                ("dat>" + tariff).encode(CP), "CR LF must sit inside the tariff")
        _, _, page = self.viewer(b"N*CLI_DIALUP_INFO", b"user", "DC57C0F6")
        self.assertNotIn("Тариф".encode(CP), page)
        # Escaped page name and checksum are the same thing.
        _, _, page = self.viewer(b"N%2ACLI_DIALUP_INFO", b"user", "%44C57C0F5")
        self.assertEqual(extract_tariff(page), "Домашний 100")

    def test_traffic_reports(self):
        tail = b"&n2=p_username&n3=p_page_num&v3=1&n4=p_row_count&v2=-1&v4=100"
        first = {b"user": "52480.5 Мб", IVAN: "7782.4 Мб"}
        second = {b"user": "20480 Мб", b"errrep": "10240 Мб", IVAN: "3072 Мб"}
        for login, figure in first.items():
            _, _, page = self.viewer(b"S*ADM_NET_REP_CNT", login, CHECKSUMS[login], tail)
            self.assertEqual(extract_traffic(page), figure)
            row = page[page.find("Входящий.".encode(CP)):]
            self.assertNotIn(b"\n", row[:row.find(b"</tr>")])
        _, _, page = self.viewer(b"S*ADM_NET_REP_CNT", b"errrep", CHECKSUMS[b"errrep"], tail)
        self.assertIn("ошибка".encode(CP), page)
        self.assertIsNone(extract_traffic(page))
        for login, figure in second.items():
            _, _, page = self.viewer(b"S*CLI_DIALUP_REP_CNT", login, CHECKSUMS[login], tail)
            self.assertEqual(extract_traffic(page), figure)
        _, _, page = self.viewer(b"S*ADM_NET_REP_CNT", b"user", CHECKSUMS[b"errrep"], tail)
        self.assertIsNone(extract_traffic(page))

    def test_start_page_any_host(self):
        status, _, page = self.request("GET", "/", headers={"Host": "lk.lumora.example"})
        self.assertEqual(status, 200)
        self.assertIn(b"www.GetHomePage", page)

    # -- news

    def news(self, variant=None):
        if variant:
            self.assertEqual(self.get("/_control?news=" + variant)[2], b"ok")
        status, _, body = self.get("/new/news-rss")
        self.assertEqual(status, 200)
        return body

    @staticmethod
    def items(body, enc="utf-8"):
        text = body.decode(enc)
        out = []
        for chunk in text.split("<item>")[1:]:
            def tag(name):
                return chunk.split("<%s>" % name)[1].split("</%s>" % name)[0]
            out.append((tag("title"), tag("link"), tag("description")))
        return out

    def test_news_default_utf8(self):
        body = self.news()
        self.assertIn(b"<channel><link>http://news.example/</link>", body)
        items = self.items(body)
        self.assertEqual([i[1] for i in items],
                         ["http://news.example/item/2", "http://news.example/item/1"])
        self.assertEqual(len(items[0][0]), 60)
        self.assertLess(len(items[1][0]), 44)
        self.assertTrue(all("\u0400" <= c <= "\u04ff" for c in items[0][0] if c.isalpha()))

    def test_news_variants(self):
        plain = self.items(self.news("utf8"))
        body = self.news("cp1251")
        with self.assertRaises(UnicodeDecodeError):
            body.decode("utf-8")
        self.assertEqual(self.items(body, CP), plain)
        cdata = self.items(self.news("cdata"))
        self.assertEqual(cdata[0][0], "<![CDATA[" + plain[0][0] + "]]>")
        self.assertTrue(self.items(self.news("https"))[0][1].startswith("https://"))
        body = self.news("html")
        self.assertIn(b"<html>", body)
        self.assertNotIn(b"<item>", body)
        self.assertEqual(len(self.items(self.news("one"))), 1)
        body = self.news("none")
        self.assertIn(b"<channel><link>", body)
        self.assertEqual(self.items(body), [])
        new = self.items(self.news("new"))
        self.assertEqual(new[0][1], "http://news.example/item/3")
        self.assertNotEqual(new[0][0], plain[0][0])
        self.assertEqual(new[1], plain[1])
        self.assertIn("\t", self.items(self.news("ctrl"))[0][1])
        for n in (44, 45):
            title = self.items(self.news("title%d" % n))[0][0]
            self.assertEqual(len(title), n)
            self.assertTrue(all("\u0400" <= c <= "\u04ff" for c in title))
        self.get("/_control?reset=1")
        self.assertEqual(self.items(self.news()), plain)

    def test_control_rejects_unknown(self):
        self.assertEqual(self.get("/_control?news=bogus")[0], 400)
        self.assertEqual(self.get("/_control?colour=red")[0], 400)
        self.assertEqual(self.items(self.news())[0][1], "http://news.example/item/2")
        # Only the feed request is recorded, not the control and log calls.
        self.assertEqual([e["path"] for e in self.log()], ["/new/news-rss"])

    # -- download and small pages

    def test_download_variants(self):
        data = bytes(i % 251 for i in range(1000))
        status, headers, body = self.get("/files/dpr/Tarvik.exe")
        self.assertEqual((status, dict(headers)["Content-Length"], body), (200, "1000", data))

        self.get("/_control?download=short")
        reply, _ = self.raw(b"GET /files/dpr/Tarvik.exe HTTP/1.1\r\nHost: x\r\n\r\n")
        head, body = reply.split(b"\r\n\r\n", 1)
        self.assertIn(b"Content-Length: 1000", head)
        self.assertEqual(body, data[:900])

        self.get("/_control?download=nolength")
        reply, _ = self.raw(b"GET /files/dpr/Tarvik.exe HTTP/1.1\r\nHost: x\r\n\r\n")
        head, body = reply.split(b"\r\n\r\n", 1)
        self.assertNotIn(b"content-length", head.lower())
        self.assertIn(b"Connection: close", head)
        self.assertEqual(body, data)

        self.get("/_control?download=404")
        status, _, body = self.get("/files/dpr/Tarvik.exe")
        self.assertEqual(status, 404)
        self.assertIn(b"<html>", body)
        self.get("/_control?download=empty")
        status, headers, body = self.get("/files/dpr/Tarvik.exe")
        self.assertEqual((status, dict(headers)["Content-Length"], body), (200, "0", b""))
        self.assertEqual(sum(e["path"] == "/files/dpr/Tarvik.exe" for e in self.log()), 5)

    def test_small_pages(self):
        for path in ("/new/radio?hta", "/files/disk/soft-intro.htm"):
            status, _, body = self.get(path)
            self.assertEqual(status, 200)
            self.assertIn(b"<html>", body)
        status, _, body = self.get("/no/such/page")
        self.assertEqual(status, 404)
        self.assertIn(b"<html>", body)

    # -- awkward answers

    def test_size(self):
        status, headers, body = self.get("/hostile/size?n=200000")
        self.assertEqual((status, dict(headers)["Content-Length"], len(body)), (200, "200000", 200000))
        self.assertEqual(body, bytes(0x41 + i % 26 for i in range(200000)))

    def test_huge(self):
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            s.sendall(b"GET /hostile/huge HTTP/1.1\r\nHost: x\r\n\r\n")
            data = bytearray()
            while len(data) < (1 << 20) + 4096:
                piece = s.recv(65536)
                self.assertTrue(piece, "endless body ended")
                data += piece
        head, body = bytes(data).split(b"\r\n\r\n", 1)
        self.assertNotIn(b"content-length", head.lower())
        self.assertNotIn(b"\0", body)
        self.assertEqual(self.get("/hostile/target")[2], b"target reached")   # still serving

    def test_drip_does_not_block_others(self):
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            s.sendall(b"GET /hostile/drip?n=2 HTTP/1.1\r\nHost: x\r\n\r\n")
            started = time.monotonic()
            self.assertEqual(self.get("/hostile/target")[2], b"target reached")
            self.assertLess(time.monotonic() - started, 0.9)
            data = bytearray()
            while True:
                piece = s.recv(100)
                if not piece:
                    break
                data += piece
        self.assertGreaterEqual(time.monotonic() - started, 0.9)
        head, body = bytes(data).split(b"\r\n\r\n", 1)
        self.assertIn(b"Content-Length: 2", head)
        self.assertEqual(body, b"AB")

    def test_nul(self):
        _, headers, body = self.get("/hostile/nul")
        self.assertEqual((dict(headers)["Content-Length"], len(body)), ("3000", 3000))
        self.assertEqual(body.index(b"\0"), 9)
        self.assertEqual(body.count(b"\0"), 1)
        self.assertEqual(body[:9], b"ABCDEFGHI")

    def test_reset(self):
        reply, reset = self.raw(b"GET /hostile/reset HTTP/1.1\r\nHost: x\r\n\r\n")
        head, body = reply.split(b"\r\n\r\n", 1)
        self.assertIn(b"Content-Length: 100000", head)
        self.assertTrue(reset, "connection was closed, not reset")
        self.assertEqual(body, bytes(0x41 + i % 26 for i in range(5000)))

    def test_error_statuses(self):
        self.assertEqual(self.get("/hostile/404")[0::2], (404, b"<html><body>not found</body></html>"))
        self.assertEqual(self.get("/hostile/500")[0::2], (500, b"<html><body>server error</body></html>"))
        self.assertEqual(self.get("/hostile/status?code=503")[0::2], (503, b"status 503"))
        self.assertEqual(self.get("/hostile/status?code=204")[0::2], (204, b""))

    def test_redirects(self):
        with urllib.request.urlopen(self.url("/hostile/redirect"), timeout=10) as r:
            self.assertEqual((r.geturl(), r.read()), (self.url("/hostile/target"), b"target reached"))
        status, headers, _ = self.get("/hostile/loop")
        self.assertEqual((status, dict(headers)["Location"]), (302, "/hostile/loop"))
        with self.assertRaises(urllib.error.HTTPError) as caught:
            urllib.request.urlopen(self.url("/hostile/loop"), timeout=10)
        self.assertEqual(caught.exception.code, 302)
        caught.exception.close()

    def test_cookie_round_trip(self):
        opener = urllib.request.build_opener(
            urllib.request.HTTPCookieProcessor(http.cookiejar.CookieJar()))
        with opener.open(self.url("/hostile/cookie"), timeout=10) as r:
            self.assertEqual(r.read(), b"cookie=yes")
        with urllib.request.urlopen(self.url("/hostile/cookie"), timeout=10) as r:
            self.assertEqual(r.read(), b"cookie=no")

    def test_echo(self):
        status, _, body = self.request("GET", "/hostile/echo?x=%20y", headers={
            "User-Agent": "Lumora test", "Cache-Control": "no-cache", "Pragma": "no-cache"})
        lines = body.split(b"\n")
        self.assertEqual(lines[:2], [b"GET", b"/hostile/echo?x=%20y"])
        self.assertIn(b"H:User-Agent: Lumora test", lines)
        self.assertIn(b"H:Cache-Control: no-cache", lines)
        self.assertLess(lines.index(b"H:User-Agent: Lumora test"), lines.index(b"H:Pragma: no-cache"))
        self.assertEqual(lines[-1], b"BODY:")
        payload = b"a=1&b=\xe8\xe2\n\x00end"
        _, _, body = self.request("POST", "/hostile/echo", payload, {"X-Raw": "v\xe9"})
        self.assertTrue(body.startswith(b"POST\n/hostile/echo\n"))
        self.assertIn(b"H:X-Raw: v\xe9\n", body)
        self.assertTrue(body.endswith(b"\nBODY:" + payload))

    def test_log_keeps_raw_request(self):
        body = b"p_logname=" + IVAN + b"&p_pwd=%26"
        self.raw(b"POST /pls/startip/www.GetHomePage?q=%41\xe8 HTTP/1.1\r\nHost: x\r\n"
                 b"X-Raw: \xe8\xe2\r\nContent-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body)
        self.raw(b"GET /hostile/echo?a=b\tc HTTP/1.1\r\nHost: x\r\n\r\n")
        entries = json.loads(self.get("/_log?clear=1")[2])
        self.assertEqual(len(entries), 2)
        first = entries[0]
        self.assertEqual(first["method"], "POST")
        self.assertEqual(first["path"], "/pls/startip/www.GetHomePage?q=%41\xe8")
        self.assertEqual(first["headers"], [["Host", "x"], ["X-Raw", "\xe8\xe2"],
                                            ["Content-Length", str(len(body))]])
        self.assertEqual(bytes.fromhex(first["body_hex"]), body)
        self.assertEqual(entries[1]["path"], "/hostile/echo?a=b\tc")
        self.assertEqual(self.log(), [])


class LifecycleTest(unittest.TestCase):
    def test_sigterm_exits_cleanly_and_quietly(self):
        proc, port, _ = start_server("--news", "one")
        try:
            with urllib.request.urlopen("http://127.0.0.1:%d/new/news-rss" % port, timeout=10) as r:
                self.assertEqual(r.read().count(b"<item>"), 1)
            urllib.request.urlopen("http://127.0.0.1:%d/_control?news=none" % port, timeout=10).close()
            urllib.request.urlopen("http://127.0.0.1:%d/_control?reset=1" % port, timeout=10).close()
            with urllib.request.urlopen("http://127.0.0.1:%d/new/news-rss" % port, timeout=10) as r:
                self.assertEqual(r.read().count(b"<item>"), 1)   # back to the start-up choice
        finally:
            proc.send_signal(signal.SIGTERM)
            self.assertEqual(proc.wait(10), 0)
            self.assertEqual(proc.stderr.read(), b"")
            self.assertEqual(proc.stdout.read(), b"")
            proc.stdout.close()
            proc.stderr.close()

    def test_start_and_stop_scripts(self):
        with tempfile.TemporaryDirectory() as tmp:
            port_file = os.path.join(tmp, "isp.port")
            out = subprocess.run(["sh", os.path.join(HERE, "start.sh"), port_file, "--download", "404"],
                                 capture_output=True, timeout=20)
            self.assertEqual(out.returncode, 0, out.stderr)
            port = int(out.stdout)
            with open(port_file + ".pid") as f:
                pid = int(f.read())
            with self.assertRaises(urllib.error.HTTPError) as caught:
                urllib.request.urlopen("http://127.0.0.1:%d/files/dpr/Tarvik.exe" % port, timeout=10)
            self.assertEqual(caught.exception.code, 404)
            caught.exception.close()
            out = subprocess.run(["sh", os.path.join(HERE, "stop.sh"), port_file],
                                 capture_output=True, timeout=20)
            self.assertEqual(out.returncode, 0, out.stderr)
            self.assertFalse(os.path.exists(port_file))
            self.assertFalse(os.path.exists(port_file + ".pid"))
            for _ in range(50):
                if not alive(pid):
                    break
                time.sleep(0.1)
            self.assertFalse(alive(pid))


if __name__ == "__main__":
    unittest.main()
