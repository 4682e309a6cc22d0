// The browser control in a real window. Wine needs an X display to make
// windows; without one these tests are skipped.
//
// What Wine's control does when it has no HTML engine (mshtml disabled, as
// the test runs have it), found by trying:
// - It is created and in-place activated: a "Shell Embedding" window appears
//   inside ours, and a document view window after the first navigation that
//   goes through.
// - Navigate returns S_OK and raises BeforeNavigate2. While no navigation
//   has gone through yet the event comes inside the Navigate call; after
//   that it comes later, while messages are processed.
// - The URL reaches the handler unchanged, Cyrillic and plain file paths
//   included, except that a "file:///C:/dir/x" URL arrives as the path
//   "C:\dir\x".
// - LocationURL is "" before any navigation, follows every navigation that
//   goes through (about:, mk:, http: and unknown schemes alike, though
//   nothing loads) and stays as it was when the handler cancels. It escapes
//   "<" and ">" in the URL it reports.
// - There is never a document (Document is empty), so nothing can set an
//   element's content.
#include <windows.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "toolkit/toolkit.h"
#include "win32_test_support.h"

namespace lum {
namespace {

struct Record {
  std::vector<std::string> urls;
  std::vector<bool> cancel_in;
  std::string cancel_prefix = "\x01";  // the URLs to cancel; none by default
};

void BeforeNavigate(Record& r, Browser&, const std::string& url, bool& cancel) {
  r.urls.push_back(url);
  r.cancel_in.push_back(cancel);
  if (url.compare(0, r.cancel_prefix.size(), r.cancel_prefix) == 0) cancel = true;
}

void Throwing(Record& r, Browser&, const std::string& url, bool&) {
  r.urls.push_back(url);
  throw std::runtime_error("handler failed");
}

HWND Hwnd(const Control& c) { return reinterpret_cast<HWND>(c.Handle()); }

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[64] = {};
  GetClassNameW(hwnd, buffer, 64);
  return buffer;
}

std::string TextOf(HWND hwnd) {  // as Windows-1251, like the objects' texts
  wchar_t wide[512] = {};
  int n = GetWindowTextW(hwnd, wide, 512);
  char text[1024] = {};
  WideCharToMultiByte(1251, 0, wide, n, text, sizeof text - 1, nullptr, nullptr);
  return text;
}

using test::CanMakeWindows;

// Processes messages until `done` holds or the time is up.
template <class Done>
bool PumpUntil(Done done, DWORD ms = 3000) {
  DWORD start = GetTickCount();
  while (!done()) {
    if (GetTickCount() - start > ms) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    ProcessMessages();
  }
  return true;
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

class ToolkitBrowserWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    LUM_NEED_WINDOWS();
    form.SetBounds(40, 40, 420, 320);
    panel = &Make<Panel>(form);
    panel->SetAlign(Align::Client);
    panel->SetMargin(-2);
    browser = &Make<Browser>(*panel);
    browser->SetSilent(true);
    browser->SetAlign(Align::Client);
    browser->OnBeforeNavigate = Bind<BeforeNavigate>(record);
  }
  // Sends the browser somewhere and waits for the event.
  void NavigateAndWait(const std::string& url) {
    size_t seen = record.urls.size();
    ASSERT_TRUE(browser->Navigate(url));
    ASSERT_TRUE(PumpUntil([&] { return record.urls.size() > seen; })) << url;
    PumpFor(100);  // let the control finish with it
  }

  Form form;
  Panel* panel = nullptr;
  Browser* browser = nullptr;
  Record record;
};

TEST_F(ToolkitBrowserWin32, IsABorderlessChildWindowFillingItsPanelWithTheControlInside) {
  form.Show();
  HWND hwnd = Hwnd(*browser);
  ASSERT_NE(hwnd, nullptr);
  EXPECT_EQ(GetParent(hwnd), Hwnd(*panel));
  EXPECT_EQ(ClassOf(hwnd), L"LumBrowser");
  LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  EXPECT_NE(style & WS_CHILD, 0);
  EXPECT_EQ(style & (WS_BORDER | WS_DLGFRAME | WS_THICKFRAME), 0);
  EXPECT_EQ(GetWindowLongW(hwnd, GWL_EXSTYLE) & (WS_EX_CLIENTEDGE | WS_EX_STATICEDGE), 0);
  EXPECT_TRUE(IsWindowEnabled(hwnd));
  EXPECT_TRUE(IsWindowVisible(hwnd));

  // The panel's margin of -2 lets it overhang the panel on every side.
  RECT panel_rc, rc;
  GetClientRect(Hwnd(*panel), &panel_rc);
  GetWindowRect(hwnd, &rc);
  MapWindowPoints(nullptr, Hwnd(*panel), reinterpret_cast<POINT*>(&rc), 2);
  EXPECT_EQ(rc.left, -2);
  EXPECT_EQ(rc.top, -2);
  EXPECT_EQ(rc.right, panel_rc.right + 2);
  EXPECT_EQ(rc.bottom, panel_rc.bottom + 2);

  // The control's own window sits inside ours and follows its size.
  HWND inner = GetWindow(hwnd, GW_CHILD);
  ASSERT_NE(inner, nullptr) << "the browser control was not created";
  form.SetSize(500, 400);
  RECT outer_client, inner_rc;
  GetClientRect(hwnd, &outer_client);
  GetWindowRect(inner, &inner_rc);
  EXPECT_EQ(inner_rc.right - inner_rc.left, outer_client.right);
  EXPECT_EQ(inner_rc.bottom - inner_rc.top, outer_client.bottom);
}

TEST_F(ToolkitBrowserWin32, NavigatingRaisesTheEventWithTheUrlAndMovesTheLocation) {
  EXPECT_EQ(browser->LocationUrl(), "");
  NavigateAndWait("about:blank");
  ASSERT_EQ(record.urls, (std::vector<std::string>{"about:blank"}));
  EXPECT_FALSE(record.cancel_in[0]);  // the flag comes in false
  EXPECT_TRUE(PumpUntil([&] { return browser->LocationUrl() == "about:blank"; }));
  // Where the control was sent can be read from outside.
  EXPECT_EQ(TextOf(Hwnd(*browser)), "about:blank");

  NavigateAndWait("lum:stat");
  EXPECT_EQ(record.urls.back(), "lum:stat");
  EXPECT_EQ(TextOf(Hwnd(*browser)), "lum:stat");
}

TEST_F(ToolkitBrowserWin32, NavigatingMakesTheWindowsWhenTheyAreNotThereYet) {
  ASSERT_FALSE(form.HandleAllocated());
  NavigateAndWait("about:blank");
  EXPECT_TRUE(form.HandleAllocated());
  EXPECT_NE(Hwnd(*browser), nullptr);
  EXPECT_FALSE(IsWindowVisible(Hwnd(form)));  // made, not shown
}

TEST_F(ToolkitBrowserWin32, CyrillicUrlsReachTheHandlerUnchanged) {
  const std::string loading =
      "about:<html><body style=\"font-family:tahoma\"><center>Загрузка...</center></body></html>";
  NavigateAndWait(loading);
  ASSERT_EQ(record.urls.size(), 1u);
  EXPECT_EQ(record.urls[0], loading);
  EXPECT_EQ(TextOf(Hwnd(*browser)), loading);
  EXPECT_NE(browser->LocationUrl().find("Загрузка..."), std::string::npos);
}

TEST_F(ToolkitBrowserWin32, FilesRaiseTheEventToo) {
  wchar_t folder[MAX_PATH];
  GetTempPathW(MAX_PATH, folder);
  std::wstring path = std::wstring(folder) + L"lum_browser_test.htm";
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written;
  WriteFile(file, "<html></html>", 13, &written, nullptr);
  CloseHandle(file);
  char narrow[MAX_PATH * 2] = {};
  WideCharToMultiByte(1251, 0, path.c_str(), -1, narrow, sizeof narrow, nullptr, nullptr);

  NavigateAndWait(narrow);  // a plain path, as the program sends a page folder's
  ASSERT_EQ(record.urls.size(), 1u);
  EXPECT_EQ(record.urls[0], narrow);

  std::string url = "file:///" + std::string(narrow);
  for (char& c : url)
    if (c == '\\') c = '/';
  NavigateAndWait(url);
  ASSERT_EQ(record.urls.size(), 2u);
  const std::string name = "lum_browser_test.htm";
  ASSERT_GT(record.urls[1].size(), name.size());
  EXPECT_EQ(record.urls[1].substr(record.urls[1].size() - name.size()), name);
  DeleteFileW(path.c_str());
}

TEST_F(ToolkitBrowserWin32, CancellingKeepsTheLocation) {
  record.cancel_prefix = "http:";
  NavigateAndWait("http://127.0.0.1:9/first");  // nothing has been shown yet
  EXPECT_EQ(browser->LocationUrl(), "");

  NavigateAndWait("about:blank");
  ASSERT_TRUE(PumpUntil([&] { return browser->LocationUrl() == "about:blank"; }));
  NavigateAndWait("http://127.0.0.1:9/second");
  PumpFor(300);
  EXPECT_EQ(browser->LocationUrl(), "about:blank");
  EXPECT_EQ(record.urls, (std::vector<std::string>{"http://127.0.0.1:9/first", "about:blank",
                                                   "http://127.0.0.1:9/second"}));
}

TEST_F(ToolkitBrowserWin32, SettingAnElementWithoutADocumentFailsQuietly) {
  form.CreateHandle();
  EXPECT_FALSE(browser->SetElementHtml("stat-1", "<b>x</b>"));
  NavigateAndWait("about:blank");
  // Wine shows no document; where one is shown, it has no such element.
  EXPECT_FALSE(browser->SetElementHtml("stat-1", "<b>x</b>"));
  EXPECT_FALSE(browser->SetElementHtml("", ""));
}

TEST_F(ToolkitBrowserWin32, AThrowingHandlerStopsAtTheToolkit) {
  browser->OnBeforeNavigate = Bind<Throwing>(record);
  size_t seen = 0;
  EXPECT_TRUE(browser->Navigate("about:blank"));
  EXPECT_TRUE(PumpUntil([&] { return record.urls.size() > seen; }));
  seen = record.urls.size();
  EXPECT_TRUE(browser->Navigate("lum:conf"));
  EXPECT_TRUE(PumpUntil([&] { return record.urls.size() > seen; }));
}

TEST_F(ToolkitBrowserWin32, NoEventReachesABrowserThatIsGone) {
  NavigateAndWait("about:blank");
  ASSERT_TRUE(browser->Navigate("lum:late"));  // its event may still be on its way
  size_t seen = record.urls.size();
  delete browser;
  browser = nullptr;
  PumpFor(500);
  EXPECT_EQ(record.urls.size(), seen);
  EXPECT_TRUE(panel->Children().empty());
  EXPECT_EQ(GetWindow(Hwnd(*panel), GW_CHILD), nullptr);
}

void Clicked(Record& r) { r.urls.push_back("clicked"); }

TEST_F(ToolkitBrowserWin32, KeysInThePageAreThePagesNotTheForms) {
  Button& ok = Make<Button>(*panel);
  ok.OnClick = Bind<Clicked>(record);
  form.SetDefaultButton(&ok);
  form.Show();
  HWND inner = GetWindow(Hwnd(*browser), GW_CHILD);
  ASSERT_NE(inner, nullptr);
  PostMessageW(inner, WM_KEYDOWN, VK_RETURN, 0);
  PostMessageW(inner, WM_KEYDOWN, VK_TAB, 0);
  ProcessMessages();
  EXPECT_TRUE(record.urls.empty());  // Enter in a page is no click on OK
  PostMessageW(Hwnd(ok), WM_KEYDOWN, VK_RETURN, 0);
  ProcessMessages();
  EXPECT_EQ(record.urls, std::vector<std::string>{"clicked"});
}

TEST_F(ToolkitBrowserWin32, ManyBrowsersComeAndGo) {
  form.CreateHandle();
  for (int i = 0; i < 5; ++i) {
    Browser& extra = Make<Browser>(*panel);
    extra.OnBeforeNavigate = Bind<BeforeNavigate>(record);
    ASSERT_NE(GetWindow(Hwnd(extra), GW_CHILD), nullptr);
    size_t seen = record.urls.size();
    EXPECT_TRUE(extra.Navigate("about:blank"));
    EXPECT_TRUE(PumpUntil([&] { return record.urls.size() > seen; }));
    delete &extra;
  }
  EXPECT_EQ(record.urls.size(), 5u);
}

}  // namespace
}  // namespace lum
