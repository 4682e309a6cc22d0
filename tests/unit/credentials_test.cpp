#include "settings/credentials.h"

#include <gtest/gtest.h>

#include "settings/settings_file.h"
#include "test_env.h"

namespace lum {
namespace {

TEST(Scramble, IsItsOwnInverseAndKeeps255Bytes) {
  std::string all;
  for (int c = 1; c < 256; ++c) all.push_back(static_cast<char>(c));
  EXPECT_EQ(ScrambleRecord(ScrambleRecord(all)), all);
  EXPECT_EQ(ScrambleRecord("3|r|u|p|"), ".aoahama");
  EXPECT_EQ(ScrambleRecord(std::string(300, 'x')).size(), 255u);
}

TEST(Fields, NthFieldNeedsAClosingSeparator) {
  EXPECT_EQ(NthField("3|r|u|p|", '|', 0), "3");
  EXPECT_EQ(NthField("3|r|u|p|", '|', 3), "p");
  EXPECT_EQ(NthField("3|r|u|p", '|', 3), "");
  EXPECT_EQ(NthField("0|r|u|", '|', 3), "");
  EXPECT_EQ(NthField("abc", '|', 0), "");
  EXPECT_EQ(NthField("", '|', 2), "");
  EXPECT_EQ(NthField("||x|", '|', 2), "x");
}

TEST(Fields, ParseIntegerIsLenient) {
  EXPECT_EQ(ParseInteger("7x"), 7);
  EXPECT_EQ(ParseInteger("-12"), -12);
  EXPECT_EQ(ParseInteger("+5"), 5);
  EXPECT_EQ(ParseInteger(" 5"), 0);
  EXPECT_EQ(ParseInteger("--5"), 0);
  EXPECT_EQ(ParseInteger(""), 0);
  EXPECT_EQ(ParseInteger("-"), 0);
  EXPECT_EQ(ParseInteger("4294967297"), 1);  // wraps at 32 bits
  EXPECT_EQ(ParseInteger("2147483648"), INT32_MIN);
}

class CredentialsFile : public ::testing::Test {
 protected:
  void SetUp() override { ResetCredentials(); }
  void TearDown() override { ResetCredentials(); }
  std::string StoredAuth() { return ReadIniValue(SettingsFilePath(), "Settings", "auth", "<none>"); }
  void StoreRaw(const std::string& record) {
    WriteIniValue(SettingsFilePath(), "Settings", "auth", ScrambleRecord(record));
  }

  test::TempFolder folder_;
  test::AppDataOverride appdata_{folder_.path()};
};

TEST_F(CredentialsFile, NothingStoredKeepsTheDefaults) {
  LoadCredentials();
  EXPECT_EQ(RouterModelIndex, 0);
  EXPECT_EQ(RouterPassword, "tokra");
  EXPECT_EQ(Login, "");
  EXPECT_EQ(Password, "");
  EXPECT_FALSE(test::Exists(SettingsFilePath()));
}

TEST_F(CredentialsFile, SaveStoresTheScrambledRecordAndLoadsItBack) {
  StoreCredentials(2, "r", "u", "p");
  EXPECT_EQ(StoredAuth(), ScrambleRecord("2|r|u|p|"));
  ResetCredentials();
  LoadCredentials();
  EXPECT_EQ(RouterModelIndex, 2);
  EXPECT_EQ(RouterPassword, "r");
  EXPECT_EQ(Login, "u");
  EXPECT_EQ(Password, "p");
}

TEST_F(CredentialsFile, CyrillicAndPunctuationSurviveTheFile) {
  // Every byte a user can type, but the field separator.
  std::string typed;
  for (int c = 32; c < 256; ++c) {
    if (c != '|') typed.push_back(static_cast<char>(c));
  }
  StoreCredentials(5, "роутер", "Иван Петров", typed.substr(0, 200));
  ResetCredentials();
  LoadCredentials();
  EXPECT_EQ(RouterModelIndex, 5);
  EXPECT_EQ(RouterPassword, "роутер");
  EXPECT_EQ(Login, "Иван Петров");
  EXPECT_EQ(Password, typed.substr(0, 200));
}

TEST_F(CredentialsFile, AnOverlongRecordLosesTheFieldsCutOffWhole) {
  StoreCredentials(1, "r", "user", std::string(300, 'p'));
  EXPECT_EQ(ScrambleRecord(StoredAuth()).size(), 255u);
  EXPECT_EQ(RouterModelIndex, 1);
  EXPECT_EQ(Login, "user");
  EXPECT_EQ(Password, "");
}

TEST_F(CredentialsFile, ASeparatorTypedIntoAFieldShiftsTheRest) {
  StoreCredentials(0, "r", "a|b", "p");
  EXPECT_EQ(Login, "a");
  EXPECT_EQ(Password, "b");
}

TEST_F(CredentialsFile, DamagedRecordsLoadLeniently) {
  StoreRaw("7x|r|u|p|");
  LoadCredentials();
  EXPECT_EQ(RouterModelIndex, 7);
  StoreRaw("0|r|u|");
  LoadCredentials();
  EXPECT_EQ(Login, "u");
  EXPECT_EQ(Password, "");
  StoreRaw("garbage");
  LoadCredentials();
  EXPECT_EQ(RouterModelIndex, 0);
  EXPECT_EQ(RouterPassword, "");
  EXPECT_EQ(Login, "");
}

TEST_F(CredentialsFile, NoSelectionIsStoredAsMinusOne) {
  StoreCredentials(-1, "r", "u", "p");
  EXPECT_EQ(StoredAuth(), ScrambleRecord("-1|r|u|p|"));
  EXPECT_EQ(RouterModelIndex, -1);
}

TEST_F(CredentialsFile, ControlCharactersAreDroppedBeforeScrambling) {
  // 0x1D would scramble to NUL and cut the value; CR and LF would scramble
  // into line breaks of the file.
  StoreCredentials(3, "r\x1D" "1", "lo\x10gin", "pa\x17ss\tword");
  EXPECT_EQ(StoredAuth(), ScrambleRecord("3|r1|login|password|"));
  ResetCredentials();
  LoadCredentials();
  EXPECT_EQ(RouterPassword, "r1");
  EXPECT_EQ(Login, "login");
  EXPECT_EQ(Password, "password");
}

TEST_F(CredentialsFile, ASaveKeepsTheOtherEntries) {
  WriteIniValue(SettingsFilePath(), "Settings", "lastlink", "http://news/1");
  StoreCredentials(1, "r", "u", "p");
  EXPECT_EQ(ReadIniValue(SettingsFilePath(), "Settings", "lastlink", ""), "http://news/1");
}

}  // namespace
}  // namespace lum
