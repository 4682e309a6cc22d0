#include "net/text_ops.h"

#include <cstring>

namespace lum {

namespace {

// 0-based index of the first occurrence, or npos; never matches an empty
// marker or an empty text.
size_t Find(std::string_view marker, std::string_view text) {
  if (marker.empty() || text.empty()) return std::string_view::npos;
  return text.find(marker);
}

}  // namespace

std::string TextFrom(std::string_view marker, std::string_view text) {
  size_t at = Find(marker, text);
  if (at == std::string_view::npos) return std::string(text);
  return std::string(text.substr(at));
}

std::string TextAfter(std::string_view marker, std::string_view text) {
  // In 1-based terms: start at p + m, where p is 0 for a missing marker, and
  // a start below 1 counts as 1.
  size_t at = Find(marker, text);
  size_t p = (at == std::string_view::npos) ? 0 : at + 1;
  size_t start = p + marker.size();
  if (start < 1) start = 1;
  if (start > text.size()) return std::string();
  return std::string(text.substr(start - 1));
}

std::string TextBefore(std::string_view marker, std::string_view text) {
  size_t at = Find(marker, text);
  if (at == std::string_view::npos) return std::string();
  return std::string(text.substr(0, at));
}

std::optional<Replacement> Replacement::Checked(std::string_view old_text,
                                                std::string_view new_text) {
  if (!ReplacementEnds(old_text, new_text)) return std::nullopt;
  return Replacement(Accepted{}, old_text, new_text);
}

std::string ReplaceAll(const Replacement& pair, std::string_view text) {
  const std::string_view old_text = pair.old_text();
  const std::string_view new_text = pair.new_text();
  if (old_text.empty() || text.find(old_text) == std::string_view::npos) {
    return std::string(text);
  }
  const size_t m = old_text.size();
  const char last = old_text.back();

  // One pass is exact when the old text is a single character: the pair's
  // rule keeps it out of the replacement, so no replacement can complete a
  // new occurrence. That is the common case of line breaks removed from a
  // page.
  if (m == 1 && new_text.empty()) {
    std::string out(text.size(), '\0');
    char* dst = out.data();
    for (char c : text) {
      *dst = c;
      dst += c != last;  // branch-free: line breaks are frequent in pages
    }
    out.resize(static_cast<size_t>(dst - out.data()));
    return out;
  }
  if (m == 1) {
    std::string out;
    out.reserve(text.size());
    size_t from = 0;
    for (size_t at; (at = text.find(old_text, from)) != std::string_view::npos; from = at + m) {
      out.append(text, from, at - from);
      out.append(new_text);
    }
    out.append(text, from);
    return out;
  }

  // The text is read one character at a time onto `out`, which never holds
  // an occurrence. Occurrences all have the same length, so the one that ends
  // first is the one that starts first: the one the search-again rule would
  // replace. Its replacement is fed back in before the rest of the input, as
  // it may complete a new occurrence together with what precedes it. The
  // pair's rule allows at most text.size() replacements, so this ends.
  std::string out;
  out.reserve(text.size());
  std::string pending;  // replacement characters still to be read, last first
  size_t next = 0;
  for (;;) {
    char c;
    if (!pending.empty()) {
      c = pending.back();
      pending.pop_back();
    } else if (next < text.size()) {
      // Fast path: copy up to the next character that could end a match.
      const char* begin = text.data() + next;
      const void* hit = std::memchr(begin, static_cast<unsigned char>(last), text.size() - next);
      size_t run = hit ? static_cast<size_t>(static_cast<const char*>(hit) - begin)
                       : text.size() - next;
      out.append(begin, run);
      next += run;
      if (next == text.size()) break;
      c = text[next++];
    } else {
      break;
    }
    out.push_back(c);
    if (c == last && out.size() >= m &&
        std::memcmp(out.data() + out.size() - m, old_text.data(), m) == 0) {
      out.resize(out.size() - m);
      pending.append(new_text.rbegin(), new_text.rend());
    }
  }
  return out;
}

std::string CutWithEllipsis(std::string_view text, size_t n) {
  if (text.size() <= n) return std::string(text);
  std::string out(text.substr(0, n));
  out.push_back('\x85');  // the ellipsis in Windows-1251
  return out;
}

}  // namespace lum
