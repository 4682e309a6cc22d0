// Conversions between the program's Windows-1251 text and Unicode.
#pragma once

#include <string>
#include <string_view>

namespace lum {

// The Unicode code point of a Windows-1251 byte (0xFFFD for the one
// unassigned byte).
char32_t Cp1251ToUnicode(unsigned char byte);

// The Windows-1251 byte for a code point, or '?' when it has none.
char UnicodeTo1251(char32_t code);

// Decodes UTF-8 of sequences up to three bytes into Windows-1251; "" when the
// text is empty or not valid UTF-8. A leading byte-order mark is dropped.
std::string Utf8To1251(std::string_view text);

// Windows-1251 to UTF-8, for output meant for people and tools.
std::string Cp1251ToUtf8(std::string_view text);

}  // namespace lum
