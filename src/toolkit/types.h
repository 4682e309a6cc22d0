// Small value types shared by the window objects.
#pragma once

#include <cstdint>
#include <string>

namespace lum {

struct Point {
  int x = 0;
  int y = 0;
  bool operator==(const Point&) const = default;
};

struct Size {
  int width = 0;
  int height = 0;
  bool operator==(const Size&) const = default;
};

// Edges, right and bottom exclusive.
struct Rect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
  int Width() const { return right - left; }
  int Height() const { return bottom - top; }
  bool operator==(const Rect&) const = default;
};

// A top-level window of the system, ours or another process's; 0 is none.
using WindowHandle = std::uintptr_t;

// Either a system colour by its index or an RGB value in the system's byte
// order (red lowest). System colours are resolved when drawn, so they follow
// the user's scheme.
using Color = std::uint32_t;
constexpr Color kSysColorFlag = 0x80000000u;
constexpr Color SysColor(int index) { return kSysColorFlag | static_cast<Color>(index); }
constexpr Color Rgb(int r, int g, int b) {
  return static_cast<Color>(r) | (static_cast<Color>(g) << 8) | (static_cast<Color>(b) << 16);
}
constexpr bool IsSysColor(Color c) { return (c & kSysColorFlag) != 0; }
constexpr int SysColorIndex(Color c) { return static_cast<int>(c & 0xFF); }

// System colour indices the program uses.
constexpr int kColorWindow = 5;
constexpr int kColorWindowText = 8;
constexpr int kColorBtnFace = 15;
constexpr int kColor3DDkShadow = 21;
constexpr int kColorInfoText = 23;
constexpr int kColorInfoBk = 24;

// Face and character height in pixels (the negative height of a logical font).
struct Font {
  std::string face = "MS Shell Dlg 2";
  int height = 11;
  bool bold = false;
  bool operator==(const Font&) const = default;
};

enum class Cursor { Default, Hand };

}  // namespace lum
