#include "news/news_feed.h"

#include <gtest/gtest.h>

#include "net/codepage.h"

namespace lum {
namespace {

std::string Feed(const std::string& items) {
  return "<?xml version=\"1.0\"?><rss><channel><title>Lumora</title><link>http://news.example/</link>" + items +
         "</channel></rss>";
}
std::string Item(const std::string& title, const std::string& link) {
  return "<item><title>" + title + "</title><link>" + link + "</link><description>d</description></item>";
}

TEST(NewsScan, TakesTheChannelLinkAndTheFirstTwoItems) {
  NewsItems items = ScanNewsFeed(Feed(Item("Первая", "http://n/2") + Item("Вторая", "http://n/1") +
                                      Item("Третья", "http://n/0")));
  EXPECT_EQ(items.channel_link, "http://news.example/");
  EXPECT_EQ(items.caption1, "Первая");
  EXPECT_EQ(items.link1, "http://n/2");
  EXPECT_EQ(items.caption2, "Вторая");
  EXPECT_EQ(items.link2, "http://n/1");
}

TEST(NewsScan, TitlesLoseCdataMarkersAndAreCutAt44) {
  std::string t44(44, 'ж');
  NewsItems items = ScanNewsFeed(Feed(Item("<![CDATA[" + t44 + "]]>", "http://n/2") +
                                      Item(t44 + "щ", "http://n/1")));
  EXPECT_EQ(items.caption1, t44);
  EXPECT_EQ(items.caption2, t44 + "…");
  EXPECT_EQ(ScanNewsFeed(Feed(Item("a<![CDATA[b]]>c]]>", "x"))).caption1, "abc");
}

TEST(NewsScan, OneItemOrNoneStillYieldsWhatTheMarkersGive) {
  NewsItems one = ScanNewsFeed(Feed(Item("Одна", "http://n/1")));
  EXPECT_EQ(one.link1, "http://n/1");
  EXPECT_NE(one.caption2, "Одна");
  NewsItems none = ScanNewsFeed(Feed(""));
  // With no item the channel's own link comes first.
  EXPECT_EQ(none.link1, "http://news.example/");
  NewsItems nothing = ScanNewsFeed("");
  EXPECT_EQ(nothing.link1, "");
  EXPECT_EQ(nothing.channel_link, "");
}

TEST(NewsNewItem, OnlyPlainHttpLinksThatDifferAndHoldNoControls) {
  EXPECT_TRUE(IsNewItem("http://n/2", ""));
  EXPECT_TRUE(IsNewItem("http://n/2", "http://n/1"));
  EXPECT_FALSE(IsNewItem("http://n/2", "http://n/2"));
  EXPECT_FALSE(IsNewItem("https://n/2", ""));
  EXPECT_FALSE(IsNewItem(" http://n/2", ""));
  EXPECT_FALSE(IsNewItem("HTTP://n/2", ""));
  EXPECT_FALSE(IsNewItem("", ""));
  EXPECT_FALSE(IsNewItem("http://n/\t4", ""));
  EXPECT_FALSE(IsNewItem("http://n/4\r\n", ""));
  EXPECT_TRUE(IsNewItem("http://n/Новость", "http://n/новость"));
  // Compared as the settings file gives the stored link back: trimmed, cut.
  EXPECT_FALSE(IsNewItem("http://n/2 ", "http://n/2"));
  std::string long_link = "http://n/" + std::string(5000, 'x');
  EXPECT_FALSE(IsNewItem(long_link, long_link.substr(0, 4095)));
  EXPECT_TRUE(IsNewItem(long_link + "y", long_link));
}

TEST(NewsCharset, Utf8IsConvertedAndAnythingElseKept) {
  // "Новости" in UTF-8 and in Windows-1251.
  std::string utf8 = "\xD0\x9D\xD0\xBE\xD0\xB2\xD0\xBE\xD1\x81\xD1\x82\xD0\xB8";
  EXPECT_EQ(FeedText(utf8), "Новости");
  EXPECT_EQ(FeedText("Новости"), "Новости");
  EXPECT_EQ(FeedText(""), "");
  EXPECT_EQ(FeedText("ascii only"), "ascii only");
  // A character outside Windows-1251 becomes "?"; the euro sign and the
  // ellipsis have bytes of their own.
  EXPECT_EQ(Utf8To1251("\xE4\xB8\xAD-\xE2\x82\xAC-\xE2\x80\xA6"), "?-\x88-\x85");
  // Four-byte sequences, overlong forms, surrogates and cut sequences are
  // not taken as UTF-8.
  EXPECT_EQ(Utf8To1251("a\xF0\x9F\x98\x80"), "");
  EXPECT_EQ(Utf8To1251("\xC0\xAF"), "");
  EXPECT_EQ(Utf8To1251("\xE0\x80\xAF"), "");
  EXPECT_EQ(Utf8To1251("\xED\xA0\x80"), "");
  EXPECT_EQ(Utf8To1251("\xD0"), "");
  EXPECT_EQ(Utf8To1251("\xEF\xBB\xBFok"), "ok");
}

TEST(NewsCharset, RoundTripOfEveryAssignedByte) {
  std::string all;
  for (int b = 1; b < 256; ++b) {
    if (b != 0x98) all.push_back(static_cast<char>(b));
  }
  EXPECT_EQ(Utf8To1251(Cp1251ToUtf8(all)), all);
}

TEST(NewsHtml, AnErrorPageIsRecognisedCaseSensitively) {
  EXPECT_TRUE(IsHtmlAnswer("<!DOCTYPE x><html><body>proxy</body></html>"));
  EXPECT_FALSE(IsHtmlAnswer("<HTML>"));
  EXPECT_FALSE(IsHtmlAnswer(Feed(Item("t", "http://n/1"))));
}

}  // namespace
}  // namespace lum
