// The Linux stand-in for the profile functions, on texts.
#include "platform/posix/profile_text.h"

#include <gtest/gtest.h>

namespace lum::posix {
namespace {

TEST(ProfileText, LowerCasesLatinAndCyrillicLetters) {
  EXPECT_EQ(LowerCase1251("SETUP Setup"), "setup setup");
  EXPECT_EQ(LowerCase1251("ЦЕНТР Ёж ЯЯ"), "центр ёж яя");
  EXPECT_EQ(LowerCase1251("123-_.\\"), "123-_.\\");
}

TEST(ProfileText, LookupFindsTheFirstEntryOfTheSection) {
  std::string text = "k=outside\n[A]\nk=a\n[Settings]\n k = 1 \nk=2\n[settings]\nz=3\n";
  EXPECT_EQ(ProfileLookup(text, "settings", "K"), "1");
  EXPECT_EQ(ProfileLookup(text, "Settings", "z"), "3");
  EXPECT_EQ(ProfileLookup(text, "Settings", "none"), std::nullopt);
  EXPECT_EQ(ProfileLookup(text, "Missing", "k"), std::nullopt);
  EXPECT_EQ(ProfileLookup("", "Settings", "k"), std::nullopt);
}

TEST(ProfileText, UpdateReplacesOnlyTheEntrysLine) {
  std::string text = "; note\r\n[Settings]\r\n  Auth=old\r\nlastlink=x\r\n\r\n[Other]\r\nauth=keep\r\n";
  EXPECT_EQ(ProfileUpdate(text, "SETTINGS", "auth", "new"),
            "; note\r\n[Settings]\r\n  Auth=new\r\nlastlink=x\r\n\r\n[Other]\r\nauth=keep\r\n");
}

TEST(ProfileText, NewEntriesGoAfterTheSectionsLastEntry) {
  EXPECT_EQ(ProfileUpdate("[Settings]\nauth=a\n\n[Other]\nx=1\n", "Settings", "lastlink", "l"),
            "[Settings]\nauth=a\nlastlink=l\n\n[Other]\nx=1\n");
  EXPECT_EQ(ProfileUpdate("[Settings]", "Settings", "k", "v"), "[Settings]\nk=v\n");
  EXPECT_EQ(ProfileUpdate("[Other]\r\nx=1", "Settings", "k", "v"),
            "[Other]\r\nx=1\r\n[Settings]\r\nk=v\r\n");
  EXPECT_EQ(ProfileUpdate("", "Settings", "k", ""), "[Settings]\nk=\n");
}

}  // namespace
}  // namespace lum::posix
