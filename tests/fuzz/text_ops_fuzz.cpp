// The text operations on any marker and text: the missing-marker results the
// page parsers rely on, and ReplaceAll against its rule applied literally
// (replace the first occurrence, search again from the start) on short texts.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_support.h"
#include "net/text_ops.h"

namespace {

using lum::fuzz::Contains;
constexpr size_t npos = std::string::npos;

// The rule as stated, counting its replacements; stops after `limit` of them.
std::string Literal(const std::string& old_text, const std::string& new_text, std::string text,
                    size_t limit, size_t* steps) {
  *steps = 0;
  if (old_text.empty()) return text;
  for (size_t at; *steps <= limit && (at = text.find(old_text)) != npos; ++*steps) {
    text.replace(at, old_text.size(), new_text);
  }
  return text;
}

void CheckMarkers(const std::string& marker, const std::string& text) {
  const size_t at = marker.empty() ? npos : text.find(marker);
  const std::string from = lum::TextFrom(marker, text);
  const std::string after = lum::TextAfter(marker, text);
  const std::string before = lum::TextBefore(marker, text);
  if (at == npos) {
    FUZZ_CHECK(from == text);
    FUZZ_CHECK(before.empty());
    // The text less its first m - 1 characters (all of it for m = 0).
    size_t drop = marker.empty() ? 0 : marker.size() - 1;
    FUZZ_CHECK(after == (drop < text.size() ? text.substr(drop) : std::string()));
  } else {
    FUZZ_CHECK(before + from == text);
    FUZZ_CHECK(from == marker + after);
    // The first occurrence: none starts inside what comes before it.
    FUZZ_CHECK(!Contains(before + marker.substr(0, marker.size() - 1), marker));
  }
}

void CheckCut(const std::string& text, size_t n) {
  std::string cut = lum::CutWithEllipsis(text, n);
  if (text.size() <= n) {
    FUZZ_CHECK(cut == text);
  } else {
    FUZZ_CHECK(cut == text.substr(0, n) + '\x85');
  }
}

void CheckReplaceAll(const std::string& old_text, const std::string& new_text,
                     const std::string& text) {
  std::optional<lum::Replacement> pair = lum::Replacement::Checked(old_text, new_text);
  if (!pair) {
    // Refused only where a step may lengthen the text and make an occurrence.
    FUZZ_CHECK(new_text.size() >= old_text.size() && !old_text.empty());
    FUZZ_CHECK(new_text.find_first_of(old_text) != npos);
    return;
  }
  const std::string fast = lum::ReplaceAll(*pair, text);
  FUZZ_CHECK(old_text.empty() ? fast == text : !Contains(fast, old_text));
  if (text.size() > 512) return;
  size_t steps = 0;
  const std::string literal = Literal(old_text, new_text, text, text.size(), &steps);
  // What the pair's rule promises: at most text.size() replacements.
  FUZZ_CHECK(steps <= text.size());
  FUZZ_CHECK(fast == literal);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string marker = in.ConsumeRandomLengthString(16);
  const std::string new_text = in.ConsumeRandomLengthString(16);
  const size_t n = in.ConsumeIntegralInRange<size_t>(0, 64);
  const std::string text = in.ConsumeRemainingBytesAsString();
  CheckMarkers(marker, text);
  CheckCut(text, n);
  CheckReplaceAll(marker, new_text, text);
  return 0;
}
