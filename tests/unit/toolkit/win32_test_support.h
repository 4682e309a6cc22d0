// Shared by the tests that make real windows under Wine.
#pragma once

#include <windows.h>

namespace lum::test {

// Wine makes no window without a display; such tests then skip.
inline bool CanMakeWindows() {
  static int can = -1;
  if (can < 0) {
    HWND probe = CreateWindowExW(0, L"STATIC", L"", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                                 nullptr, nullptr);
    can = probe != nullptr;
    if (probe) DestroyWindow(probe);
  }
  return can == 1;
}

}  // namespace lum::test
