#!/usr/bin/env python3
"""Loopback stand-in for the Lumora servers, for the tests and the demo.

Plays the billing site, the news feed, the installer download and a set of
deliberately awkward answers.  Text pages go out as Windows-1251 bytes because
the client is 8-bit cp1251 throughout.  Routes are listed in README.md.

Standard library only; binds 127.0.0.1 and nothing else.
"""
import argparse
import hashlib
import json
import os
import signal
import socket
import socketserver
import struct
import sys
import tempfile
import threading
import time
import traceback
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer
from urllib.parse import unquote_to_bytes

CP = "cp1251"
HTML = "text/html; charset=windows-1251"
BIN = "application/octet-stream"
TEXT = "text/plain; charset=iso-8859-1"

NEWS_VARIANTS = ("utf8", "cp1251", "cdata", "https", "html", "one", "none",
                 "new", "ctrl", "title44", "title45", "blank")
LOGIN_MODES = ("normal", "gt", "empty", "500")
DOWNLOADS = ("full", "short", "nolength", "404", "empty", "endless")
DEFAULTS = {"news": "utf8", "login": "normal", "download": "full"}
CHOICES = {"news": NEWS_VARIANTS, "login": LOGIN_MODES, "download": DOWNLOADS}
NOT_FOUND = "<html><body>not found</body></html>"


class Account:
    def __init__(self, password, tariff, report, report2):
        self.password = password    # cp1251 bytes
        self.tariff = tariff        # as placed in the page, CR LF included
        self.report = report        # first-choice traffic figure, None = error page
        self.report2 = report2      # second-choice traffic figure


ACCOUNTS = {
    b"user": Account(b"secret", "Домашний\r\n 100", "52480.5 Мб", "20480 Мб"),
    b"errrep": Account(b"secret", "Стартовый\r\n 50", None, "10240 Мб"),
    "иван".encode(CP): Account("п&=+%# ?".encode(CP), "Семейный\r\n 300",
                               "7782.4 Мб", "3072 Мб"),
    # A tariff with the characters a script's string literal must escape.
    b"quote": Account(b"secret", 'Дом "Плюс" \\ \'x\'\r\n 100', "1024 Мб", "0 Мб"),
}

TRAFFIC_LABEL = "Входящий. Интернет, нелимитированный доступ"


def checksum(login):
    """Stable per login so tests can predict it."""
    return hashlib.md5(b"lumora:" + login).hexdigest()[:8].upper()


def unpct(raw, plus=False):
    if plus:
        raw = raw.replace(b"+", b" ")
    return unquote_to_bytes(raw)


def split_pairs(raw):
    """Split on raw '&' and '=' before any decoding, so escaped ones stay inside values."""
    out = []
    for piece in raw.split(b"&"):
        if piece:
            key, _, value = piece.partition(b"=")
            out.append((key, value))
    return out


def decoded(pairs, plus=False):
    return {unpct(k, plus): unpct(v, plus) for k, v in pairs}


# ---------------------------------------------------------------- billing pages

def html_page(title, body, nl="\r\n"):
    return nl.join(["<html><head><title>%s</title>" % title,
                    '<meta http-equiv="Content-Type" content="text/html; charset=windows-1251">',
                    "</head>", "<body>", body, "</body>", "</html>", ""])


def login_from_form(pairs):
    # The client may send values raw or percent-encoded; '+' may also stand for a space.
    for form in ({k: v for k, v in pairs}, decoded(pairs), decoded(pairs, plus=True)):
        login, pwd = form.get(b"p_logname"), form.get(b"p_pwd")
        acc = ACCOUNTS.get(login)
        if acc is not None and acc.password == pwd:
            return login
    return None


def page_login_ok(login, mode):
    name = login.decode(CP)
    if mode == "gt":
        link = ("<!-- p_chksum=abc> -->\r\n"
                '<a href="www.ViewHomePage?p_logname=%s">Домашняя страница</a>' % name)
    else:
        link = ('<a href="www.ViewHomePage?p_logname=%s&p_chksum=%s">Домашняя страница</a>'
                % (name, checksum(login)))
    return html_page("Личный кабинет",
                     "<h1>Добро пожаловать, %s</h1>\r\n%s" % (name, link))


# Starts with "<html><head><title>" so nothing after its 8th character looks like a checksum.
PAGE_LOGIN_BAD = html_page(
    "Ошибка входа", '<p class="err">Неверное имя пользователя или пароль.</p>')
PAGE_LOGIN_500 = html_page(
    "Внутренняя ошибка", '<p class="err">Сервис временно недоступен.</p>')
PAGE_DENIED = html_page(
    "Доступ запрещён", "<p>Доступ запрещён: сеанс недействителен.</p>")
PAGE_START = html_page(
    "Лумора: личный кабинет",
    '<form method="post" action="/pls/startip/www.GetHomePage">\r\n'
    'Имя: <input name="p_logname"> Пароль: <input type="password" name="p_pwd">\r\n'
    '<input type="hidden" name="p_lang" value="RUS"><input type="submit" value="Войти">\r\n'
    "</form>")


def page_home(login):
    return html_page("Домашняя страница",
                     "<h1>Домашняя страница абонента %s</h1>" % login.decode(CP))


def page_info(login, acc):
    # CR LF both between tags and inside the tariff text: the client strips them.
    return html_page("Сведения об абоненте", "\r\n".join([
        "<table class=info>",
        "<tr><td class=lab>Абонент</td>", "<td class=dat>%s</td></tr>" % login.decode(CP),
        "<tr><td class=lab>Тарифный план</td>", "<td class=dat>%s</td></tr>" % acc.tariff,
        "<tr><td class=lab>Состояние</td>", "<td class=dat>Активен</td></tr>",
        "</table>"]))


def page_report(title, figure):
    # Each row stays on one line: the client reads this report as is.
    row = '<tr><td class="lab">%s</td><td align="right">%s</td></tr>'
    return html_page(title, "\r\n".join([
        '<table class="rep">',
        "<tr><th>Услуга</th><th>Объём</th></tr>",
        row % ("Исходящий. Интернет, нелимитированный доступ", "1250.0 Мб"),
        row % (TRAFFIC_LABEL, figure),
        row % ("Входящий. Локальные ресурсы", "300.0 Мб"),
        "</table>"]))


PAGE_REPORT_ERROR = html_page(
    "Отчёт по трафику", "<p>Произошла ошибка при формировании отчёта. Повторите позже.</p>")

# ---------------------------------------------------------------- news feed

ALPHABET = "абвгдежзийклмнопрстуфхцчшщъыьэюя"
TITLE_LONG = "Лумора увеличивает скорость домашнего интернета без доплаты!"   # 60 chars
TITLE_SECOND = "Плановые работы в ночь на субботу"
TITLE_NEW = "Новый семейный тариф Лумора"
NEWS_LINK = "http://news.example/"


def news_items(variant):
    first = (TITLE_LONG, "http://news.example/item/2", "Скорость растёт автоматически.")
    second = (TITLE_SECOND, "http://news.example/item/1", "Связь может прерываться.")
    if variant == "new":
        first = (TITLE_NEW, "http://news.example/item/3", "Подробности на сайте.")
    elif variant == "https":
        first = (first[0], "https://news.example/item/2", first[2])
    elif variant == "ctrl":
        first = (first[0], "http://news.example/item/\t4", first[2])
    elif variant == "blank":
        first = (first[0], "http://news.example/item/5 ", first[2])
    elif variant in ("title44", "title45"):
        n = int(variant[5:])
        first = (((ALPHABET * 2)[:n]).capitalize(), first[1], first[2])
    if variant == "one":
        return [first]
    if variant == "none":
        return []
    return [first, second]


def news_feed(variant):
    if variant == "html":
        return html_page("Ошибка 404", "<p>Страница не найдена.</p>").encode(CP)
    enc = "windows-1251" if variant == "cp1251" else "UTF-8"
    parts = ['<?xml version="1.0" encoding="%s"?>\n' % enc,
             '<rss version="2.0"><channel><link>%s</link>' % NEWS_LINK]
    for title, link, desc in news_items(variant):
        if variant == "cdata":
            title = "<![CDATA[%s]]>" % title
        parts.append("<item><title>%s</title><link>%s</link><description>%s</description></item>"
                     % (title, link, desc))
    parts.append("</channel></rss>\n")
    return "".join(parts).encode(CP if variant == "cp1251" else "utf-8")

# ---------------------------------------------------------------- binary bodies

DOWNLOAD = bytes(i % 251 for i in range(1000))
BLOCK = bytes(0x41 + i % 26 for i in range(26 * 2520))   # 65520 bytes of A..Z, restarts on A


def pattern(n):
    """First n bytes of the endless A..Z cycle used by the awkward answers."""
    return (BLOCK * (n // len(BLOCK) + 1))[:n]


# ---------------------------------------------------------------- HTTP handling

class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "fake-isp/1.0"
    timeout = 120           # a client that stops reading must not hold a thread forever

    def version_string(self):
        return self.server_version

    def log_message(self, fmt, *args):
        if self.server.verbose:
            sys.stderr.write("%s %s\n" % (self.address_string(), fmt % args))

    def handle_one_request(self):
        # Like the stock one, but keeps the request target exactly as received.
        self.close_connection = True
        try:
            line = self.rfile.readline(65537)
            if not line:
                return
            if len(line) > 65536:
                self.requestline = self.request_version = self.command = ""
                self.send_error(414)
                return
            self.raw_requestline = self._normalise(line)
            if not self.parse_request():
                return
            self.serve()
            self.wfile.flush()
        except (ConnectionError, TimeoutError):
            pass
        self.close_connection = True

    def _normalise(self, line):
        """Remember the raw target; hand the stock parser a copy without stray blanks/controls."""
        method, _, rest = line.rstrip(b"\r\n").partition(b" ")
        target, version = rest, b""
        head, sep, tail = rest.rpartition(b" ")
        if sep and tail.startswith(b"HTTP/"):
            target, version = head, tail
        self.raw_target = target.decode("latin-1")
        safe = b"".join(b"%%%02X" % c if c <= 0x20 or c == 0x7F else bytes([c]) for c in target)
        return method + b" " + safe + (b" " + version if version else b"") + b"\r\n"

    def _read_body(self):
        if "chunked" in self.headers.get("Transfer-Encoding", "").lower():
            out = bytearray()
            while True:
                size = int(self.rfile.readline(1024).split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    while self.rfile.readline(65537) not in (b"\r\n", b"\n", b""):
                        pass
                    return bytes(out)
                out += self.rfile.read(size)
                self.rfile.readline(1024)
        try:
            n = int(self.headers.get("Content-Length") or 0)
        except ValueError:
            n = 0
        return self.rfile.read(n) if n > 0 else b""

    # -- response helpers

    def start(self, status, ctype, length=None, headers=()):
        self.send_response(status)
        if ctype:
            self.send_header("Content-Type", ctype)
        for name, value in headers:
            self.send_header(name, value)
        if length is not None:
            self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        self.end_headers()

    def send(self, data):
        if self.command != "HEAD" and data:
            self.wfile.write(data)

    def reply(self, status, body, ctype=HTML, headers=()):
        if isinstance(body, str):
            body = body.encode(CP if ctype == HTML else "latin-1")
        self.start(status, ctype, len(body), headers)
        self.send(body)

    def stream(self, total, step=len(BLOCK)):
        sent = 0
        while sent < total:
            piece = BLOCK[:min(step, total - sent)]
            self.send(piece)
            sent += len(piece)

    # -- dispatch

    def serve(self):
        self.body = self._read_body()
        target = self.raw_target
        if target[:8].lower().startswith(("http://", "https://")):   # absolute form
            slash = target.find("/", target.find("//") + 2)
            target = target[slash:] if slash >= 0 else "/"
        path, _, query = target.partition("?")
        self.query_raw = query.encode("latin-1")
        self.q = decoded(split_pairs(self.query_raw))
        route = unpct(path.encode("latin-1")).decode("latin-1")
        if route not in ("/_log", "/_control"):
            self.server.record({
                "method": self.command, "path": self.raw_target,
                "headers": [[k, v] for k, v in self.headers.items()],
                "body_hex": self.body.hex()})
        handler = ROUTES.get(route)
        if handler is None:
            self.reply(404, NOT_FOUND)
        else:
            handler(self)

    def qstr(self, key, default=""):
        return self.q.get(key.encode(), default.encode()).decode("latin-1")

    def qint(self, key, default):
        try:
            return max(0, int(self.qstr(key, str(default))))
        except ValueError:
            return default

    # -- service routes

    def r_log(self):
        body = json.dumps(self.server.take_log(self.qstr("clear") == "1")).encode()
        self.reply(200, body, "application/json")

    def r_control(self):
        srv, q = self.server, {k.decode("latin-1"): v.decode("latin-1") for k, v in self.q.items()}
        with srv.lock:
            state = dict(srv.startup) if q.pop("reset", None) == "1" else dict(srv.state)
            for key, value in q.items():
                if value not in CHOICES.get(key, ()):
                    self.reply(400, "bad control %s=%s" % (key, value), TEXT)
                    return
                state[key] = value
            srv.state = state
        self.reply(200, "ok", TEXT)

    # -- billing

    def r_start(self):
        self.reply(200, PAGE_START)

    def r_get_home_page(self):
        mode = self.server.get("login")
        if mode == "empty":
            self.reply(200, b"")
        elif mode == "500":
            self.reply(500, PAGE_LOGIN_500)
        else:
            form = self.body if self.command == "POST" else self.query_raw
            login = login_from_form(split_pairs(form))
            self.reply(200, PAGE_LOGIN_BAD if login is None else page_login_ok(login, mode))

    def session(self, login_key, sum_key):
        login = self.q.get(login_key)
        if login in ACCOUNTS and self.q.get(sum_key) == checksum(login).encode():
            return login, ACCOUNTS[login]
        return None, None

    def r_view_home_page(self):
        login, _ = self.session(b"p_logname", b"p_chksum")
        self.reply(200, PAGE_DENIED if login is None else page_home(login))

    def r_page_viewer(self):
        page = self.q.get(b"page_name", b"")
        if page not in (b"N*CLI_DIALUP_INFO", b"S*ADM_NET_REP_CNT", b"S*CLI_DIALUP_REP_CNT"):
            self.reply(404, html_page("Ошибка", "<p>Нет такой страницы.</p>"))
            return
        login, acc = self.session(b"logname", b"chksum")
        if login is None:
            self.reply(200, PAGE_DENIED)
        elif page == b"N*CLI_DIALUP_INFO":
            self.reply(200, page_info(login, acc))
        elif page == b"S*ADM_NET_REP_CNT":
            self.reply(200, PAGE_REPORT_ERROR if acc.report is None
                       else page_report("Отчёт по трафику", acc.report))
        else:
            self.reply(200, page_report("Статистика соединений", acc.report2))

    # -- news, downloads, small pages

    def r_news(self):
        variant = self.server.get("news")
        ctype = {"html": HTML, "cp1251": "application/rss+xml; charset=windows-1251"}.get(
            variant, "application/rss+xml; charset=utf-8")
        self.reply(200, news_feed(variant), ctype)

    def r_download(self):
        variant = self.server.get("download")
        if variant == "404":
            self.reply(404, NOT_FOUND)
        elif variant == "empty":
            self.reply(200, b"", BIN)
        elif variant == "short":
            self.start(200, BIN, len(DOWNLOAD))
            self.send(DOWNLOAD[:900])       # then the connection just closes
        elif variant == "nolength":
            self.start(200, BIN)            # body ends when the connection closes
            self.send(DOWNLOAD)
        elif variant == "endless":
            self.start(200, BIN)            # no length, never ends: until the client hangs up
            if self.command != "HEAD":
                while True:
                    self.send(BLOCK)
        else:
            self.reply(200, DOWNLOAD, BIN)

    # -- awkward answers

    def r_size(self):
        n = self.qint("n", 0)
        self.start(200, TEXT, n)
        self.stream(n)

    def r_huge(self):
        self.start(200, TEXT)               # no length: endless until the client hangs up
        if self.command != "HEAD":
            while True:
                self.send(BLOCK)

    def r_drip(self):
        n = self.qint("n", 60)
        pause = self.qint("ms", 1000) / 1000.0
        self.start(200, TEXT, n)
        for i, byte in enumerate(pattern(n)):
            if i:
                time.sleep(pause)
            self.send(bytes([byte]))

    def r_stall(self):
        # Some bytes, then silence far longer than any receive time-out.
        n = self.qint("after", 10)
        self.start(200, TEXT, n + 100)
        self.send(pattern(n))
        time.sleep(self.qint("seconds", 60))

    def r_nul(self):
        body = bytearray(pattern(3000))
        body[9] = 0
        self.reply(200, bytes(body), BIN)

    def r_reset(self):
        self.start(200, BIN, 100000)
        self.send(pattern(5000))
        time.sleep(0.2)                     # let the client take the data before the reset
        self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        self.rfile.close()                  # the socket only really closes with no files open
        self.connection.close()

    def redirect(self, where, headers=()):
        self.reply(302, '<html><body><a href="%s">moved</a></body></html>' % where,
                   headers=[("Location", where)] + list(headers))

    def r_post_redirect(self):
        code = self.qint("code", 302)
        if code not in (301, 302, 303, 307, 308):
            self.reply(400, "bad code", TEXT)
            return
        self.reply(code, '<html><body><a href="/hostile/echo">moved</a></body></html>',
                   headers=[("Location", "/hostile/echo")])

    def r_cookie(self):
        self.redirect("/hostile/cookie-check", [("Set-Cookie", "sid=42; Path=/")])

    def r_cookie_check(self):
        crumbs = [c.strip() for h in self.headers.get_all("Cookie", []) for c in h.split(";")]
        self.reply(200, "cookie=yes" if "sid=42" in crumbs else "cookie=no", TEXT)

    def r_echo(self):
        lines = [self.command, self.raw_target]
        lines += ["H:%s: %s" % (k, v) for k, v in self.headers.items()]
        lines.append("BODY:")
        self.reply(200, "\n".join(lines).encode("latin-1") + self.body, TEXT)

    def r_status(self):
        code = self.qint("code", 0)
        if not 200 <= code <= 599:
            self.reply(400, "bad code", TEXT)
        elif code in (204, 304):
            self.start(code, None)
        else:
            self.reply(code, "status %d" % code, TEXT)


ROUTES = {
    "/_log": Handler.r_log,
    "/_control": Handler.r_control,
    "/": Handler.r_start,
    "/pls/startip/www.GetHomePage": Handler.r_get_home_page,
    "/pls/startip/www.ViewHomePage": Handler.r_view_home_page,
    "/pls/startip/www.PageViewer": Handler.r_page_viewer,
    "/new/news-rss": Handler.r_news,
    "/files/dpr/Tarvik.exe": Handler.r_download,
    "/new/radio": lambda h: h.reply(200, html_page(
        "Радио Лумора", "<p>Радио в эфире круглосуточно.</p>")),
    "/files/disk/soft-intro.htm": lambda h: h.reply(200, html_page(
        "Программа для абонентов", "<p>Программа показывает баланс, тариф и новости.</p>")),
    "/hostile/size": Handler.r_size,
    "/hostile/huge": Handler.r_huge,
    "/hostile/drip": Handler.r_drip,
    "/hostile/nul": Handler.r_nul,
    "/hostile/stall": Handler.r_stall,
    "/hostile/reset": Handler.r_reset,
    "/hostile/404": lambda h: h.reply(404, NOT_FOUND),
    "/hostile/500": lambda h: h.reply(500, "<html><body>server error</body></html>"),
    "/hostile/redirect": lambda h: h.redirect("/hostile/target"),
    "/hostile/target": lambda h: h.reply(200, "target reached", TEXT),
    "/hostile/loop": lambda h: h.redirect("/hostile/loop"),
    "/hostile/post-redirect": Handler.r_post_redirect,
    "/hostile/cookie": Handler.r_cookie,
    "/hostile/cookie-check": Handler.r_cookie_check,
    "/hostile/echo": Handler.r_echo,
    "/hostile/status": Handler.r_status,
}


class Server(ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, port, startup, verbose=False):
        self.verbose = verbose
        self.startup = dict(startup)
        self.state = dict(startup)
        self.lock = threading.Lock()
        self.log = []
        super().__init__(("127.0.0.1", port), Handler)

    def server_bind(self):
        # Skip the stock reverse lookup of the address; it can stall in sandboxes.
        socketserver.TCPServer.server_bind(self)
        self.server_name, self.server_port = "localhost", self.server_address[1]

    def get(self, key):
        with self.lock:
            return self.state[key]

    def record(self, entry):
        with self.lock:
            self.log.append(entry)

    def take_log(self, clear):
        with self.lock:
            entries = list(self.log)
            if clear:
                self.log.clear()
            return entries

    def handle_error(self, request, client_address):
        if not isinstance(sys.exc_info()[1], (ConnectionError, TimeoutError)):
            traceback.print_exc()


def write_atomic(path, text):
    fd, tmp = tempfile.mkstemp(prefix=".port-", dir=os.path.dirname(os.path.abspath(path)))
    try:
        with os.fdopen(fd, "w") as f:
            f.write(text)
        os.chmod(tmp, 0o644)
        os.replace(tmp, path)
    except BaseException:
        if os.path.exists(tmp):
            os.unlink(tmp)
        raise


def main(argv=None):
    ap = argparse.ArgumentParser(description="Loopback stand-in for the Lumora servers.")
    ap.add_argument("--port", type=int, default=0, help="port on 127.0.0.1 (0 = any free one)")
    ap.add_argument("--port-file", help="write the port number to this file once listening")
    ap.add_argument("--news", choices=NEWS_VARIANTS, default=DEFAULTS["news"])
    ap.add_argument("--login", choices=LOGIN_MODES, default=DEFAULTS["login"])
    ap.add_argument("--download", choices=DOWNLOADS, default=DEFAULTS["download"])
    ap.add_argument("--verbose", action="store_true", help="log each request on stderr")
    args = ap.parse_args(argv)

    def stop(signum, frame):
        raise KeyboardInterrupt

    signal.signal(signal.SIGTERM, stop)
    signal.signal(signal.SIGINT, stop)
    srv = None
    try:
        srv = Server(args.port, {"news": args.news, "login": args.login,
                                 "download": args.download}, args.verbose)
        port = srv.server_address[1]
        print("port=%d" % port, flush=True)
        if args.port_file:
            write_atomic(args.port_file, "%d\n" % port)
        srv.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        if srv is not None:
            srv.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
