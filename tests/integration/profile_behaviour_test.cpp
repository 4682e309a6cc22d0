// The settings file and folder rules against the real backend of the build:
// natively the Linux one, under Wine the Windows one. The same expectations
// for both are what shows that they agree.
#include <gtest/gtest.h>

#include "platform/os.h"
#include "settings/settings_file.h"
#include "test_env.h"

namespace lum {
namespace {

class SettingsFile : public ::testing::Test {
 protected:
  std::string Read(const std::string& key, const std::string& def = "<default>") {
    return ReadIniValue(file_, "Settings", key, def);
  }
  void Write(const std::string& key, const std::string& value) {
    WriteIniValue(file_, "Settings", key, value);
  }
  // The file's lines without line ends, for checks of what is on disk.
  std::vector<std::string> Lines() {
    std::vector<std::string> lines;
    std::string bytes = test::ReadBytes(file_).value_or("");
    size_t begin = 0;
    while (begin < bytes.size()) {
      size_t end = bytes.find('\n', begin);
      if (end == std::string::npos) end = bytes.size();
      std::string line = bytes.substr(begin, end - begin);
      if (!line.empty() && line.back() == '\r') line.pop_back();
      lines.push_back(line);
      begin = end + 1;
    }
    return lines;
  }
  bool HasLine(const std::string& line) {
    for (const std::string& l : Lines()) {
      if (l == line) return true;
    }
    return false;
  }

  test::TempFolder folder_;
  std::string file_ = folder_.File("Corvalin.ini");
};

TEST_F(SettingsFile, AMissingFileGivesTheDefaultAndIsNotCreated) {
  EXPECT_EQ(Read("auth", ""), "");
  EXPECT_EQ(Read("auth", "dflt"), "dflt");
  EXPECT_FALSE(test::Exists(file_));
}

TEST_F(SettingsFile, MissingKeyOrSectionGivesTheDefault) {
  Write("auth", "x");
  EXPECT_EQ(Read("lastlink", "dflt"), "dflt");
  EXPECT_EQ(ReadIniValue(file_, "Other", "auth", "dflt"), "dflt");
}

TEST_F(SettingsFile, AnEmptyEntryReadsEmptyWhateverTheDefault) {
  ASSERT_TRUE(test::WriteBytes(file_, "[Settings]\r\nlastlink=\r\n"));
  EXPECT_EQ(Read("lastlink", "http://default"), "");
}

TEST_F(SettingsFile, WritingEmptyKeepsTheEntry) {
  Write("lastlink", "http://a/1");
  Write("lastlink", "");
  EXPECT_EQ(Read("lastlink", "dflt"), "");
  EXPECT_TRUE(HasLine("lastlink="));
}

TEST_F(SettingsFile, KeysAreEscapedOnDisk) {
  Write("", "empty key");
  Write("a=b", "1");
  EXPECT_TRUE(HasLine("$empty=empty key"));
  EXPECT_TRUE(HasLine("a%3Db=1"));
  // Both spellings address the same entry.
  Write("a%3Db", "2");
  EXPECT_EQ(Read("a=b"), "2");
  EXPECT_EQ(Read(""), "empty key");
}

TEST_F(SettingsFile, ValuesComeBackAsWritten) {
  Write("eq", "a=b=c");
  Write("ru", "Центр Лумора ёЁ №");
  Write("link", "http://news.example/item?id=1&x=%20");
  EXPECT_EQ(Read("eq"), "a=b=c");
  EXPECT_EQ(Read("ru"), "Центр Лумора ёЁ №");
  EXPECT_EQ(Read("link"), "http://news.example/item?id=1&x=%20");
}

TEST_F(SettingsFile, LongValuesAreCutTo4095OnReading) {
  std::string value(5000, 'v');
  value[4094] = 'e';
  Write("long", value);
  std::string read = Read("long");
  EXPECT_EQ(read.size(), 4095u);
  EXPECT_EQ(read.back(), 'e');
}

TEST_F(SettingsFile, NamesMatchWithoutRegardToLetterCase) {
  Write("auth", "one");
  EXPECT_EQ(ReadIniValue(file_, "SETTINGS", "AUTH", ""), "one");
  WriteIniValue(file_, "settings", "Auth", "two");
  EXPECT_EQ(Read("auth"), "two");
  int entries = 0;
  for (const std::string& line : Lines()) entries += line.find('=') != std::string::npos;
  EXPECT_EQ(entries, 1);
}

TEST_F(SettingsFile, OtherLinesOfTheFileStay) {
  ASSERT_TRUE(test::WriteBytes(file_,
                               "[Other]\r\nkeep=1\r\n\r\n[Settings]\r\nlastlink=http://old\r\nx=y\r\n"));
  Write("lastlink", "http://new");
  Write("auth", "abc");
  EXPECT_EQ(ReadIniValue(file_, "Other", "keep", ""), "1");
  EXPECT_EQ(Read("x"), "y");
  EXPECT_EQ(Read("lastlink"), "http://new");
  EXPECT_EQ(Read("auth"), "abc");
  EXPECT_TRUE(HasLine("[Other]"));
  EXPECT_TRUE(HasLine("keep=1"));
}

TEST_F(SettingsFile, BlanksAroundValuesAndOuterQuotesAreThePlatformsToDrop) {
  ASSERT_TRUE(test::WriteBytes(file_,
                               "[Settings]\r\n  spaced =  v w  \r\nquoted=\"q v\"\r\nhalf=\"q\r\n"));
  EXPECT_EQ(Read("spaced"), "v w");
  EXPECT_EQ(Read("quoted"), "q v");
  EXPECT_EQ(Read("half"), "\"q");
}

TEST_F(SettingsFile, IniValueAsReadIsWhatTheFileGivesBack) {
  std::string cut(5000, 'c');
  cut[4094] = ' ';  // the cut may leave a blank at the end
  const std::string values[] = {
      "http://n/2 ", "  http://n/2\t", "\"quoted\"", "'single'", "\" inner \"", "\"half", "x\x1a",
      std::string("nul\0after", 9), cut, "http://n/" + std::string(4100, 'y') + " ", "plain"};
  for (const std::string& value : values) {
    Write("v", value);
    EXPECT_EQ(Read("v"), IniValueAsRead(value)) << value.substr(0, 40);
  }
}

TEST_F(SettingsFile, AValueWithALineBreakIsRefusedAndTheFileKept) {
  Write("auth", "secret");
  std::string before = test::ReadBytes(file_).value_or("<none>");
  Write("lastlink", "http://x\r\nauth=replaced");
  Write("lastlink", "http://x\nauth=");
  EXPECT_EQ(test::ReadBytes(file_).value_or(""), before);
  EXPECT_EQ(Read("auth"), "secret");
}

TEST_F(SettingsFile, AFolderInPlaceOfTheFileGivesTheDefault) {
  test::TempFolder other;
  EXPECT_EQ(ReadIniValue(other.path(), "Settings", "auth", "dflt"), "dflt");
}

TEST(ShellFolders, SettingsFileLivesInTheUsersAppData) {
  test::TempFolder folder;
  test::AppDataOverride appdata(folder.path());
  ASSERT_FALSE(appdata.folder().empty());
  EXPECT_EQ(SpecialFolderPath("AppData", FolderScope::PerUser), appdata.folder());
  EXPECT_EQ(SettingsFilePath(), appdata.folder() + "\\Corvalin.ini");
  WriteIniValue(SettingsFilePath(), "Settings", "lastlink", "http://x/1");
  EXPECT_EQ(test::ReadBytes(folder.File("Corvalin.ini")).has_value(), true);
  EXPECT_EQ(ReadIniValue(SettingsFilePath(), "Settings", "lastlink", ""), "http://x/1");
}

TEST(ShellFolders, WithoutAppDataThePathStartsAtTheRoot) {
  test::AppDataOverride appdata(std::nullopt);
  EXPECT_EQ(SpecialFolderPath("AppData", FolderScope::PerUser), "");
  EXPECT_EQ(SettingsFilePath(), "\\Corvalin.ini");
}

TEST(ShellFolders, CommonFoldersAreReadUnderTheirCommonName) {
  test::TempFolder folder;
  test::CommonDesktopOverride desktop(folder.path());
  EXPECT_EQ(SpecialFolderPath("Desktop", FolderScope::Common), folder.path());
}

TEST(ShellFolders, ProgramFilesIsAnExistingFolder) {
  std::string dir = ProgramFilesDir();
  ASSERT_FALSE(dir.empty());
  EXPECT_EQ(Os().ProbePath(dir), PathKind::Folder);
}

#ifdef _WIN32
TEST(ShellFolders, AnExpandableValueCountsAsMissing) {
  test::AppDataExpandOverride appdata("%USERPROFILE%\\AppData");
  EXPECT_EQ(SpecialFolderPath("AppData", FolderScope::PerUser), "");
  EXPECT_EQ(SettingsFilePath(), "\\Corvalin.ini");
}
#endif

}  // namespace
}  // namespace lum
