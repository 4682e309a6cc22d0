// The posix profile reader and writer on any file text: a value written
// (without CR or LF) reads back as written, by the profile rules (blanks
// around it dropped, one pair of outer quotes removed), every other entry
// reads as before, and every other line of the file stays as it was.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <vector>

#include "fuzz_support.h"
#include "platform/posix/profile_text.h"

namespace {

using lum::fuzz::Contains;
using lum::fuzz::Without;
using lum::posix::ProfileLookup;
using lum::posix::ProfileUpdate;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\x1a'; }

std::string Trim(std::string text) {
  while (!text.empty() && IsBlank(text.back())) text.pop_back();
  size_t begin = 0;
  while (begin < text.size() && IsBlank(text[begin])) ++begin;
  return text.substr(begin);
}

// What reading gives for a value as written.
std::string AsRead(const std::string& value) {
  std::string text = Trim(value);
  if (text.size() > 1 && (text.front() == '"' || text.front() == '\'') && text.back() == text.front()) {
    text = text.substr(1, text.size() - 2);
  }
  return text;
}

// Lines without their line breaks. CRs at the end count as part of the
// break, also on a last line that the writer ends with a line break.
std::vector<std::string> Lines(const std::string& content) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (begin < content.size()) {
    size_t end = content.find('\n', begin);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(begin, end - begin);
    while (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
    begin = end + 1;
  }
  return lines;
}

// A section or key as the program's callers give them: the escaped key holds
// no "=", neither holds a line break, and a name cannot be read back with
// blanks around it or a key that opens like a section.
bool UsableName(const std::string& name, bool key) {
  if (name.empty() || Contains(name, std::string(1, '\0'))) return false;
  if (name.find_first_of("\r\n") != std::string::npos) return false;
  if (IsBlank(name.front()) || IsBlank(name.back())) return false;
  if (key && (Contains(name, "=") || name.front() == '[')) return false;
  if (!key && Contains(name, "]")) return false;
  return true;
}

// The program's own names, in other letter cases too, or any name.
std::string Name(FuzzedDataProvider& in, bool key) {
  static const char* const kSections[] = {"Settings", "settings", "SETTINGS", "Other"};
  static const char* const kKeys[] = {"auth", "lastlink", "AUTH", "LastLink"};
  if (in.ConsumeBool()) return (key ? kKeys : kSections)[in.ConsumeIntegralInRange<int>(0, 3)];
  return in.ConsumeRandomLengthString(12);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const std::string section = Name(in, false);
  const std::string key = Name(in, true);
  const std::string value = Without(in.ConsumeRandomLengthString(300), std::string("\r\n\0", 3));
  // Other names to look up before and after.
  const std::string other_section = Name(in, false);
  const std::string other_key = Name(in, true);
  const std::string content = in.ConsumeRemainingBytesAsString();
  if (!UsableName(section, false) || !UsableName(key, true)) return 0;

  const std::string updated = ProfileUpdate(content, section, key, value);
  FUZZ_CHECK(ProfileLookup(updated, section, key) == AsRead(value));

  // Another entry (names compare without regard to letter case) reads as it
  // did; so does the entry's own key in another section.
  auto lower = [](const std::string& s) { return lum::posix::LowerCase1251(s); };
  if (lower(other_section) != lower(section) || lower(other_key) != lower(key)) {
    FUZZ_CHECK(ProfileLookup(updated, other_section, other_key) ==
               ProfileLookup(content, other_section, other_key));
  }

  // The file's lines stay, in their order: one is replaced, or an entry is
  // added within the file, or a section and its entry at the end.
  const std::vector<std::string> before = Lines(content);
  const std::vector<std::string> after = Lines(updated);
  size_t k = 0;
  while (k < before.size() && k < after.size() && before[k] == after[k]) ++k;
  auto same_from = [&](size_t from_before, size_t from_after) {
    return before.size() - from_before == after.size() - from_after &&
           std::equal(before.begin() + from_before, before.end(), after.begin() + from_after);
  };
  if (after.size() == before.size()) {
    FUZZ_CHECK(k == before.size() || same_from(k + 1, k + 1));
  } else if (after.size() == before.size() + 1) {
    FUZZ_CHECK(same_from(k, k + 1));
  } else {
    FUZZ_CHECK(after.size() == before.size() + 2 && k == before.size());
  }
  return 0;
}
