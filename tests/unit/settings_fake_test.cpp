// The settings helpers against a scripted system: what they ask of it and how
// they read its answers, failures included.
#include <gtest/gtest.h>

#include <map>
#include <vector>

#include "platform/os.h"
#include "settings/credentials.h"
#include "settings/settings_file.h"

namespace lum {
namespace {

class ScriptedOs : public ForwardingOs {
 public:
  ScriptedOs() : ForwardingOs(NativeOs()) {}

  RegValue QueryRegistryValue(RegRoot root, const std::string& subkey,
                              const std::string& name) override {
    queries.push_back({root, subkey, name});
    auto it = registry.find(name);
    return it == registry.end() ? RegValue{} : it->second;
  }
  PathKind ProbePath(const std::string& path) override {
    probed.push_back(path);
    return path_kind;
  }
  ProfileRead GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def, uint32_t size,
                               const std::string& file) override {
    reads.push_back({section, key, def, file});
    read_size = size;
    return profile_answer ? *profile_answer : ProfileRead{static_cast<uint32_t>(def.size()), def};
  }
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) override {
    writes.push_back({section, key, value, file});
    return !fail_writes;
  }

  struct Query {
    RegRoot root;
    std::string subkey, name;
  };
  struct Call {
    std::string section, key, value, file;
  };
  std::map<std::string, RegValue> registry;
  std::vector<Query> queries;
  std::vector<std::string> probed;
  std::vector<Call> reads, writes;
  PathKind path_kind = PathKind::File;
  std::optional<ProfileRead> profile_answer;
  uint32_t read_size = 0;
  bool fail_writes = false;
};

RegValue Text(const std::string& bytes, uint32_t type = kRegSz) { return RegValue{true, type, bytes}; }

class SettingsAgainstScriptedOs : public ::testing::Test {
 protected:
  ScriptedOs os_;
  ScopedOs use_{os_};
};

TEST_F(SettingsAgainstScriptedOs, ShellFoldersAreReadFromTheirKeys) {
  os_.registry["AppData"] = Text(std::string("C:\\Users\\u\\AppData\\Roaming\0junk", 31));
  os_.registry["Common Desktop"] = Text("C:\\Users\\Public\\Desktop");
  os_.registry["ProgramFilesDir"] = Text("C:\\Program Files");

  EXPECT_EQ(SettingsFilePath(), "C:\\Users\\u\\AppData\\Roaming\\Corvalin.ini");
  EXPECT_EQ(SpecialFolderPath("Desktop", FolderScope::Common), "C:\\Users\\Public\\Desktop");
  EXPECT_EQ(ProgramFilesDir(), "C:\\Program Files");

  ASSERT_EQ(os_.queries.size(), 3u);
  EXPECT_EQ(os_.queries[0].root, RegRoot::CurrentUser);
  EXPECT_EQ(os_.queries[0].subkey,
            "Software\\MicroSoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders");
  EXPECT_EQ(os_.queries[1].root, RegRoot::LocalMachine);
  EXPECT_EQ(os_.queries[1].name, "Common Desktop");
  EXPECT_EQ(os_.queries[2].subkey, "Software\\Microsoft\\Windows\\CurrentVersion");
}

TEST_F(SettingsAgainstScriptedOs, ExpandableOrMissingValuesCountAsAbsent) {
  os_.registry["AppData"] = Text("%USERPROFILE%\\AppData", kRegExpandSz);
  EXPECT_EQ(SpecialFolderPath("AppData", FolderScope::PerUser), "");
  EXPECT_EQ(SettingsFilePath(), "\\Corvalin.ini");
  os_.registry.clear();
  EXPECT_EQ(ProgramFilesDir(), "");
  // Nothing is cached: a value that appears is seen by the next call.
  os_.registry["AppData"] = Text("D:\\A");
  EXPECT_EQ(SettingsFilePath(), "D:\\A\\Corvalin.ini");
}

TEST_F(SettingsAgainstScriptedOs, ReadingAMissingFileNeverCallsTheProfileFunctions) {
  os_.path_kind = PathKind::None;
  EXPECT_EQ(ReadIniValue("C:\\x.ini", "Settings", "auth", "dflt"), "dflt");
  os_.path_kind = PathKind::Folder;
  EXPECT_EQ(ReadIniValue("C:\\x.ini", "Settings", "auth", "dflt"), "dflt");
  EXPECT_TRUE(os_.reads.empty());
}

TEST_F(SettingsAgainstScriptedOs, ReadingUsesA4096ByteBufferAndTheCountDecides) {
  os_.profile_answer = ProfileRead{0, "ignored"};
  EXPECT_EQ(ReadIniValue("f.ini", "Settings", "lastlink", "dflt"), "");
  EXPECT_EQ(os_.read_size, 4096u);
  ASSERT_EQ(os_.reads.size(), 1u);
  EXPECT_EQ(os_.reads[0].value, "dflt");  // the default passed on

  os_.profile_answer = ProfileRead{4095, std::string(5000, 'v')};
  EXPECT_EQ(ReadIniValue("f.ini", "Settings", "k", "").size(), 4095u);

  os_.profile_answer = ProfileRead{5, std::string("ab\0cd", 5)};
  EXPECT_EQ(ReadIniValue("f.ini", "Settings", "k", ""), "ab");
}

TEST_F(SettingsAgainstScriptedOs, KeysAreEscapedAlikeForReadingAndWriting) {
  ReadIniValue("f.ini", "S", "", "");
  ReadIniValue("f.ini", "S", "a=b", "");
  WriteIniValue("f.ini", "S", "a=b=c", "v");
  WriteIniValue("f.ini", "S", "100%", "");
  EXPECT_EQ(os_.reads[0].key, "$empty");
  EXPECT_EQ(os_.reads[1].key, "a%3Db");
  ASSERT_EQ(os_.writes.size(), 2u);
  EXPECT_EQ(os_.writes[0].key, "a%3Db%3Dc");
  EXPECT_EQ(os_.writes[1].key, "100%");
  EXPECT_EQ(os_.writes[1].value, "");
}

TEST_F(SettingsAgainstScriptedOs, LineBreaksNeverReachTheFile) {
  WriteIniValue("f.ini", "Settings", "lastlink", "http://x\r\nauth=stolen");
  WriteIniValue("f.ini", "Settings", "lastlink", "http://x\nauth=");
  WriteIniValue("f.ini", "Settings\r\n[Other]", "lastlink", "v");
  WriteIniValue("f.ini", "Settings", "a\rb", "v");
  EXPECT_TRUE(os_.writes.empty());
}

TEST_F(SettingsAgainstScriptedOs, AFailedSaveLeavesWhatTheFileStillHolds) {
  os_.registry["AppData"] = Text("C:\\A");
  os_.fail_writes = true;
  os_.profile_answer = ProfileRead{9, ScrambleRecord("1|r|u|p|")};
  ResetCredentials();
  StoreCredentials(4, "rr", "uu", "pp");
  ASSERT_EQ(os_.writes.size(), 1u);
  EXPECT_EQ(os_.writes[0].file, "C:\\A\\Corvalin.ini");
  EXPECT_EQ(RouterModelIndex, 1);
  EXPECT_EQ(Login, "u");
  ResetCredentials();
}

}  // namespace
}  // namespace lum
