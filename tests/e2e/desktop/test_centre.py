"""The desktop edition's centre under Xvfb, driven as a person would: the
start page in the browser engine, its links and the settings page, the
statistics against the fake billing, single instance and close."""
import json
import os
import time
import unittest

from desktop_support import (AGENT, MAIN, TITLE, CentreWindow, DesktopTest, help_file,
                             UserWindow, frame_extents, is_button_face, is_page_head, user_time, read_record, request_close, windows_of,
                             wait_until, xdotool)

NO_DATA = '<font color="gray">Нет данных</font>'


def write_record(session, login, password, model=0):
    record = f"{model}|tokra|{login}|{password}|".encode("cp1251")
    session.settings.parent.mkdir(exist_ok=True)
    session.settings.write_bytes(b"[Settings]\nauth=" + bytes(c ^ 0x1D for c in record) + b"\n")


class Centre(DesktopTest):
    def open_centre(self, session):
        """Starts a centre and waits until its start page is in."""
        process = session.start()
        self.assertTrue(wait_until(lambda: windows_of(MAIN), 30),
                        f"no centre window; exit {process.poll()}, trace {session.trace(process)}")
        loaded = session.wait_trace(process, "page loaded", seconds=30)
        self.assertTrue(loaded, f"the start page did not load: {session.trace(process)}")
        window = CentreWindow(windows_of(MAIN)[0])
        # Loaded is not yet drawn: every page here has a blue head.
        wait_until(lambda: is_page_head(window.shot("desktop-0-latest")((300, 30))), 15, 0.3)
        return process, window

    def log(self):
        """The billing's requests since the last look (the centre's agent
        asks for the news on its own schedule)."""
        return [e for e in json.loads(self.isp.get("/_log?clear=1")) if not e["path"].startswith("/new/")]

    def open_service_section(self, login, password):
        """A centre with that record stored, its "Сервис" section opened:
        the session, the centre, its window and the two elements written."""
        s = self.session()
        write_record(s, login, password)
        process, window = self.open_centre(s)
        self.log()
        window.click(window.TAB_SERVICE)
        return s, process, window, s.wait_trace(process, "element ", count=2)

    def test_start_page_from_the_help_file_then_close(self):
        s = self.session()
        process, window = self.open_centre(s)
        navigations = [l for l in s.trace(process) if l.startswith("navigate ")]
        self.assertEqual(navigations[0], "navigate about:<html>", "the placeholder comes first")
        self.assertEqual(navigations[1], "navigate chm://" + str(s.tmp).replace(" ", "%20").replace("#", "%23") +
                         "/Temp.chm/index.htm")
        self.assertEqual(s.temp_chm.read_bytes(), help_file().read_bytes())
        self.assertEqual(xdotool("getwindowname", window.id), TITLE)
        self.assertEqual((window.g["WIDTH"], window.g["HEIGHT"]), (552, 404))
        # The window is centred with its frame, as large as the window manager says.
        left, right, top, bottom = frame_extents(window.id)
        framed = (552 + left + right, 404 + top + bottom)
        self.assertEqual((window.g["X"] - left, window.g["Y"] - top),
                         ((1024 - framed[0]) // 2, (768 - framed[1]) // 2), (left, right, top, bottom))
        look = window.shot("desktop-1-start-page")
        self.assertTrue(is_page_head(look((300, 30))), look((300, 30)))
        # The centre started its agent, which holds its class in the session.
        self.assertTrue(wait_until(lambda: any(p.name == f"{AGENT}.lock" for p in s.runtime.rglob("*")), 10),
                        "the centre starts its agent")

        request_close(window.id)
        self.assertEqual(process.wait(timeout=15), 0)
        self.assertFalse(s.temp_chm.exists(), "closing the centre removes the help file's copy")

    def test_html_folder_beside_the_program_is_shown_instead(self):
        s = self.session(html=True)
        process, window = self.open_centre(s)
        self.assertIn("navigate file://" + str(s.app) + "/Html/index.htm", s.trace(process))
        self.assertFalse(s.temp_chm.exists(), "no help file is written")
        look = window.shot("desktop-2-html-folder")
        self.assertTrue(is_page_head(look((300, 30))), look((300, 30)))

    def test_second_centre_raises_the_first_and_ends(self):
        s = self.session()
        first, window = self.open_centre(s)
        root = xdotool("search", "--maxdepth", "0", "--name", "").split()[0]
        xdotool("windowfocus", root)  # the user went elsewhere
        second = s.start()
        seen, deadline = set(), time.monotonic() + 15
        while second.poll() is None and time.monotonic() < deadline:
            seen.update(windows_of(MAIN))  # watched while it lives: a window of its own would show here
        self.assertEqual(second.wait(timeout=15), 0)
        self.assertLessEqual(seen, {window.id}, "the second centre showed a window of its own")
        self.assertTrue(wait_until(lambda: xdotool("getwindowfocus") == window.id, 5),
                        "the first centre comes forward")
        self.assertFalse([l for l in s.trace(second) if l.startswith("navigate")],
                         "the second centre shows nothing")
        self.assertIsNone(first.poll())

    def test_second_centre_started_by_the_user_focuses_the_first_while_the_user_types_elsewhere(self):
        s = self.session()
        first, window = self.open_centre(s)
        typing = UserWindow()
        self.cleanups.append(typing.close)
        self.assertTrue(wait_until(typing.has_focus, 5), "the user's window has the keyboard")
        xdotool("type", "--delay", "20", "abc")
        typing.user_time()
        # The launcher's startup id tells when the user asked for the centre.
        launched = typing.server_time()
        s.env["DESKTOP_STARTUP_ID"] = f"lumtest-{os.getpid()}_TIME{launched}"
        second = s.start()
        self.assertEqual(second.wait(timeout=15), 0)
        self.assertTrue(wait_until(lambda: xdotool("getwindowfocus") == window.id, 5),
                        "the first centre has the keyboard")
        self.assertEqual(user_time(window.id), launched, "raised with the user's time")
        window.shot("desktop-13-raised-over-the-users-window")

    def test_no_help_file_no_window(self):
        s = self.session()
        s.env["TMPDIR"] = str(s.dir / "missing" / "folder")  # nothing can be written there
        process = s.start()
        seen = []
        while process.poll() is None:  # watched while it lives: never a window on screen
            seen += windows_of(MAIN)
        self.assertEqual(process.wait(timeout=20), 0, s.trace(process))
        self.assertEqual(seen, [])
        self.assertEqual([l for l in s.trace(process) if l.startswith("navigate ")], ["navigate about:<html>"])

    def test_no_browser_engine_no_window(self):
        s = self.session()
        # An engine library that cannot be opened, first on the search path.
        (s.dir / "lib").mkdir()
        (s.dir / "lib" / "libwebkit2gtk-4.1.so.0").write_bytes(b"")
        s.env["LD_LIBRARY_PATH"] = str(s.dir / "lib")
        process = s.start()
        seen, deadline = [], time.monotonic() + 20
        while process.poll() is None and time.monotonic() < deadline:
            seen += windows_of(MAIN)
        self.assertEqual(process.wait(timeout=5), 0, s.trace(process))
        self.assertEqual(seen, [])
        self.assertEqual([l for l in s.trace(process) if l.startswith("navigate ")], [])

    def test_settings_page_saves_the_record_and_reloads_the_page(self):
        s = self.session()
        process, window = self.open_centre(s)
        window.click(window.SETTINGS_BUTTON)
        time.sleep(1)
        look = window.shot("desktop-3-settings-page")
        self.assertTrue(is_page_head(look((300, 30))), "the page's head stays visible above 64 pixels")
        self.assertTrue(is_button_face(look((300, 100))), look((300, 100)))
        self.assertTrue(is_button_face(look((5, 70))), look((5, 70)))
        window.type("user")  # the focus is in the login edit
        window.key("Tab")
        window.type("secret")
        window.key("Return")  # Enter in any control of the page clicks OK
        self.assertTrue(wait_until(lambda: s.settings.exists() and read_record(s.settings)))
        self.assertEqual(read_record(s.settings), ["0", "tokra", "user", "secret", ""])
        self.assertEqual(len(s.wait_trace(process, "page loaded", count=2)), 2, "the page is reloaded")
        # Drawn a moment after the load under a window manager.
        self.assertTrue(wait_until(lambda: not is_button_face(window.shot("desktop-4-saved-and-reloaded")((300, 100))),
                                   5, 0.3), "the settings page is hidden again")

        # Enter in the page with the settings page hidden saves nothing. A
        # save would write the same bytes again, so the file itself is
        # compared (every write renames a new one into place), and a save
        # would load the page again.
        # The agent the centre started stores the news it announced in the
        # same file, five seconds after its start: that write comes first.
        self.assertTrue(wait_until(lambda: "lastlink=" in s.settings.read_text(), 15), "the agent's write")
        before = s.settings.stat()
        window.click((300, 200))
        window.key("Return")
        time.sleep(1)
        after = s.settings.stat()
        self.assertEqual((after.st_ino, after.st_mtime_ns), (before.st_ino, before.st_mtime_ns))
        self.assertEqual(len([l for l in s.trace(process) if l.startswith("page loaded")]), 2)

        # Shown again, the page holds what is in memory, the focus in the login.
        window.click(window.SETTINGS_BUTTON)
        time.sleep(1)
        window.key("End")
        window.type("2")
        window.key("Return")
        self.assertTrue(wait_until(lambda: read_record(s.settings)[2] == "user2"), read_record(s.settings))
        self.assertEqual(read_record(s.settings)[3], "secret")

    def test_settings_page_layout(self):
        s = self.session()
        process, window = self.open_centre(s)
        look = window.shot("desktop-11-start-page-edges")
        # The page fills the client area: its head reaches the right edge.
        for x in (0, 1, 549, 550, 551):
            self.assertTrue(is_page_head(look((x, 30))), f"column {x}: {look((x, 30))}")
        window.click(window.SETTINGS_BUTTON)
        time.sleep(1)
        look = window.shot("desktop-12-settings-page-layout")
        window.keep_client_area(look, "desktop-settings-page")
        # The page lies at (0, 64): row 63 is still the page, row 64 the settings.
        for x in (5, 300, 545):
            self.assertFalse(is_button_face(look((x, 63))), f"row 63 at {x}: {look((x, 63))}")
            self.assertTrue(is_button_face(look((x, 64))), f"row 64 at {x}: {look((x, 64))}")
        # Each label ends before its edit (at x 165 of the page) with a gap.
        for name, top in (("login", 61), ("password", 90), ("router model", 181), ("router password", 208)):
            rows = window.client_region(look, (53, 64 + top), 165 - 53, 14)
            ink = [x for row in rows for x, rgb in enumerate(row) if sum(rgb) < 3 * 160]
            self.assertTrue(ink, f"no text for the {name} label")
            self.assertLess(53 + max(ink), 165 - 3, f"the {name} label runs into its edit")

    def test_tab_and_shift_tab_through_the_settings_page(self):
        s = self.session()
        process, window = self.open_centre(s)
        window.click(window.SETTINGS_BUTTON)
        time.sleep(1)
        # Forwards from the login edit: password, router model, router
        # password, OK; then back the same way to the login edit.
        window.type("user")
        window.key("Tab")
        window.type("secret")
        window.key("Tab", "Down")  # the router model, one entry down
        window.key("Tab", "End")
        window.type("9")
        window.key("Tab", "shift+Tab", "End")  # to OK and back to the router password
        window.type("7")
        window.key("shift+Tab", "Down")
        window.key("shift+Tab", "End")
        window.type("3")
        window.key("shift+Tab", "End")
        window.type("4")
        window.key("Return")
        self.assertTrue(wait_until(lambda: s.settings.exists() and read_record(s.settings)))
        self.assertEqual(read_record(s.settings), ["2", "tokra97", "user4", "secret3", ""])

    def test_statistics_from_the_billing_into_the_page(self):
        s, process, window, elements = self.open_service_section("user", "secret")
        self.assertEqual(elements, ["element stat-1 = Домашний 100", "element stat-2 = 51 ГБайт"])
        paths = [e["path"] for e in self.log()]
        self.assertEqual(sum("GetHomePage" in p for p in paths), 1, paths)
        self.assertIn("GetHomePage", paths[0])
        self.assertTrue(all("PageViewer" in p for p in paths[1:]) and len(paths) >= 3, paths)
        window.shot("desktop-5-statistics")

        # Showing the section again fetches nothing: the figures are there.
        window.click(window.TAB_HOME)
        window.click(window.TAB_SERVICE)
        time.sleep(1.5)
        self.assertEqual(self.log(), [])
        self.assertEqual(len([l for l in s.trace(process) if l.startswith("element ")]), 2)

    def test_figures_go_into_the_page_whatever_characters_they_hold(self):
        _, _, _, elements = self.open_service_section("quote", "secret")
        self.assertEqual(elements, ["element stat-1 = Дом \"Плюс\" \\ 'x' 100", "element stat-2 = 1 ГБайт"])

    def test_wrong_password_shows_no_data_and_asks_for_no_report(self):
        _, _, window, elements = self.open_service_section("user", "wrong")
        self.assertEqual(elements, [f"element stat-1 = {NO_DATA}", f"element stat-2 = {NO_DATA}"])
        paths = [e["path"] for e in self.log()]
        self.assertEqual(len(paths), 1, paths)
        self.assertIn("GetHomePage", paths[0])
        window.shot("desktop-6-no-data")

    def test_radio_and_programs_tiles_open_the_makers_pages_in_the_browser(self):
        s = self.session()
        process, window = self.open_centre(s)
        window.click(window.RADIO_TILE)
        self.assertTrue(wait_until(lambda: s.opened_links(), 10), "the radio tile reached no opener")
        window.click(window.PROGRAMS_TILE)
        self.assertTrue(wait_until(lambda: len(s.opened_links()) == 2, 10), s.opened_links())
        self.assertEqual(s.opened_links(), [f"http://{self.isp.address}/new/radio?hta",
                                            f"http://{self.isp.address}/files/disk/soft-intro.htm"])
        look = window.shot("desktop-radio-and-programs")
        self.assertTrue(is_page_head(look((300, 30))), "the start page stays")

    def test_outside_links_reach_the_opener_and_the_page_stays(self):
        s = self.session()
        write_record(s, "user", "secret")
        process, window = self.open_centre(s)
        window.click(window.FOOT_LINK)
        self.assertTrue(wait_until(lambda: s.opened_links(), 10), "the opener was not called")
        self.assertEqual(s.opened_links(), ["http://lumora.example/"])
        time.sleep(1)
        self.assertEqual(len([l for l in s.trace(process) if l.startswith("page loaded")]), 1)
        look = window.shot("desktop-7-after-outside-link")
        self.assertTrue(is_page_head(look((300, 30))))

        window.click(window.TAB_SERVICE)
        s.wait_trace(process, "element ", count=2)
        window.click(window.BILLING_BUTTON)  # spec:stat-site
        self.assertTrue(wait_until(lambda: len(s.opened_links()) == 2, 10), s.opened_links())
        self.assertEqual(s.opened_links()[1], f"http://{self.isp.address}/pls/startip/www.ViewHomePage"
                                              "?p_logname=user&p_chksum=DC57C0F5")
        look = window.shot("desktop-8-after-billing-link")
        self.assertTrue(is_page_head(look((300, 30))), "no error page replaces the start page")
        self.assertFalse(is_button_face(look((300, 100))))

        # No router model chosen: the status tool's link shows the settings page.
        window.click(window.STATUS_CARD)
        time.sleep(1)
        look = window.shot("desktop-9-status-without-model")
        self.assertTrue(is_button_face(look((300, 100))), look((300, 100)))


    def test_new_windows_and_main_frame_links_never_leave_the_page(self):
        # Three blocks of a page of the test's own: a link that asks for a
        # new window, a script that opens one, and a settings link sent to
        # the page itself rather than its hidden frame.
        block = "position:absolute;top:120px;width:120px;height:120px;"
        page = f"""<html><body style="margin:0;background:#2040c0">
<div style="position:absolute;top:64px;left:0;width:560px;height:400px;background:#fff"></div>
<a href="http://news.example/blank" target="_blank" style="{block}left:20px;background:#c00;display:block"></a>
<div onclick="window.open('http://news.example/opened')" style="{block}left:200px;background:#0c0"></div>
<a href="spec:conf" style="{block}left:380px;background:#00c;display:block"></a>
<iframe name="ifr" style="display:none"></iframe></body></html>"""
        s = self.session(page=page)
        process, window = self.open_centre(s)
        window.click((80, 180))
        window.click((260, 180))
        self.assertTrue(wait_until(lambda: len(s.opened_links()) == 2, 10), s.opened_links())
        self.assertEqual(sorted(s.opened_links()), ["http://news.example/blank", "http://news.example/opened"])
        window.click((440, 180))
        time.sleep(1)
        look = window.shot("desktop-10-new-windows-and-main-frame-link")
        self.assertEqual(len(windows_of(MAIN)), 1)
        self.assertEqual(xdotool("search", "--onlyvisible", "--pid", process.pid).split(), [window.id],
                         "no second browser window")
        self.assertTrue(is_page_head(look((300, 30))), "no error page replaces the page")
        self.assertTrue(is_button_face(look((300, 100))), "the settings page is shown")
        self.assertEqual(len([l for l in s.trace(process) if l.startswith("page loaded")]), 1,
                         s.trace(process))


if __name__ == "__main__":
    unittest.main()
