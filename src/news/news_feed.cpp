#include "news/news_feed.h"

#include "net/codepage.h"
#include "net/servers.h"
#include "net/text_ops.h"
#include "net/web_access.h"
#include "settings/settings_file.h"

namespace lum {

namespace {

// The text between a marker and the next "</".
std::string Field(const std::string& text, const char* marker) {
  return TextBefore("</", TextAfter(marker, text));
}

std::string Caption(const std::string& title) {
  return CutWithEllipsis(ReplaceAll({"]]>", ""}, ReplaceAll({"<![CDATA[", ""}, title)), kNewsTitleLength);
}

}  // namespace

std::string NewsFeedUrl() { return ServerRoot(NewsServer()) + "/new/news-rss"; }

std::string FetchNewsFeed() {
  return HttpRequest(NewsFeedUrl(), 80, "GET", "", "", "", "", "", 0, "", std::nullopt, 30);
}

bool IsHtmlAnswer(const std::string& body) { return body.find("<html>") != std::string::npos; }

std::string FeedText(const std::string& body) {
  std::string converted = Utf8To1251(body);
  return converted.empty() ? body : converted;
}

NewsItems ScanNewsFeed(const std::string& text) {
  NewsItems items;
  std::string work = TextAfter("<channel>", text);
  items.channel_link = Field(work, "<link>");
  work = TextAfter("<item>", work);
  items.caption1 = Caption(Field(work, "<title>"));
  items.link1 = Field(work, "<link>");
  work = TextAfter("<item>", work);
  items.caption2 = Caption(Field(work, "<title>"));
  items.link2 = Field(work, "<link>");
  return items;
}

bool IsNewItem(const std::string& link, const std::string& stored_last_link) {
  if (link.compare(0, 7, "http://") != 0) return false;
  for (char c : link) {
    if (static_cast<unsigned char>(c) < 32) return false;
  }
  return IniValueAsRead(link) != stored_last_link;
}

NewsPollOutcome PollNewsFeed(const std::string& stored_last_link) {
  NewsPollOutcome outcome;
  std::string body = FetchNewsFeed();
  if (IsHtmlAnswer(body)) return outcome;
  outcome.usable = true;
  outcome.items = ScanNewsFeed(FeedText(body));
  outcome.announce = IsNewItem(outcome.items.link1, stored_last_link);
  return outcome;
}

}  // namespace lum
