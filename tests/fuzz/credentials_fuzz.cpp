// The credentials record: the scramble, NthField and ParseInteger on any
// text, and typed fields saved and loaded back through a settings file that
// follows the profile rules of the posix backend and holds other entries.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "fuzz_support.h"
#include "platform/os.h"
#include "platform/posix/profile_text.h"
#include "settings/credentials.h"
#include "settings/settings_file.h"

namespace {

using lum::fuzz::Contains;
using lum::fuzz::Without;

// One settings file in memory, read and written by the profile rules.
class SettingsInMemory : public lum::ForwardingOs {
 public:
  SettingsInMemory() : ForwardingOs(lum::NativeOs()) {}
  lum::RegValue QueryRegistryValue(lum::RegRoot, const std::string&, const std::string& name) override {
    if (name != "AppData") return {};
    return {true, lum::kRegSz, "C:\\Users\\u\\AppData"};
  }
  lum::PathKind ProbePath(const std::string& path) override {
    return path == kFile && exists ? lum::PathKind::File : lum::PathKind::None;
  }
  lum::ProfileRead GetProfileString(const std::string& section, const std::string& key,
                                    const std::string& def, uint32_t size,
                                    const std::string& file) override {
    std::optional<std::string> found;
    if (file == kFile && exists) found = lum::posix::ProfileLookup(content, section, key);
    std::string text = found ? *found : def;
    if (text.size() > size - 1) text.resize(size - 1);
    return {static_cast<uint32_t>(text.size()), text};
  }
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) override {
    FUZZ_CHECK(file == kFile);
    content = lum::posix::ProfileUpdate(exists ? content : "", section, key, value);
    exists = true;
    return true;
  }

  static constexpr char kFile[] = "C:\\Users\\u\\AppData\\Corvalin.ini";
  bool exists = false;
  std::string content;
};

void CheckScramble(const std::string& text) {
  const std::string scrambled = lum::ScrambleRecord(text);
  FUZZ_CHECK(scrambled.size() == std::min<size_t>(text.size(), 255));
  FUZZ_CHECK(lum::ScrambleRecord(scrambled) == text.substr(0, 255));
}

void CheckFields(FuzzedDataProvider& in) {
  const char separator = in.ConsumeIntegral<char>();
  std::vector<std::string> fields(in.ConsumeIntegralInRange<size_t>(0, 8));
  std::string text;
  for (std::string& field : fields) {
    field = Without(in.ConsumeRandomLengthString(20), std::string(1, separator));
    text += field + separator;
  }
  for (size_t i = 0; i < fields.size() + 2; ++i) {
    FUZZ_CHECK(lum::NthField(text, separator, static_cast<int>(i)) ==
               (i < fields.size() ? fields[i] : ""));
  }
  // Any text: a field is a piece of it and holds no separator.
  const std::string any = in.ConsumeRandomLengthString(200);
  const std::string field = lum::NthField(any, separator, in.ConsumeIntegralInRange<int>(0, 300));
  FUZZ_CHECK(!Contains(field, std::string(1, separator)));
  FUZZ_CHECK(Contains(any, field));
}

void CheckParseInteger(FuzzedDataProvider& in) {
  const std::string digits = in.ConsumeRandomLengthString(18);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) {
    // Whatever the text, a sign in front negates it, with 32-bit wrapping.
    if (digits.empty() || (digits[0] != '-' && digits[0] != '+')) {
      uint32_t plain = static_cast<uint32_t>(lum::ParseInteger(digits));
      FUZZ_CHECK(static_cast<uint32_t>(lum::ParseInteger("-" + digits)) == 0u - plain);
      FUZZ_CHECK(static_cast<uint32_t>(lum::ParseInteger("+" + digits)) == plain);
    }
    return;
  }
  const std::string tail = in.ConsumeRemainingBytesAsString();
  const uint32_t expected = static_cast<uint32_t>(std::stoull(digits));
  // What follows the first non-digit is not read.
  if (tail.empty() || tail[0] < '0' || tail[0] > '9') {
    FUZZ_CHECK(static_cast<uint32_t>(lum::ParseInteger(digits + tail)) == expected);
  }
}

// What the settings page may hold, saved and loaded back.
void CheckSaveAndLoad(FuzzedDataProvider& in) {
  SettingsInMemory os;
  lum::ScopedOs use(os);
  const int32_t model = in.ConsumeIntegral<int32_t>();
  const std::string router_password = in.ConsumeRandomLengthString(100);
  const std::string login = in.ConsumeRandomLengthString(100);
  const std::string password = in.ConsumeRandomLengthString(100);
  // The file may hold anything else already, "lastlink" and an old record too.
  os.exists = in.ConsumeBool();
  os.content = in.ConsumeRemainingBytesAsString();
  auto last_link = [&os] {
    return os.exists ? lum::posix::ProfileLookup(os.content, "Settings", "lastlink") : std::nullopt;
  };
  const std::optional<std::string> other = last_link();

  lum::ResetCredentials();
  lum::StoreCredentials(model, router_password, login, password);
  const int32_t loaded_model = lum::RouterModelIndex;
  const std::string loaded[3] = {lum::RouterPassword, lum::Login, lum::Password};
  lum::ResetCredentials();
  lum::LoadCredentials();
  // The save loads what it stored; a fresh start loads the same.
  FUZZ_CHECK(lum::RouterModelIndex == loaded_model);
  FUZZ_CHECK(lum::RouterPassword == loaded[0] && lum::Login == loaded[1] && lum::Password == loaded[2]);

  // Control characters are dropped; a field is whole or, when the 255-byte
  // cut takes its closing "|", empty.
  const std::string typed[3] = {router_password, login, password};
  std::string record = std::to_string(model) + "|";
  bool separators = false;
  for (int i = 0; i < 3; ++i) {
    std::string field;
    for (char c : typed[i]) {
      if (static_cast<unsigned char>(c) >= 32) field.push_back(c);
    }
    separators = separators || Contains(field, "|");
    record += field + "|";
    if (!separators) FUZZ_CHECK(loaded[i] == (record.size() <= 255 ? field : ""));
  }
  FUZZ_CHECK(loaded_model == model);
  FUZZ_CHECK(last_link() == other);
  lum::ResetCredentials();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzedDataProvider in(data + 1, size - 1);
  switch (data[0] % 4) {
    case 0: CheckScramble(in.ConsumeRemainingBytesAsString()); break;
    case 1: CheckFields(in); break;
    case 2: CheckParseInteger(in); break;
    default: CheckSaveAndLoad(in); break;
  }
  return 0;
}
