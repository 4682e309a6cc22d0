// Looks at the program's windows from outside, as a screen reader or a test
// robot would, and answers in UTF-8 lines on standard output:
//   probe window CLASS            the top-level window of that class: handle,
//                                 styles, rectangles, visibility, title,
//                                 then one line per child control
//   probe wait CLASS SECONDS      waits until such a window exists (exit 1 if not)
//   probe gone CLASS SECONDS      waits until no such window exists
//   probe close CLASS             posts a close request
//   probe answer TITLE yes|no     clicks a button of the message box titled TITLE
//   probe link PATH               target, arguments, working folder, description
//                                 of a shell link
//   probe workarea                the work area rectangle
//   probe hittest CLASS X Y       what the window reports under a screen point
#include <windows.h>
#include <objbase.h>
#include <shellapi.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

std::string Utf8(const wchar_t* text) {
  int n = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
  std::string out(n > 0 ? n - 1 : 0, '\0');
  if (n > 1) WideCharToMultiByte(CP_UTF8, 0, text, -1, out.data(), n, nullptr, nullptr);
  return out;
}

std::wstring Wide(const char* text, UINT code_page = CP_UTF8) {
  int n = MultiByteToWideChar(code_page, 0, text, -1, nullptr, 0);
  std::wstring out(n > 0 ? n - 1 : 0, L'\0');
  if (n > 1) MultiByteToWideChar(code_page, 0, text, -1, out.data(), n);
  return out;
}

std::string TextOf(HWND window) {
  wchar_t buffer[1024] = {};
  GetWindowTextW(window, buffer, 1024);
  return Utf8(buffer);
}

std::string ClassOf(HWND window) {
  wchar_t buffer[256] = {};
  GetClassNameW(window, buffer, 256);
  return Utf8(buffer);
}

BOOL CALLBACK PrintChild(HWND child, LPARAM) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(HWND_DESKTOP, GetParent(child), reinterpret_cast<POINT*>(&r), 2);
  std::printf("child class=%s visible=%d style=0x%08lx rect=%ld,%ld,%ld,%ld text=%s\n",
              ClassOf(child).c_str(), IsWindowVisible(child) ? 1 : 0,
              static_cast<unsigned long>(GetWindowLongW(child, GWL_STYLE)), r.left, r.top,
              r.right - r.left, r.bottom - r.top, TextOf(child).c_str());
  return TRUE;
}

int Window(const char* class_name) {
  HWND window = FindWindowW(Wide(class_name).c_str(), nullptr);
  if (!window) {
    std::printf("none\n");
    return 1;
  }
  RECT outer, client;
  GetWindowRect(window, &outer);
  GetClientRect(window, &client);
  std::printf("window=%p\nstyle=0x%08lx\nexstyle=0x%08lx\nvisible=%d\n", static_cast<void*>(window),
              static_cast<unsigned long>(GetWindowLongW(window, GWL_STYLE)),
              static_cast<unsigned long>(GetWindowLongW(window, GWL_EXSTYLE)),
              IsWindowVisible(window) ? 1 : 0);
  std::printf("rect=%ld,%ld,%ld,%ld\nclient=%ld,%ld\ntitle=%s\n", outer.left, outer.top,
              outer.right - outer.left, outer.bottom - outer.top, client.right, client.bottom,
              TextOf(window).c_str());
  HRGN region = CreateRectRgn(0, 0, 0, 0);
  std::printf("region=%d\n", GetWindowRgn(window, region) != ERROR ? 1 : 0);
  DeleteObject(region);
  EnumChildWindows(window, PrintChild, 0);
  return 0;
}

int Wait(const char* class_name, const char* seconds, bool present) {
  DWORD until = GetTickCount() + static_cast<DWORD>(std::atoi(seconds) * 1000);
  for (;;) {
    bool found = FindWindowW(Wide(class_name).c_str(), nullptr) != nullptr;
    if (found == present) return 0;
    if (static_cast<LONG>(GetTickCount() - until) > 0) return 1;
    Sleep(100);
  }
}

int Close(const char* class_name) {
  HWND window = FindWindowW(Wide(class_name).c_str(), nullptr);
  if (!window) return 1;
  PostMessageW(window, WM_CLOSE, 0, 0);
  return 0;
}

int Answer(const char* title, const char* button) {
  std::wstring wanted = Wide(title);
  for (int i = 0; i < 100; ++i) {
    HWND box = FindWindowW(L"#32770", wanted.c_str());
    if (box) {
      int id = std::string(button) == "yes" ? IDYES : IDNO;
      HWND b = GetDlgItem(box, id);
      std::printf("box=%s\n", TextOf(box).c_str());
      EnumChildWindows(box, PrintChild, 0);
      if (!b) return 1;
      PostMessageW(box, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(b));
      return 0;
    }
    Sleep(100);
  }
  std::printf("no box\n");
  return 1;
}

int Link(const char* path) {
  CoInitialize(nullptr);
  IShellLinkA* link = nullptr;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                              reinterpret_cast<void**>(&link)))) {
    return 2;
  }
  IPersistFile* file = nullptr;
  link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(&file));
  if (!file || FAILED(file->Load(Wide(path).c_str(), STGM_READ))) {
    std::printf("unreadable\n");
    return 1;
  }
  char buffer[MAX_PATH * 2] = {};
  link->GetPath(buffer, sizeof buffer, nullptr, SLGP_RAWPATH);
  std::printf("target=%s\n", Utf8(Wide(buffer, CP_ACP).c_str()).c_str());
  link->GetArguments(buffer, sizeof buffer);
  std::printf("arguments=%s\n", Utf8(Wide(buffer, CP_ACP).c_str()).c_str());
  link->GetWorkingDirectory(buffer, sizeof buffer);
  std::printf("folder=%s\n", Utf8(Wide(buffer, CP_ACP).c_str()).c_str());
  int show = 0;
  link->GetShowCmd(&show);
  std::printf("show=%d\n", show);
  file->Release();
  link->Release();
  CoUninitialize();
  return 0;
}

// What the window says lies under a screen point (HTNOWHERE 0, HTCAPTION 2,
// HTRIGHT 11, HTBOTTOMRIGHT 17 ...).
int HitTest(const char* class_name, const char* x, const char* y) {
  HWND window = FindWindowW(Wide(class_name).c_str(), nullptr);
  if (!window) return 1;
  LRESULT hit = SendMessageW(window, WM_NCHITTEST, 0, MAKELPARAM(std::atoi(x), std::atoi(y)));
  std::printf("hit=%ld\n", static_cast<long>(hit));
  return 0;
}

int WorkArea() {
  RECT r;
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &r, 0);
  std::printf("workarea=%ld,%ld,%ld,%ld\n", r.left, r.top, r.right, r.bottom);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // Arguments arrive in the ANSI code page; take them as UTF-8 from the
  // wide command line instead.
  int count = 0;
  wchar_t** wide = CommandLineToArgvW(GetCommandLineW(), &count);
  std::string args[8];
  for (int i = 0; i < count && i < 8; ++i) args[i] = Utf8(wide[i]);
  (void)argc;
  (void)argv;
  std::string command = count > 1 ? args[1] : "";
  int rc = 2;
  if (command == "window" && count > 2) rc = Window(args[2].c_str());
  else if (command == "wait" && count > 3) rc = Wait(args[2].c_str(), args[3].c_str(), true);
  else if (command == "gone" && count > 3) rc = Wait(args[2].c_str(), args[3].c_str(), false);
  else if (command == "close" && count > 2) rc = Close(args[2].c_str());
  else if (command == "answer" && count > 3) rc = Answer(args[2].c_str(), args[3].c_str());
  else if (command == "link" && count > 2) rc = Link(args[2].c_str());
  else if (command == "workarea") rc = WorkArea();
  else if (command == "hittest" && count > 4) rc = HitTest(args[2].c_str(), args[3].c_str(), args[4].c_str());
  else std::fprintf(stderr, "usage: probe window|wait|gone|close|answer|link|workarea ...\n");
  std::fflush(stdout);
  return rc;
}
