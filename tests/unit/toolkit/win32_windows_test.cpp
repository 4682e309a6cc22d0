// Window objects against real windows. Wine needs an X display to make
// windows; without one these tests are skipped.
#include <windows.h>
#include <shellapi.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "toolkit/toolkit.h"
#include "win32_test_support.h"

namespace lum {
namespace {

struct Record {
  int clicks = 0;
  int ticks = 0;
  int closes = 0;
};

void Clicked(Record& r) { ++r.clicks; }
void Ticked(Record& r) { ++r.ticks; }
void Closing(Record& r) { ++r.closes; }
void Chosen(Record& r, PopupMenu&, int index) { r.clicks += 10 * (index + 1); }

// Closes a menu that would otherwise wait for a user forever.
void CALLBACK EndMenuLater(HWND, UINT, UINT_PTR, DWORD) { EndMenu(); }

HWND Hwnd(const Control& c) { return reinterpret_cast<HWND>(c.Handle()); }

std::wstring TextOf(HWND hwnd) {
  wchar_t buffer[256] = {};
  GetWindowTextW(hwnd, buffer, 256);
  return buffer;
}

std::wstring ClassOf(HWND hwnd) {
  wchar_t buffer[64] = {};
  GetClassNameW(hwnd, buffer, 64);
  return buffer;
}

using test::CanMakeWindows;

void PumpFor(DWORD ms) {
  for (DWORD start = GetTickCount(); GetTickCount() - start < ms;) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    ProcessMessages();
  }
}

// Drops what earlier tests left in the queue, the quit message included.
void DrainQueue() {
  MSG m;
  while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) {
  }
}

bool QuitWaiting() {
  MSG m;
  return PeekMessageW(&m, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) != 0;
}

class ToolkitWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    LUM_NEED_WINDOWS();
    DrainQueue();
  }
  void TearDown() override {
    SetMainForm(nullptr);
    DrainQueue();
  }
  Record record;
};

TEST_F(ToolkitWin32, WindowIsFoundByItsClassNameOnceCreated) {
  Form form;
  form.SetClassName("LumToolkitTestWndClass");
  EXPECT_EQ(FindWindowA("LumToolkitTestWndClass", nullptr), nullptr);
  form.CreateHandle();
  ASSERT_NE(Hwnd(form), nullptr);
  EXPECT_EQ(FindWindowA("LumToolkitTestWndClass", nullptr), Hwnd(form));
  EXPECT_EQ(FindTopLevelWindow("LumToolkitTestWndClass"), form.Handle());
  EXPECT_FALSE(IsWindowVisible(Hwnd(form)));  // made hidden
}

TEST_F(ToolkitWin32, FixedCaptionedFormHasTheClientSizeAskedAndNoWayToResize) {
  Form form;
  form.SetMaximizeBox(false);
  form.SetClientSize(611, 432);
  form.CreateHandle();
  form.SetFixedSize(true);
  form.SetClientSize(552, 404);
  HWND hwnd = Hwnd(form);

  RECT client;
  GetClientRect(hwnd, &client);
  EXPECT_EQ(client.right, 552);
  EXPECT_EQ(client.bottom, 404);
  RECT outer;
  GetWindowRect(hwnd, &outer);
  EXPECT_EQ(outer.right - outer.left, form.Width());

  LONG style = GetWindowLongW(hwnd, GWL_STYLE);
  EXPECT_EQ(style & WS_MAXIMIZEBOX, 0);
  EXPECT_NE(style & WS_MINIMIZEBOX, 0);
  EXPECT_NE(style & WS_CAPTION, 0);

  // The right border and the bottom-right corner react to nothing.
  LPARAM right_edge = MAKELPARAM(outer.right - 1, (outer.top + outer.bottom) / 2);
  LPARAM corner = MAKELPARAM(outer.right - 1, outer.bottom - 1);
  EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, right_edge), HTNOWHERE);
  EXPECT_EQ(SendMessageW(hwnd, WM_NCHITTEST, 0, corner), HTNOWHERE);
  EXPECT_NE(GetMenuState(GetSystemMenu(hwnd, FALSE), SC_SIZE, MF_BYCOMMAND) & MF_GRAYED, 0u);

  MINMAXINFO info{};
  SendMessageW(hwnd, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMaxTrackSize.x, form.Width());
  EXPECT_EQ(info.ptMinTrackSize.y, form.Height());
}

TEST_F(ToolkitWin32, PopupShapeIsABorderlessTopmostToolWindowWithARegion) {
  Form form;
  Panel& client = Make<Panel>(form);
  client.SetAlign(Align::Client);
  form.CreateHandle();
  form.SetTopmost(true);
  form.SetToolWindow(true);
  form.SetCaption(false);
  form.SetSize(345, 65);
  form.SetRoundRegion(Rect{0, 0, 346, 66}, 3, 3);
  HWND hwnd = Hwnd(form);

  LONG ex = GetWindowLongW(hwnd, GWL_EXSTYLE);
  EXPECT_NE(ex & WS_EX_TOOLWINDOW, 0);
  EXPECT_NE(ex & WS_EX_TOPMOST, 0);
  EXPECT_EQ(GetWindowLongW(hwnd, GWL_STYLE) & (WS_CAPTION | WS_THICKFRAME | WS_SYSMENU), 0);
  RECT rc;
  GetClientRect(hwnd, &rc);
  EXPECT_EQ(rc.right, 345);
  EXPECT_EQ(rc.bottom, 65);
  GetClientRect(Hwnd(client), &rc);
  EXPECT_EQ(rc.right, 345);
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  EXPECT_NE(GetWindowRgn(hwnd, region), ERROR);
  EXPECT_TRUE(PtInRegion(region, 172, 32));
  EXPECT_FALSE(PtInRegion(region, 0, 0));  // a rounded corner
  DeleteObject(region);
}

TEST_F(ToolkitWin32, ChildControlsAreStandardOnesWithCyrillicTextIntact) {
  Form form;
  Panel& page = Make<Panel>(form);
  Label& label = Make<Label>(page);
  label.SetText(" Имя пользователя:");
  Edit& edit = Make<Edit>(page);
  Edit& masked = Make<Edit>(page);
  masked.SetMasked(true);
  ComboBox& combo = Make<ComboBox>(page);
  combo.SetIntegralHeight(false);
  combo.AddItem("Не выбрано");
  combo.AddItem("Модель");
  combo.SetItemIndex(0);
  combo.SetBounds(165, 178, 305, 22);
  Button& button = Make<Button>(page);
  button.SetText("OK");
  form.CreateHandle();
  edit.SetText("Пароль роутера");

  EXPECT_EQ(ClassOf(Hwnd(label)), L"Static");
  EXPECT_EQ(ClassOf(Hwnd(edit)), L"Edit");
  EXPECT_EQ(ClassOf(Hwnd(combo)), L"ComboBox");
  EXPECT_EQ(ClassOf(Hwnd(button)), L"Button");
  EXPECT_EQ(TextOf(Hwnd(label)), L" Имя пользователя:");
  EXPECT_EQ(TextOf(Hwnd(edit)), L"Пароль роутера");
  EXPECT_NE(GetWindowLongW(Hwnd(label), GWL_STYLE) & SS_NOTIFY, 0);
  EXPECT_NE(GetWindowLongW(Hwnd(masked), GWL_STYLE) & ES_PASSWORD, 0);
  LONG combo_style = GetWindowLongW(Hwnd(combo), GWL_STYLE);
  EXPECT_EQ(combo_style & 3, CBS_DROPDOWNLIST);
  EXPECT_NE(combo_style & CBS_NOINTEGRALHEIGHT, 0);
  EXPECT_EQ(SendMessageW(Hwnd(combo), CB_GETCOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(Hwnd(combo), CB_GETCURSEL, 0, 0), 0);
  wchar_t item[32] = {};
  SendMessageW(Hwnd(combo), CB_GETLBTEXT, 0, reinterpret_cast<LPARAM>(item));
  EXPECT_STREQ(item, L"Не выбрано");
  RECT field;
  GetWindowRect(Hwnd(combo), &field);
  EXPECT_EQ(field.bottom - field.top, 22);  // the closed field, not the list

  // What the user types comes back as Windows-1251.
  SetWindowTextW(Hwnd(edit), L"Логин");
  EXPECT_EQ(edit.Text(), "Логин");
}

TEST_F(ToolkitWin32, FontAndColoursReachTheControls) {
  Form form;
  Panel& news = Make<Panel>(form);
  news.SetColor(SysColor(kColorInfoBk));
  Label& heading = Make<Label>(news);
  heading.SetFont(Font{"MS Shell Dlg 2", 12, true});
  heading.SetFontColor(SysColor(kColorInfoText));
  form.CreateHandle();

  LOGFONTW lf{};
  auto font = reinterpret_cast<HFONT>(SendMessageW(Hwnd(heading), WM_GETFONT, 0, 0));
  ASSERT_NE(font, nullptr);
  GetObjectW(font, sizeof lf, &lf);
  EXPECT_EQ(lf.lfHeight, -12);
  EXPECT_EQ(lf.lfWeight, FW_BOLD);

  HDC dc = GetDC(Hwnd(heading));
  LRESULT brush = SendMessageW(Hwnd(news), WM_CTLCOLORSTATIC, reinterpret_cast<WPARAM>(dc),
                               reinterpret_cast<LPARAM>(Hwnd(heading)));
  EXPECT_EQ(reinterpret_cast<HBRUSH>(brush), GetSysColorBrush(COLOR_INFOBK));
  EXPECT_EQ(GetTextColor(dc), GetSysColor(COLOR_INFOTEXT));
  ReleaseDC(Hwnd(heading), dc);
}

TEST_F(ToolkitWin32, ClicksOnLabelAndButtonReachTheirHandlers) {
  Form form;
  Label& label = Make<Label>(form);
  label.SetText("Новости");
  Button& button = Make<Button>(form);
  button.SetBounds(10, 30, 75, 24);
  label.OnClick = Bind<Clicked>(record);
  button.OnClick = Bind<Clicked>(record);
  form.CreateHandle();

  SendMessageW(Hwnd(label), WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(2, 2));
  SendMessageW(Hwnd(label), WM_LBUTTONUP, 0, MAKELPARAM(2, 2));
  EXPECT_EQ(record.clicks, 1);
  SendMessageW(Hwnd(button), BM_CLICK, 0, 0);
  EXPECT_EQ(record.clicks, 2);
}

TEST_F(ToolkitWin32, ADoubleClickOnALabelIsOneClick) {
  Form form;
  Label& label = Make<Label>(form);
  label.SetText("Новости");
  label.OnClick = Bind<Clicked>(record);
  form.CreateHandle();
  // What the system sends for a double-click: the second press comes as a
  // double-click message.
  for (UINT msg : {WM_LBUTTONDOWN, WM_LBUTTONUP, WM_LBUTTONDBLCLK, WM_LBUTTONUP})
    SendMessageW(Hwnd(label), msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_EQ(record.clicks, 1);
  for (UINT msg : {WM_LBUTTONDOWN, WM_LBUTTONUP})
    SendMessageW(Hwnd(label), msg, msg == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(2, 2));
  EXPECT_EQ(record.clicks, 2);
}

TEST_F(ToolkitWin32, TheFocusComesBackToItsControlWhenTheWindowIsActivatedAgain) {
  Form settings;
  settings.SetBounds(100, 100, 300, 200);
  Panel& page = Make<Panel>(settings);
  page.SetAlign(Align::Client);
  Edit& login = Make<Edit>(page);
  Edit& password = Make<Edit>(page);
  password.SetBounds(10, 40, 120, 22);
  Form other;
  other.SetBounds(450, 100, 200, 150);
  Edit& elsewhere = Make<Edit>(other);
  settings.Show();
  other.Show();
  ASSERT_TRUE(::SetForegroundWindow(Hwnd(settings)));
  password.SetFocus();
  ASSERT_EQ(GetFocus(), Hwnd(password));

  // Away to the other window and back, as Alt+Tab does.
  ASSERT_TRUE(::SetForegroundWindow(Hwnd(other)));
  elsewhere.SetFocus();
  ASSERT_EQ(GetActiveWindow(), Hwnd(other));
  ASSERT_TRUE(::SetForegroundWindow(Hwnd(settings)));
  EXPECT_EQ(GetActiveWindow(), Hwnd(settings));
  EXPECT_EQ(GetFocus(), Hwnd(password));
  ASSERT_TRUE(::SetForegroundWindow(Hwnd(other)));
  EXPECT_EQ(GetFocus(), Hwnd(elsewhere));

  // A control that went away meanwhile leaves the window its usual way.
  ASSERT_TRUE(::SetForegroundWindow(Hwnd(settings)));
  ASSERT_TRUE(::SetForegroundWindow(Hwnd(other)));
  page.Hide();
  ASSERT_TRUE(::SetForegroundWindow(Hwnd(settings)));
  EXPECT_NE(GetFocus(), Hwnd(password));
  (void)login;
}

// A taskbar of this process, found before the real one, that takes or
// refuses what the shell sends it. Wine's shell sends each request of the
// notification area as WM_COPYDATA with the request (NIM_ADD...) as dwData.
struct Taskbar {
  int refuse_adds = 0;         // answered "failed", icon not taken
  int late_adds = 0;           // answered "failed", icon taken: a time-out
  bool has_icon = false;
  std::vector<ULONG_PTR> requests;
};
Taskbar* g_taskbar = nullptr;

LRESULT CALLBACK TaskbarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg != WM_COPYDATA || !g_taskbar) return DefWindowProcW(hwnd, msg, wp, lp);
  Taskbar& t = *g_taskbar;
  ULONG_PTR request = reinterpret_cast<COPYDATASTRUCT*>(lp)->dwData;
  t.requests.push_back(request);
  switch (request) {
    case NIM_ADD:
      if (t.has_icon) return FALSE;
      if (t.refuse_adds > 0) return --t.refuse_adds, FALSE;
      t.has_icon = true;
      if (t.late_adds > 0) return --t.late_adds, FALSE;
      return TRUE;
    case NIM_MODIFY:
      return t.has_icon;
    case NIM_DELETE: {
      bool had = t.has_icon;
      t.has_icon = false;
      return had;
    }
    default:
      return FALSE;
  }
}

class ToolkitTray : public ToolkitWin32 {
 protected:
  void SetUp() override {
    ToolkitWin32::SetUp();
    if (IsSkipped()) return;
    WNDCLASSW wc{};
    wc.lpfnWndProc = TaskbarProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = L"Shell_TrayWnd";
    RegisterClassW(&wc);
    window_ = CreateWindowExW(WS_EX_TOPMOST | WS_EX_TOOLWINDOW, L"Shell_TrayWnd", L"", WS_POPUP, 0,
                              0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
    ASSERT_EQ(FindWindowExW(nullptr, nullptr, L"Shell_TrayWnd", nullptr), window_);
    g_taskbar = &taskbar_;
  }
  void TearDown() override {
    g_taskbar = nullptr;
    if (window_) DestroyWindow(window_);
    ToolkitWin32::TearDown();
  }
  bool PumpUntilShown(DWORD ms) {
    for (DWORD start = GetTickCount(); !taskbar_.has_icon && GetTickCount() - start < ms;) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 50, QS_ALLINPUT);
      ProcessMessages();
    }
    return taskbar_.has_icon;
  }
  Taskbar taskbar_;
  HWND window_ = nullptr;
};

TEST_F(ToolkitTray, AnIconTheTaskbarIsNotReadyForIsAddedOnceItIs) {
  taskbar_.refuse_adds = 3;
  Form form;
  TrayIcon& icon = Make<TrayIcon>(form);
  icon.SetIcon("RSSICON");
  icon.SetActive(true);
  icon.SetTip("Центр Lumora Верескинск");
  EXPECT_FALSE(taskbar_.has_icon);
  EXPECT_TRUE(PumpUntilShown(10000));
  size_t asked = taskbar_.requests.size();
  PumpFor(1500);
  EXPECT_EQ(taskbar_.requests.size(), asked);  // no more asking once it is there
  delete &icon;
  EXPECT_FALSE(taskbar_.has_icon);
}

TEST_F(ToolkitTray, AnAddThatTimedOutIsStillRemovedAtTheEnd) {
  taskbar_.late_adds = 1;
  Form form;
  TrayIcon& icon = Make<TrayIcon>(form);
  icon.SetIcon("RSSICON");
  icon.SetActive(true);
  icon.SetTip("Центр Lumora Верескинск");
  ASSERT_TRUE(taskbar_.has_icon);
  delete &icon;
  EXPECT_FALSE(taskbar_.has_icon) << "a ghost icon stays in the taskbar";
}

TEST_F(ToolkitWin32, HandCursorIsSetOverTheLabel) {
  Form form;
  Label& label = Make<Label>(form);
  label.SetText("Новости");
  label.SetCursor(Cursor::Hand);
  Label& plain = Make<Label>(form);
  form.CreateHandle();
  EXPECT_TRUE(SendMessageW(Hwnd(form), WM_SETCURSOR, reinterpret_cast<WPARAM>(Hwnd(label)),
                           MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
  EXPECT_EQ(GetCursor(), LoadCursorW(nullptr, MAKEINTRESOURCEW(32649)));
  EXPECT_FALSE(SendMessageW(Hwnd(form), WM_SETCURSOR, reinterpret_cast<WPARAM>(Hwnd(plain)),
                            MAKELPARAM(HTCLIENT, WM_MOUSEMOVE)));
}

TEST_F(ToolkitWin32, MenuOfAHiddenOwnerRunsTheChosenItemAndLeavesTheOwnerAsItWas) {
  Form form;
  form.SetBounds(200, 150, 345, 65);
  PopupMenu& menu = Make<PopupMenu>(form);
  menu.Add("Открыть", Bind<Chosen>(record), true);
  menu.Add("-");
  menu.Add("Выход", Bind<Chosen>(record));
  form.CreateHandle();

  UINT_PTR guard = SetTimer(nullptr, 0, 3000, EndMenuLater);
  for (WPARAM key : {VK_UP, VK_RETURN}) PostMessageW(Hwnd(form), WM_KEYDOWN, key, 0);
  menu.Popup(Point{300, 300});
  KillTimer(nullptr, guard);

  EXPECT_EQ(record.clicks, 30);  // the last item, "Выход", reached from below
  EXPECT_FALSE(IsWindowVisible(Hwnd(form)));
  RECT r;
  GetWindowRect(Hwnd(form), &r);
  EXPECT_EQ(r.left, 200);
  EXPECT_EQ(r.top, 150);
  EXPECT_EQ(form.Left(), 200);
  EXPECT_FALSE(form.Visible());
}

TEST_F(ToolkitWin32, EnterClicksTheDefaultButtonOnlyWhileItsPageIsShown) {
  Form form;
  Panel& page = Make<Panel>(form);
  Edit& login = Make<Edit>(page);
  Button& ok = Make<Button>(page);
  ok.OnClick = Bind<Clicked>(record);
  form.SetDefaultButton(&ok);
  form.Show();
  EXPECT_NE(GetWindowLongW(Hwnd(ok), GWL_STYLE) & BS_DEFPUSHBUTTON, 0);

  PostMessageW(Hwnd(login), WM_KEYDOWN, VK_RETURN, 0);
  ProcessMessages();
  EXPECT_EQ(record.clicks, 1);

  page.Hide();
  PostMessageW(Hwnd(login), WM_KEYDOWN, VK_RETURN, 0);
  ProcessMessages();
  EXPECT_EQ(record.clicks, 1);
}

TEST_F(ToolkitWin32, PostedCloseOfTheMainFormEndsTheLoop) {
  Form form;
  form.OnClose = Bind<Closing>(record);
  SetMainForm(&form);
  form.CreateHandle();
  form.PostClose();
  RunMessageLoop();  // returns only on the quit message
  EXPECT_EQ(record.closes, 1);
  EXPECT_TRUE(IsWindow(Hwnd(form)));  // the objects free it, not the close
}

TEST_F(ToolkitWin32, CloseOfAnotherFormHidesIt) {
  Form form;
  form.OnClose = Bind<Closing>(record);
  form.Show();
  SendMessageW(Hwnd(form), WM_CLOSE, 0, 0);
  EXPECT_EQ(record.closes, 1);
  EXPECT_FALSE(IsWindowVisible(Hwnd(form)));
  EXPECT_FALSE(QuitWaiting());
}

TEST_F(ToolkitWin32, TimerTicksThroughTheMessageLoopUntilStopped) {
  Form form;
  Timer& timer = Make<Timer>(form, 10u);
  timer.OnTick = Bind<Ticked>(record);
  timer.Start();
  for (int i = 0; i < 200 && record.ticks < 2; ++i) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    ProcessMessages();
  }
  EXPECT_GE(record.ticks, 2);
  timer.Stop();
  int ticks = record.ticks;
  Sleep(50);
  ProcessMessages();
  EXPECT_EQ(record.ticks, ticks);
}

TEST_F(ToolkitWin32, BringToFrontPutsTheChildAboveItsSiblings) {
  Form form;
  Panel& host = Make<Panel>(form);
  Panel& page = Make<Panel>(form);
  form.CreateHandle();
  EXPECT_EQ(GetWindow(Hwnd(form), GW_CHILD), Hwnd(host));
  page.BringToFront();
  EXPECT_EQ(GetWindow(Hwnd(form), GW_CHILD), Hwnd(page));
}

}  // namespace
}  // namespace lum
