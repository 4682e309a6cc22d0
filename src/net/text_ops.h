// Marker-based cutting of fetched pages. Every search finds the first
// occurrence, compares bytes case-sensitively; an empty marker or an empty
// text never matches. The results for a missing marker are part of what the
// page parsers rely on, so they are kept exactly.
#pragma once

#include <string>
#include <string_view>

namespace lum {

// The text from the marker (included) to the end; the whole text when the
// marker does not occur.
std::string TextFrom(std::string_view marker, std::string_view text);

// The text after the marker. With a missing marker of length m the result is
// the text less its first m - 1 characters.
std::string TextAfter(std::string_view marker, std::string_view text);

// The text before the marker; empty when it is missing or stands first.
std::string TextBefore(std::string_view marker, std::string_view text);

// Replaces the first occurrence of `old_text` and searches again from the
// start, until none is left. Runs in time close to linear in the text.
std::string ReplaceAll(std::string_view old_text, std::string_view new_text,
                       std::string_view text);

// The first n characters followed by the ellipsis character when the text is
// longer than n; otherwise the text unchanged.
std::string CutWithEllipsis(std::string_view text, size_t n);

}  // namespace lum
