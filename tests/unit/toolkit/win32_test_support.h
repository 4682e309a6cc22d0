// Shared by the tests that make real windows under Wine.
#pragma once

#include <windows.h>

#include <cstdlib>

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

// Without a display the window tests skip, unless the test run promised one
// (LUM_DISPLAY_REQUIRED): then a display that is gone fails them instead.
#define LUM_NEED_WINDOWS()                                                        \
  do {                                                                            \
    if (!::lum::test::CanMakeWindows()) {                                         \
      if (std::getenv("LUM_DISPLAY_REQUIRED"))                                    \
        FAIL() << "no windows can be made, though the run has a display";        \
      GTEST_SKIP() << "no display for windows (Wine needs DISPLAY)";              \
    }                                                                             \
  } while (0)

}  // namespace lum::test
