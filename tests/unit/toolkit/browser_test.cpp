// The browser object without a screen or an engine: navigations offered to
// the handler, cancelled or not, the page's own links, the document the test
// loads, and a control that fails.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "toolkit/headless/headless.h"
#include "toolkit/toolkit.h"

namespace lum {
namespace {

using Strings = std::vector<std::string>;

struct Record {
  Strings seen;
  std::vector<bool> cancel_in;
  std::string cancel_prefix = "http:";  // what the program keeps out of the page
  std::string redirect;                 // navigate here instead, from the handler
  bool throw_after = false;
};

void BeforeNavigate(Record& r, Browser& browser, const std::string& url, bool& cancel) {
  r.seen.push_back(url);
  r.cancel_in.push_back(cancel);
  if (url.compare(0, r.cancel_prefix.size(), r.cancel_prefix) == 0) {
    cancel = true;
    if (!r.redirect.empty()) browser.Navigate(r.redirect);
  }
  if (r.throw_after) throw std::runtime_error("handler failed");
}

class ToolkitBrowser : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::Reset();
    form.SetBounds(0, 0, 560, 470);
    panel.SetAlign(Align::Client);
    browser.OnBeforeNavigate = Bind<BeforeNavigate>(record);
  }
  Form form;
  Panel& panel = Make<Panel>(form);
  Browser& browser = Make<Browser>(panel);
  Record record;
};

TEST_F(ToolkitBrowser, IsAnEnabledChildThatCanFillItsPanel) {
  EXPECT_EQ(browser.Kind(), ControlKind::Browser);
  EXPECT_EQ(browser.Parent(), &panel);
  EXPECT_TRUE(browser.Enabled());
  EXPECT_TRUE(browser.Visible());
  EXPECT_FALSE(browser.Silent());
  browser.SetSilent(true);
  EXPECT_TRUE(browser.Silent());

  panel.SetMargin(-2);
  browser.SetAlign(Align::Client);
  Size client = panel.ClientSize();
  EXPECT_EQ(browser.Bounds(), (Rect{-2, -2, client.width + 2, client.height + 2}));
  form.SetSize(600, 500);
  EXPECT_EQ(browser.Width(), panel.ClientSize().width + 4);
}

TEST_F(ToolkitBrowser, NothingIsShownBeforeTheFirstNavigation) {
  EXPECT_EQ(browser.LocationUrl(), "");
  EXPECT_TRUE(headless::Navigations(browser).empty());
  EXPECT_TRUE(headless::NavigationRequests(browser).empty());
  EXPECT_FALSE(browser.SetElementHtml("stat-1", "x"));
  EXPECT_FALSE(headless::FollowLink(browser, "lum:stat"));  // no page to ask
  EXPECT_TRUE(record.seen.empty());
}

TEST_F(ToolkitBrowser, NavigateOffersTheUrlFirstAndThenGoesThere) {
  ASSERT_FALSE(form.HandleAllocated());
  EXPECT_TRUE(browser.Navigate("about:blank"));
  EXPECT_TRUE(browser.HandleAllocated());  // the control needs its window
  EXPECT_FALSE(form.Visible());
  EXPECT_EQ(record.seen, Strings{"about:blank"});
  EXPECT_EQ(record.cancel_in, std::vector<bool>{false});
  EXPECT_EQ(browser.LocationUrl(), "about:blank");
  EXPECT_EQ(browser.Text(), "about:blank");  // readable from outside

  const std::string page = "mk:@MSITStore:C:\\Temp\\Temp.chm::/index.htm";
  EXPECT_TRUE(browser.Navigate(page));
  EXPECT_EQ(browser.LocationUrl(), page);
  EXPECT_EQ(browser.Text(), page);
  EXPECT_EQ(headless::Navigations(browser), (Strings{"about:blank", page}));
  EXPECT_EQ(headless::NavigationRequests(browser), (Strings{"about:blank", page}));
}

TEST_F(ToolkitBrowser, CancelStopsTheNavigationAndLeavesLocationAndDocument) {
  browser.Navigate("C:\\Program Files\\Html\\index.htm");
  headless::LoadDocument(browser, {{"stat-1", "..."}});

  // The call itself did not fail: the program's handler said no.
  EXPECT_TRUE(browser.Navigate("http://lumora.example/"));
  EXPECT_EQ(record.seen.back(), "http://lumora.example/");
  EXPECT_EQ(browser.LocationUrl(), "C:\\Program Files\\Html\\index.htm");
  EXPECT_EQ(headless::Navigations(browser), Strings{"C:\\Program Files\\Html\\index.htm"});
  EXPECT_EQ(headless::NavigationRequests(browser),
            (Strings{"C:\\Program Files\\Html\\index.htm", "http://lumora.example/"}));
  EXPECT_TRUE(headless::HasElement(browser, "stat-1"));
  EXPECT_EQ(headless::ElementHtml(browser, "stat-1"), "...");
}

TEST_F(ToolkitBrowser, TheHandlerSeesThePagesOwnLinksToo) {
  browser.Navigate("index.htm");
  headless::LoadDocument(browser, {{"stat-1", "..."}, {"stat-2", "..."}});

  // Into the hidden frame: the page and its document stay.
  EXPECT_TRUE(headless::FollowLink(browser, "lum:stat", "ifr"));
  EXPECT_EQ(browser.LocationUrl(), "index.htm");
  EXPECT_TRUE(browser.SetElementHtml("stat-1", "<b>x</b>"));
  EXPECT_EQ(headless::ElementHtml(browser, "stat-1"), "<b>x</b>");

  // Kept out by the handler.
  EXPECT_FALSE(headless::FollowLink(browser, "http://lumora.example/tariffs"));
  EXPECT_EQ(browser.LocationUrl(), "index.htm");
  EXPECT_TRUE(headless::HasElement(browser, "stat-2"));

  // The page itself goes elsewhere: a new, empty document.
  EXPECT_TRUE(headless::FollowLink(browser, "https://lumora.example/"));
  EXPECT_EQ(browser.LocationUrl(), "https://lumora.example/");
  EXPECT_FALSE(headless::HasElement(browser, "stat-1"));
  // The program did not send it there: its window keeps the program's URL.
  EXPECT_EQ(browser.Text(), "index.htm");

  EXPECT_EQ(record.seen, (Strings{"index.htm", "lum:stat", "http://lumora.example/tariffs",
                                  "https://lumora.example/"}));
  EXPECT_EQ(headless::NavigationRequests(browser), record.seen);
  EXPECT_EQ(headless::Navigations(browser), (Strings{"index.htm", "https://lumora.example/"}));
  EXPECT_EQ(record.cancel_in, (std::vector<bool>(4, false)));
}

TEST_F(ToolkitBrowser, SettingAnElementNeedsADocumentWithThatElement) {
  browser.Navigate("about:blank");
  EXPECT_FALSE(browser.SetElementHtml("stat-1", "<b>x</b>"));  // an empty document
  EXPECT_FALSE(headless::HasElement(browser, "stat-1"));

  headless::LoadDocument(browser, {{"stat-1", "..."}, {"stat-2", "..."}});
  EXPECT_FALSE(browser.SetElementHtml("stat-3", "<b>x</b>"));
  EXPECT_FALSE(browser.SetElementHtml("Stat-1", "<b>x</b>"));  // ids are case-sensitive
  EXPECT_FALSE(headless::HasElement(browser, "stat-3"));
  EXPECT_EQ(headless::ElementHtml(browser, "stat-1"), "...");
  EXPECT_EQ(headless::ElementHtml(browser, "stat-2"), "...");

  EXPECT_TRUE(browser.SetElementHtml("stat-2", "51 ГБайт"));
  EXPECT_EQ(headless::ElementHtml(browser, "stat-2"), "51 ГБайт");
  EXPECT_EQ(headless::ElementHtml(browser, "stat-1"), "...");

  // A navigation that goes through takes the document away.
  browser.Navigate("index.htm");
  EXPECT_FALSE(browser.SetElementHtml("stat-2", "x"));
  EXPECT_EQ(headless::ElementHtml(browser, "stat-2"), "");
}

TEST_F(ToolkitBrowser, AFailingControlChangesNothing) {
  browser.Navigate("index.htm");
  headless::LoadDocument(browser, {{"stat-1", "..."}});
  headless::SetNavigateFails(browser, true);

  EXPECT_FALSE(browser.Navigate("about:blank"));
  EXPECT_EQ(record.seen, Strings{"index.htm"});  // never offered
  EXPECT_EQ(browser.LocationUrl(), "index.htm");
  EXPECT_EQ(browser.Text(), "index.htm");
  EXPECT_EQ(headless::NavigationRequests(browser), Strings{"index.htm"});
  EXPECT_EQ(headless::ElementHtml(browser, "stat-1"), "...");

  headless::SetNavigateFails(browser, false);
  EXPECT_TRUE(browser.Navigate("about:blank"));
  EXPECT_EQ(browser.LocationUrl(), "about:blank");
}

TEST_F(ToolkitBrowser, TheHandlerMayNavigateElsewhereWhileCancelling) {
  record.redirect = "about:blank";
  EXPECT_TRUE(browser.Navigate("http://lumora.example/"));
  EXPECT_EQ(record.seen, (Strings{"http://lumora.example/", "about:blank"}));
  EXPECT_EQ(browser.LocationUrl(), "about:blank");
  EXPECT_EQ(headless::Navigations(browser), Strings{"about:blank"});
}

TEST_F(ToolkitBrowser, AThrowingHandlerStopsAtTheToolkitAndCancelsNothing) {
  record.throw_after = true;
  EXPECT_TRUE(browser.Navigate("about:blank"));
  EXPECT_EQ(browser.LocationUrl(), "about:blank");
  EXPECT_TRUE(headless::FollowLink(browser, "lum:conf", "ifr"));
  EXPECT_EQ(record.seen, (Strings{"about:blank", "lum:conf"}));
}

TEST_F(ToolkitBrowser, WithoutAHandlerEverythingGoesThrough) {
  browser.OnBeforeNavigate = {};
  EXPECT_TRUE(browser.Navigate("http://lumora.example/"));
  EXPECT_EQ(browser.LocationUrl(), "http://lumora.example/");
}

}  // namespace
}  // namespace lum
