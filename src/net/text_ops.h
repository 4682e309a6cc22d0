// Marker-based cutting of fetched pages. Every search finds the first
// occurrence, compares bytes case-sensitively; an empty marker or an empty
// text never matches. The results for a missing marker are part of what the
// page parsers rely on, so they are kept exactly.
#pragma once

#include <optional>
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

// Whether searching again from the start ends for every text. It does not
// for every pair: "ab" -> "bbaa" never ends on "abb", and "ab" -> "bba"
// doubles the text for each "a". Two kinds of pair are safe, and together
// they cover what the program replaces: a replacement shorter than the old
// text (each step shortens the text), or one that shares no character with
// it (no step can make an occurrence). Either way at most text.size()
// replacements are made, and an empty old text changes nothing.
constexpr bool ReplacementEnds(std::string_view old_text, std::string_view new_text) {
  return old_text.empty() || new_text.size() < old_text.size() ||
         new_text.find_first_of(old_text) == std::string_view::npos;
}

// Never defined: reaching it while a pair is checked at compile time stops
// the build, naming the rule the pair breaks.
void ReplacementMayNotEnd();

// An (old, new) pair that ReplacementEnds accepts; ReplaceAll takes no other.
// It refers to the texts it was made from.
class Replacement {
 public:
  // A pair written in the code, checked by the compiler:
  //   ReplaceAll({"\n", ""}, page)
  consteval Replacement(std::string_view old_text, std::string_view new_text)
      : old_(old_text), new_(new_text) {
    if (!ReplacementEnds(old_text, new_text)) ReplacementMayNotEnd();
  }

  // A pair known only at run time; none when the rule might not end.
  static std::optional<Replacement> Checked(std::string_view old_text, std::string_view new_text);

  std::string_view old_text() const { return old_; }
  std::string_view new_text() const { return new_; }

 private:
  struct Accepted {};
  constexpr Replacement(Accepted, std::string_view old_text, std::string_view new_text)
      : old_(old_text), new_(new_text) {}

  std::string_view old_;
  std::string_view new_;
};

// Replaces the first occurrence of the old text and searches again from the
// start, until none is left. Runs in time close to linear in the text.
std::string ReplaceAll(const Replacement& pair, std::string_view text);

// The first n characters followed by the ellipsis character when the text is
// longer than n; otherwise the text unchanged.
std::string CutWithEllipsis(std::string_view text, size_t n);

}  // namespace lum
