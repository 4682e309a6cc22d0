// The whole process under Wine, from the window set's start to the end of
// its message loop, with the system underneath played by a fake where the
// test needs it to refuse.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "install/installer.h"
#include "pages/page_flows.h"
#include "platform/os.h"
#include "settings/credentials.h"
#include "test_env.h"
#include "toolkit/win32_test_support.h"
#include "ui/center_form.h"

namespace lum {
namespace {

bool WindowOfClass(const char* name) { return FindWindowA(name, nullptr) != nullptr; }

// A process started from a folder of the test's, with a temporary folder of
// its own, that starts nothing. While its window is there the help file is
// held, as the help protocol holds it a while after the page host has gone.
class HeldHelpFile : public ForwardingOs {
 public:
  HeldHelpFile(std::string program, std::string temp, std::string argument)
      : ForwardingOs(Os()),
        program_(std::move(program)),
        temp_(std::move(temp)),
        argument_(std::move(argument)) {}
  std::string CommandLine() override { return "\"" + ModulePath() + "\"" + argument_; }
  std::string ModulePath() override { return program_ + "\\LumCenter.exe"; }
  std::string TempFolder() override { return temp_; }
  std::string ProgramResource(const std::string& name) override {
    return name == "CHM" ? "ITSF fake help file" : std::string();
  }
  void WinExec(const std::string&, int) override {}
  bool SetCurrentFolder(const std::string&) override { return true; }
  bool RemoveFile(const std::string& path) override {
    if (path != temp_ + "Temp.chm") return ForwardingOs::RemoveFile(path);
    bool window = WindowOfClass(kMainWindowClass) || WindowOfClass(kAgentWindowClass);
    tries_with_window += window;
    tries_after_window += !window;
    return window ? false : ForwardingOs::RemoveFile(path);
  }

  int tries_with_window = 0, tries_after_window = 0;

 private:
  std::string program_, temp_, argument_;
};

// Closes the process's window once it is up, as its close button would;
// ends the loop after a while if that never comes.
// The centre is up when shown; the agent's window stays hidden.
void CALLBACK CloseWhenUp(HWND, UINT, UINT_PTR id, DWORD) {
  HWND centre = FindWindowA(kMainWindowClass, nullptr);
  HWND window = centre && IsWindowVisible(centre) ? centre : FindWindowA(kAgentWindowClass, nullptr);
  if (!window) return;
  PostMessageW(window, WM_CLOSE, 0, 0);
  KillTimer(nullptr, id);
}

HWND Window(const Control& control) { return reinterpret_cast<HWND>(control.Handle()); }

RECT ScreenRect(const Control& control) {
  RECT r{};
  GetWindowRect(Window(control), &r);
  return r;
}

// Where a label's text ends on the screen, in the font the label draws with.
LONG TextEnd(const Label& label) {
  HWND window = Window(label);
  wchar_t text[256] = {};
  int n = GetWindowTextW(window, text, 256);
  HDC dc = GetDC(window);
  HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(window, WM_GETFONT, 0, 0)));
  SIZE size{};
  GetTextExtentPoint32W(dc, text, n, &size);
  SelectObject(dc, old);
  ReleaseDC(window, dc);
  return ScreenRect(label).left + size.cx;
}

void Pump(DWORD ms) {
  DWORD end = GetTickCount() + ms;
  MSG msg;
  while (GetTickCount() < end) {
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(10);
  }
}

// The client area's pixels as a BMP file, to set beside the desktop
// edition's.
void SaveShot(HWND window, const std::string& path) {
  RECT r{};
  GetClientRect(window, &r);
  MapWindowPoints(window, nullptr, reinterpret_cast<POINT*>(&r), 2);
  int w = r.right - r.left, h = r.bottom - r.top;
  HDC screen = GetDC(nullptr);
  HDC dc = CreateCompatibleDC(screen);
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  info.bmiHeader.biWidth = w;
  info.bmiHeader.biHeight = h;  // bottom-up, as a BMP file keeps its rows
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 24;
  info.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  HBITMAP bitmap = CreateDIBSection(dc, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
  HGDIOBJ old = SelectObject(dc, bitmap);
  BitBlt(dc, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
  DWORD size = static_cast<DWORD>(((w * 3 + 3) & ~3) * h);
  BITMAPFILEHEADER file{};
  file.bfType = 0x4D42;  // "BM"
  file.bfOffBits = sizeof(BITMAPFILEHEADER) + sizeof(BITMAPINFOHEADER);
  file.bfSize = file.bfOffBits + size;
  if (FILE* out = std::fopen(path.c_str(), "wb")) {
    std::fwrite(&file, sizeof file, 1, out);
    std::fwrite(&info.bmiHeader, sizeof info.bmiHeader, 1, out);
    std::fwrite(bits, size, 1, out);
    std::fclose(out);
  }
  SelectObject(dc, old);
  DeleteObject(bitmap);
  DeleteDC(dc);
  ReleaseDC(nullptr, screen);
}

void CALLBACK GiveUp(HWND, UINT, UINT_PTR id, DWORD) {
  KillTimer(nullptr, id);
  PostQuitMessage(0);
}

class CentreProcess : public ::testing::Test {
 protected:
  void SetUp() override { LUM_NEED_WINDOWS(); }
  void TearDown() override { ResetCredentials(); }

  // Runs the process to its end; false when it had to be stopped.
  bool Run(const std::string& argument) {
    HeldHelpFile os(program_.path(), temp_.path() + "\\", argument);
    ScopedOs use(os);
    UINT_PTR close = SetTimer(nullptr, 0, 200, CloseWhenUp);
    UINT_PTR give_up = SetTimer(nullptr, 0, 20000, GiveUp);
    RunWindows();
    KillTimer(nullptr, close);
    bool ended = KillTimer(nullptr, give_up);
    tries_with_window_ = os.tries_with_window;
    tries_after_window_ = os.tries_after_window;
    return ended;
  }
  std::string HelpFile() const { return temp_.File("Temp.chm"); }

  test::TempFolder program_, temp_, appdata_folder_;
  test::AppDataOverride appdata_{appdata_folder_.path()};
  int tries_with_window_ = 0, tries_after_window_ = 0;
};

TEST_F(CentreProcess, ClosingRemovesTheHelpFileAlsoWhenItWasHeldAtTheClose) {
  ASSERT_TRUE(Run(""));
  EXPECT_FALSE(test::Exists(HelpFile()));
  // The start's and the close's tries were refused; one came after.
  EXPECT_GE(tries_with_window_, 2);
  EXPECT_EQ(tries_after_window_, 1);
}

TEST_F(CentreProcess, TheAgentLeavesTheHelpFileAlone) {
  ASSERT_TRUE(test::WriteBytes(HelpFile(), "a centre's help file"));
  ASSERT_TRUE(Run(" /agent"));
  EXPECT_TRUE(test::Exists(HelpFile()));
  EXPECT_EQ(tries_with_window_ + tries_after_window_, 0);
}

// Wine renders no page, so the settings page is opened as its link would open
// it. What a Windows user then sees: the page below the page's head, and each
// label's text ending before its edit in the window font.
TEST_F(CentreProcess, TheSettingsPageLeavesThePageHeadAndRoomBeforeEachEdit) {
  HeldHelpFile os(program_.path(), temp_.path() + "\\", "");
  ScopedOs use(os);
  CenterForm* form = BuildWindows();
  ASSERT_NE(form, nullptr);
  ShowSettingsPage(*form);
  Pump(500);
  RECT panel = ScreenRect(*form->ClientPanel), page = ScreenRect(*form->SettingsPage);
  EXPECT_EQ(page.left - panel.left, 0);
  EXPECT_EQ(page.top - panel.top, 64);
  const std::pair<const Label*, const Control*> rows[] = {
      {form->LoginLabel, form->LoginEdit},
      {form->PasswordLabel, form->PasswordEdit},
      {form->RouterModelLabel, form->RouterModelCombo},
      {form->RouterPasswordLabel, form->RouterPasswordEdit}};
  for (const auto& [label, edit] : rows) {
    EXPECT_LT(TextEnd(*label), ScreenRect(*edit).left) << label->Text();
  }
  if (const char* folder = std::getenv("LUM_ARTEFACTS")) {
    SaveShot(Window(*form->MainForm), std::string(folder) + "\\windows-settings-page.bmp");
  }
  delete form->MainForm;
}

}  // namespace
}  // namespace lum
