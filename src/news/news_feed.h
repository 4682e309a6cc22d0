// The news feed: fetched, taken apart by markers, and judged new or not.
// Showing the result belongs to the agent's window.
#pragma once

#include <string>

namespace lum {

constexpr size_t kNewsTitleLength = 44;

// What a scan of the feed yields: the channel's link and the first two
// items' titles (cut for the popup) and links, bytes as they stood.
struct NewsItems {
  std::string channel_link;
  std::string caption1;  // first title, CDATA markers removed, cut to 44 + "…"
  std::string link1;
  std::string caption2;
  std::string link2;
};

// The feed's address on the news server.
std::string NewsFeedUrl();

// The feed body as fetched ("" on failure).
std::string FetchNewsFeed();

// A body that holds "<html>" is an error page, not a feed.
bool IsHtmlAnswer(const std::string& body);

// The character-set step: a valid UTF-8 body is converted to Windows-1251;
// anything else is taken as Windows-1251 already.
std::string FeedText(const std::string& body);

// Takes the channel link and the first two items apart by markers.
NewsItems ScanNewsFeed(const std::string& text);

// The first item is new when its link begins with "http://", differs from
// the link last announced, and holds no control character (it could not be
// stored faithfully and would be announced again at every start). The last
// link is the one the settings file gives back, and the item's link is
// compared in that form: a link the file trims or cuts is still the same
// item after a restart.
bool IsNewItem(const std::string& link, const std::string& stored_last_link);

struct NewsPollOutcome {
  bool usable = false;    // fetched and not an error page: the items count
  NewsItems items;
  bool announce = false;  // the first item is new
};

// Fetch, character set, scan and new-item test, against the stored last link.
NewsPollOutcome PollNewsFeed(const std::string& stored_last_link);

}  // namespace lum
