// The news path on any feed body: the character-set step, the scan by
// markers and the new-item test; and feeds made of known items, which the
// scan must give back as they were written, in UTF-8 or Windows-1251.
#include <fuzzer/FuzzedDataProvider.h>

#include "fuzz_support.h"
#include "net/codepage.h"
#include "net/text_ops.h"
#include "news/news_feed.h"
#include "settings/settings_file.h"

namespace {

using lum::fuzz::Contains;
using lum::fuzz::Without;

bool HoldsControl(const std::string& text) {
  for (char c : text) {
    if (static_cast<unsigned char>(c) < 32) return true;
  }
  return false;
}

void CheckItemsOf(const std::string& text, const lum::NewsItems& items) {
  for (const std::string* link : {&items.channel_link, &items.link1, &items.link2}) {
    FUZZ_CHECK(!Contains(*link, "</"));
    FUZZ_CHECK(Contains(text, *link));
  }
  for (const std::string* caption : {&items.caption1, &items.caption2}) {
    FUZZ_CHECK(caption->size() <= lum::kNewsTitleLength + 1);
    FUZZ_CHECK(!Contains(*caption, "]]>"));
  }
}

// The last link is as the settings file gives it back; a link stored and
// read back is never new again.
void CheckNewItemTest(const std::string& link, const std::string& last_link) {
  if (lum::IsNewItem(link, last_link)) {
    FUZZ_CHECK(link.compare(0, 7, "http://") == 0);
    FUZZ_CHECK(lum::IniValueAsRead(link) != last_link);
    FUZZ_CHECK(!HoldsControl(link));
  }
  FUZZ_CHECK(!lum::IsNewItem(link, lum::IniValueAsRead(link)));
}

// Any body, as the server may send it.
void CheckBody(const std::string& body, const std::string& last_link) {
  const std::string converted = lum::Utf8To1251(body);
  const std::string text = lum::FeedText(body);
  FUZZ_CHECK(text == (converted.empty() ? body : converted));
  FUZZ_CHECK(converted.size() <= body.size());
  // Every Windows-1251 text but the one unassigned byte survives UTF-8.
  if (!body.empty() && !Contains(body, "\x98")) {
    FUZZ_CHECK(lum::Utf8To1251(lum::Cp1251ToUtf8(body)) == body);
  }
  const lum::NewsItems items = lum::ScanNewsFeed(text);
  CheckItemsOf(text, items);
  CheckNewItemTest(items.link1, last_link);
  CheckNewItemTest(items.link1, items.link2);
}

// A feed written from known parts: every field comes back as it was.
void CheckKnownFeed(FuzzedDataProvider& in) {
  // "<" starts every marker and ">" ends the CDATA one; fields hold neither.
  // The unassigned byte has no UTF-8 form.
  auto field = [&in] { return Without(in.ConsumeRandomLengthString(80), "<>\x98"); };
  const std::string channel_link = field();
  const std::string title1 = field();
  const std::string link1 = field();
  const std::string title2 = field();
  const std::string link2 = field();
  const bool cdata = in.ConsumeBool();
  const bool utf8 = in.ConsumeBool();
  auto title = [cdata](const std::string& t) {
    return "<title>" + (cdata ? "<![CDATA[" + t + "]]>" : t) + "</title>";
  };
  std::string feed = "<?xml version=\"1.0\"?><rss version=\"2.0\"><channel><title>Новости</title>"
                     "<link>" + channel_link + "</link>"
                     "<item>" + title(title1) + "<link>" + link1 + "</link></item>\n"
                     "<item>" + title(title2) + "<link>" + link2 + "</link></item>"
                     "</channel></rss>";
  if (utf8) feed = lum::Cp1251ToUtf8(feed);
  const std::string text = lum::FeedText(feed);
  // A Windows-1251 feed may happen to be valid UTF-8 as well; it is then
  // converted, as the rule says, and its fields are not comparable.
  if (!utf8 && !lum::Utf8To1251(feed).empty()) return;
  const lum::NewsItems items = lum::ScanNewsFeed(text);
  FUZZ_CHECK(items.channel_link == channel_link);
  FUZZ_CHECK(items.link1 == link1);
  FUZZ_CHECK(items.link2 == link2);
  FUZZ_CHECK(items.caption1 == lum::CutWithEllipsis(title1, lum::kNewsTitleLength));
  FUZZ_CHECK(items.caption2 == lum::CutWithEllipsis(title2, lum::kNewsTitleLength));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzedDataProvider in(data + 1, size - 1);
  if (data[0] & 1) {
    CheckKnownFeed(in);
  } else {
    const std::string last_link = in.ConsumeRandomLengthString(64);
    CheckBody(in.ConsumeRemainingBytesAsString(), last_link);
  }
  return 0;
}
