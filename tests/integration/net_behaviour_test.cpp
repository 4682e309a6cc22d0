// The network operations and the service clients against the loopback fake
// servers, with the real backend of the build: libcurl natively, WinInet
// under Wine. The same expectations hold for both.
#include <gtest/gtest.h>

#include <chrono>

#include "billing/billing.h"
#include "fake_isp_client.h"
#include "net/web_access.h"
#include "news/news_feed.h"
#include "platform/os.h"
#include "test_env.h"

namespace lum {
namespace {

std::string Pattern(size_t n) {
  std::string s;
  for (size_t i = 0; i < n; ++i) s.push_back(static_cast<char>('A' + i % 26));
  return s;
}

class Net : public ::testing::Test {
 protected:
  void SetUp() override {
    if (isp_.port() == 0) GTEST_SKIP() << "fake servers not running (LUM_FAKE_ISP_PORT_FILE)";
    isp_.Control("reset=1");
  }
  std::string Get(const std::string& path, uint32_t timeout = 10) { return isp_.Get(path, timeout); }

  test::FakeIsp isp_;
};

TEST_F(Net, RequestsGoOutAsPassed) {
  std::string echo = HttpRequest(isp_.Url("/hostile/echo?q=1"), 80, "POST", "", "", "",
                                 "X-One: 1\r\nContent-Type: text/plain\r\n", "body=1&x", 0, "",
                                 std::nullopt, 10);
  EXPECT_EQ(echo.substr(0, 5), "POST\n");
  EXPECT_NE(echo.find("\n/hostile/echo?q=1\n"), std::string::npos) << echo;
  EXPECT_NE(echo.find("H:User-Agent: Mozilla/4.0 (compatible; MSIE 6.0; Windows NT)\n"),
            std::string::npos) << echo;
  EXPECT_NE(echo.find("H:X-One: 1\n"), std::string::npos);
  EXPECT_NE(echo.find("H:Pragma: no-cache"), std::string::npos);
  EXPECT_NE(echo.find("BODY:body=1&x"), std::string::npos);
  std::string get = Get("/hostile/echo");
  EXPECT_EQ(get.substr(0, 4), "GET\n");
  EXPECT_NE(get.find("BODY:"), std::string::npos);
}

TEST_F(Net, BodiesComeWholeAndNulCutsItsPiece) {
  EXPECT_EQ(Get("/hostile/size?n=3000"), Pattern(3000));
  std::string body = Pattern(3000);
  EXPECT_EQ(Get("/hostile/nul"), body.substr(0, 9) + body.substr(1024));
}

TEST_F(Net, ErrorStatusesStillGiveTheirBodies) {
  EXPECT_NE(Get("/hostile/404").find("not found"), std::string::npos);
  EXPECT_NE(Get("/hostile/500").find("server error"), std::string::npos);
  EXPECT_EQ(Get("/hostile/status?code=503"), "status 503");
}

TEST_F(Net, RedirectsAreFollowedWithTheirCookies) {
  EXPECT_EQ(Get("/hostile/redirect"), "target reached");
  EXPECT_EQ(Get("/hostile/cookie"), "cookie=yes");
}

TEST_F(Net, ARedirectLoopEnds) {
  if (test::UnderWine()) {
    GTEST_SKIP() << "Wine's internet library follows a redirect loop without end; Windows gives up";
  }
  // Given up after a bounded number of redirects, not by the time-out.
  Get("/hostile/loop");
  EXPECT_GT(isp_.CountRequests("/hostile/loop"), 1);
  EXPECT_LE(isp_.CountRequests("/hostile/loop"), 31);
}

TEST_F(Net, AnEndlessAnswerIsCutAt16MiB) {
  std::string body = Get("/hostile/huge", 10);
  EXPECT_EQ(body.size(), kMaxResponseBody);
  EXPECT_EQ(body.substr(0, 26), Pattern(26));
}

TEST_F(Net, ASilentServerEndsTheBodyAtTheTimeOut) {
  // The server stays silent far longer than the test is allowed to run, so
  // only the receive time-out (2 s) can end this, and what arrived before
  // the silence is kept. These bounds tell which rule ended it, not how
  // fast: sooner means something else cut the body, and 8 s is the bound on
  // the whole exchange.
  const auto start = std::chrono::steady_clock::now();
  std::string body = Get("/hostile/stall?after=10&seconds=600", 2);
  const auto waited = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(body, Pattern(10));
  EXPECT_GE(waited, std::chrono::milliseconds(1900));
  EXPECT_LT(waited, std::chrono::seconds(7));
  // A slow drip within the time-out is waited for.
  EXPECT_EQ(Get("/hostile/drip?n=3", 3), Pattern(3));
}

TEST_F(Net, ADrippingServerIsCutAfterFourTimeOutsWithWhatArrived) {
  // One byte every quarter second, each well within the time-out of one
  // second: only the bound on the whole exchange ends this before 50 s.
  const std::string drip = "/hostile/drip?n=200&ms=250";
  std::string body = Get(drip, 1);
  EXPECT_FALSE(body.empty());
  EXPECT_LT(body.size(), 200u);
  EXPECT_EQ(body, Pattern(body.size()));

  std::string fetched;
  UrlAnswer answer;
  Os().UrlFetch(UrlCall{isp_.Url(drip), "", 1, 4}, &answer, [&](std::string_view piece) {
    fetched.append(piece);
    return true;
  });
  EXPECT_EQ(answer.length, 200);
  EXPECT_FALSE(fetched.empty());
  EXPECT_LT(fetched.size(), 200u);
  EXPECT_EQ(fetched, Pattern(fetched.size()));
}

TEST_F(Net, ARedirectedPostIsFollowedAsAGetWithoutItsBody) {
  for (const char* code : {"301", "302", "303"}) {
    std::string echo = HttpRequest(isp_.Url(std::string("/hostile/post-redirect?code=") + code),
                                   80, "POST", "", "", "",
                                   "Content-Type: application/x-www-form-urlencoded\r\n", "a=1",
                                   0, "", std::nullopt, 10);
    EXPECT_EQ(echo.substr(0, 4), "GET\n") << code << "\n" << echo;
    EXPECT_EQ(echo.substr(echo.size() - 6), "\nBODY:") << code;
  }
}

TEST_F(Net, AResetMidBodyKeepsWhatArrived) {
  // The 5000 bytes are sent a fifth of a second before the reset.
  EXPECT_EQ(Get("/hostile/reset"), Pattern(5000));
}

TEST_F(Net, NoServerMeansAnEmptyAnswer) {
  EXPECT_EQ(HttpRequest("127.0.0.1", 1, "GET", "/", "", "", "", "", 0, "", std::nullopt, 5), "");
  EXPECT_EQ(HttpRequest("host.invalid", 80, "GET", "/", "", "", "", "", 0, "", std::nullopt, 5), "");
}

class Download : public Net {
 protected:
  test::TempFolder folder_;
  std::string target_ = folder_.File("Tarvik.exe");
};

TEST_F(Download, AWholeFileLandsAndNothingIsLeftBeside) {
  DownloadFile(isp_.Url("/files/dpr/Tarvik.exe"), target_, nullptr, nullptr, "", 5);
  std::string bytes = test::ReadBytes(target_).value_or("");
  ASSERT_EQ(bytes.size(), 1000u);
  EXPECT_EQ(static_cast<unsigned char>(bytes[300]), 300 % 251);
  EXPECT_FALSE(test::Exists(target_ + ".partial"));
  isp_.Control("download=nolength");
  test::WriteBytes(target_, "old");
  DownloadFile(isp_.Url("/files/dpr/Tarvik.exe"), target_, nullptr, nullptr, "", 5);
  EXPECT_EQ(test::ReadBytes(target_).value_or("").size(), 1000u);
}

TEST_F(Download, ShortErrorOrFailedTransfersKeepTheOldFile) {
  for (const char* variant : {"short", "404", "empty"}) {
    isp_.Control(std::string("download=") + variant);
    ASSERT_TRUE(test::WriteBytes(target_, "old"));
    DownloadFile(isp_.Url("/files/dpr/Tarvik.exe"), target_, nullptr, nullptr, "", 5);
    EXPECT_EQ(test::ReadBytes(target_).value_or(""), "old") << variant;
    EXPECT_FALSE(test::Exists(target_ + ".partial")) << variant;
    EXPECT_EQ(isp_.CountRequests("/files/dpr/Tarvik.exe"), 1) << variant;
  }
  DownloadFile("http://127.0.0.1:1/files/dpr/Tarvik.exe", target_, nullptr, nullptr, "", 2);
  EXPECT_EQ(test::ReadBytes(target_).value_or(""), "old");
}

TEST_F(Download, AnEndlessFileIsCutAtTheBoundAndKeepsTheOldFile) {
  isp_.Control("download=endless");
  ASSERT_TRUE(test::WriteBytes(target_, "old"));
  DownloadFile(isp_.Url("/files/dpr/Tarvik.exe"), target_, nullptr, nullptr, "", 5);
  EXPECT_EQ(test::ReadBytes(target_).value_or(""), "old");
  EXPECT_FALSE(test::Exists(target_ + ".partial"));
  EXPECT_EQ(isp_.CountRequests("/files/dpr/Tarvik.exe"), 1);
}

class Bar : public ProgressControl {
 public:
  void Show() override {}
  void Hide() override {}
  int Max() override { return 100; }
  void SetPosition(int p) override { last = p; }
  int last = -1;
};

TEST_F(Download, AShortTransferWithAProgressBarIsTriedThreeTimes) {
  isp_.Control("download=short");
  Bar bar;
  DownloadFile(isp_.Url("/files/dpr/Tarvik.exe"), target_, nullptr, &bar, "", 5);
  EXPECT_EQ(isp_.CountRequests("/files/dpr/Tarvik.exe"), 3);
  EXPECT_EQ(bar.last, 90);
  EXPECT_FALSE(test::Exists(target_));
}

class Billing : public Net {
 protected:
  void SetUp() override {
    Net::SetUp();
    if (isp_.port()) servers_ = std::make_unique<test::UseFakeServers>(isp_);
  }
  std::unique_ptr<test::UseFakeServers> servers_;
};

TEST_F(Billing, GoodCredentialsGiveTheChecksum) {
  EXPECT_EQ(BillingLogin("user", "secret"), "DC57C0F5");
  EXPECT_EQ(BillingLogin("user", "wrong"), "");
  EXPECT_EQ(BillingLogin("", ""), "");
  std::string log = isp_.Log();
  EXPECT_NE(log.find("\"Content-Length\", \"28\""), std::string::npos) << log;
  EXPECT_NE(log.find("\"Content-Type\", \"application/x-www-form-urlencoded\""), std::string::npos);
}

TEST_F(Billing, SpecialCharactersInCredentialsReachTheSiteIntact) {
  EXPECT_EQ(BillingLogin("иван", "п&=+%# ?"), "33CC68A3");
  AccountStatistics stats = FetchAccountStatistics("иван", "п&=+%# ?");
  EXPECT_EQ(stats.tariff, "Семейный 300");
  EXPECT_EQ(stats.traffic, "8 ГБайт");
}

TEST_F(Billing, StatisticsOfAnAccount) {
  AccountStatistics stats = FetchAccountStatistics("user", "secret");
  EXPECT_EQ(stats.tariff, "Домашний 100");
  EXPECT_EQ(stats.traffic, "51 ГБайт");
  EXPECT_EQ(isp_.CountRequests("/pls/startip/www.PageViewer"), 2);
}

TEST_F(Billing, AnErrorInTheFirstReportFetchesTheSecond) {
  AccountStatistics stats = FetchAccountStatistics("errrep", "secret");
  EXPECT_EQ(stats.tariff, "Стартовый 50");
  EXPECT_EQ(stats.traffic, "10 ГБайт");
  EXPECT_EQ(isp_.CountRequests("/pls/startip/www.PageViewer?page_name=S*CLI_DIALUP_REP_CNT"), 1);
}

TEST_F(Billing, AFailedLoginAsksForNoReport) {
  for (const char* mode : {"normal", "gt", "empty", "500"}) {
    isp_.Control(std::string("login=") + mode);
    AccountStatistics stats = FetchAccountStatistics("user", mode == std::string("normal") ? "bad" : "secret");
    EXPECT_EQ(stats.tariff, kNoData) << mode;
    EXPECT_EQ(stats.traffic, kNoData) << mode;
    EXPECT_EQ(isp_.CountRequests("/pls/startip/www.PageViewer"), 0) << mode;
  }
}

TEST_F(Billing, HomePageAddressAfterLogin) {
  EXPECT_EQ(BillingHomePageAddress("user", "secret"),
            isp_.Url("/pls/startip/www.ViewHomePage?p_logname=user&p_chksum=DC57C0F5"));
  EXPECT_EQ(BillingHomePageAddress("user", "bad"), isp_.Url("/"));
}

using News = Billing;

const char kFirstTitle[] = "Лумора увеличивает скорость домашнего интернета без доплаты!";

TEST_F(News, TheNewestItemIsAnnouncedOnce) {
  NewsPollOutcome poll = PollNewsFeed("");
  ASSERT_TRUE(poll.usable);
  EXPECT_TRUE(poll.announce);
  EXPECT_EQ(poll.items.link1, "http://news.example/item/2");
  EXPECT_EQ(poll.items.caption1, std::string(kFirstTitle).substr(0, 44) + "…");
  EXPECT_EQ(poll.items.caption2, "Плановые работы в ночь на субботу");
  EXPECT_EQ(poll.items.link2, "http://news.example/item/1");
  EXPECT_EQ(poll.items.channel_link, "http://news.example/");
  EXPECT_FALSE(PollNewsFeed("http://news.example/item/2").announce);
}

TEST_F(News, Windows1251AndCdataFeedsShowTheSameTitles) {
  std::string utf8_caption = PollNewsFeed("").items.caption1;
  for (const char* variant : {"cp1251", "cdata"}) {
    isp_.Control(std::string("news=") + variant);
    NewsPollOutcome poll = PollNewsFeed("");
    EXPECT_EQ(poll.items.caption1, utf8_caption) << variant;
    EXPECT_TRUE(poll.announce) << variant;
  }
}

TEST_F(News, UnusableOrUnsafeFirstLinksAreNotAnnounced) {
  isp_.Control("news=html");
  EXPECT_FALSE(PollNewsFeed("").usable);
  for (const char* variant : {"https", "ctrl"}) {
    isp_.Control(std::string("news=") + variant);
    NewsPollOutcome poll = PollNewsFeed("");
    EXPECT_TRUE(poll.usable);
    EXPECT_FALSE(poll.announce) << variant;
    EXPECT_FALSE(poll.items.caption1.empty()) << variant;
  }
}

TEST_F(News, TitlesOf44And45Characters) {
  isp_.Control("news=title44");
  std::string t44 = PollNewsFeed("").items.caption1;
  EXPECT_EQ(t44.size(), 44u);
  isp_.Control("news=title45");
  EXPECT_EQ(PollNewsFeed("").items.caption1, t44 + "…");
}

}  // namespace
}  // namespace lum
