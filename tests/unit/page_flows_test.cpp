// The centre's page flows with the headless toolkit: the start sequence, the
// link table, the settings page round trip, and the statistics against the
// fake billing server.
#include <gtest/gtest.h>

#include <functional>

#include "billing/billing.h"
#include "fake_isp_client.h"
#include "pages/page_flows.h"
#include "platform/os.h"
#include "settings/credentials.h"
#include "settings/settings_file.h"
#include "test_env.h"
#include "toolkit/headless/headless.h"
#include "ui/center_form.h"

namespace lum {
namespace {

const char kProgram[] = "C:\\Lumora\\LumCenter.exe";

// A centre process: its own path, a temporary folder of the test's, and a
// record of what it starts and opens.
class Centre : public ForwardingOs {
 public:
  Centre(std::string program_folder, std::string temp)
      : ForwardingOs(Os()), folder_(std::move(program_folder)), temp_(std::move(temp)) {}
  std::string CommandLine() override { return "\"" + ModulePath() + "\""; }
  std::string ModulePath() override { return folder_ + "\\LumCenter.exe"; }
  std::string TempFolder() override { return temp_; }
  std::string ProgramResource(const std::string& name) override {
    return name == "CHM" ? resource : std::string();
  }
  void WinExec(const std::string& line, int) override { started.push_back(line); }
  void ShellOpen(uintptr_t, const std::string& target, int) override { opened.push_back(target); }
  bool SetCurrentFolder(const std::string& path) override {
    folders.push_back(path);
    return true;
  }
  // Windows keeps a file open while something reads it, and a delete fails.
  bool RemoveFile(const std::string& path) override {
    return held && held(path) ? false : ForwardingOs::RemoveFile(path);
  }

  std::string resource = "ITSF fake help file";
  std::function<bool(const std::string&)> held;
  std::vector<std::string> started, opened, folders;

 private:
  std::string folder_, temp_;
};

class PageFlows : public ::testing::Test {
 protected:
  void SetUp() override {
    headless::Reset();
    ResetCredentials();
    if (isp_.port()) {
      isp_.Control("reset=1");
      servers_ = std::make_unique<test::UseFakeServers>(isp_);
    }
    centre_ = std::make_unique<Centre>(program_.path(), temp_.path() + "\\");
    use_ = std::make_unique<ScopedOs>(*centre_);
  }
  void TearDown() override {
    if (form_) delete form_->MainForm;
    use_.reset();
    servers_.reset();
    ResetCredentials();
  }
  void StartCentre() {
    centre_->started.clear();
    form_ = BuildWindows();
    ASSERT_NE(form_, nullptr);
    ASSERT_NE(form_->PageHost, nullptr);
    centre_->started.clear();  // the agent it started
  }
  Browser& Host() { return *form_->PageHost; }
  // The page's document with its two figures, as the start page holds them.
  void LoadStartPage() { headless::LoadDocument(Host(), {{"stat-1", "..."}, {"stat-2", "..."}}); }
  // The page sends its links into its hidden frame "ifr".
  bool Follow(const std::string& url) { return headless::FollowLink(Host(), url, "ifr"); }

  test::FakeIsp isp_;
  std::unique_ptr<test::UseFakeServers> servers_;
  test::TempFolder program_, temp_, appdata_folder_;
  test::AppDataOverride appdata_{appdata_folder_.path()};
  std::unique_ptr<Centre> centre_;
  std::unique_ptr<ScopedOs> use_;
  CenterForm* form_ = nullptr;
};

TEST_F(PageFlows, StartWritesTheHelpFileAndNavigatesToIt) {
  StartCentre();
  const std::string chm = temp_.path() + "\\Temp.chm";
  EXPECT_EQ(test::ReadBytes(chm).value_or(""), centre_->resource);
  std::vector<std::string> went = headless::Navigations(Host());
  ASSERT_EQ(went.size(), 2u);
  EXPECT_EQ(went[0], kLoadingPage);
  EXPECT_EQ(went[1], "mk:@MSITStore:" + chm + "::/index.htm");
  EXPECT_EQ(Host().LocationUrl(), went[1]);
  EXPECT_TRUE(form_->MainForm->Visible());
}

TEST_F(PageFlows, AnHtmlFolderBesideTheProgramIsShownInstead) {
  test::Exists(program_.File("Html")) || Os().CreateFolder(program_.File("Html"));
  ASSERT_TRUE(test::WriteBytes(program_.File("Html\\index.htm"), "<html></html>"));
  StartCentre();
  EXPECT_FALSE(test::Exists(temp_.path() + "\\Temp.chm"));
  EXPECT_EQ(headless::Navigations(Host()).back(), program_.path() + "\\Html\\index.htm");
}

TEST_F(PageFlows, NoHelpFileMeansNoCentre) {
  use_.reset();  // scopes end in the reverse order of their start
  centre_ = std::make_unique<Centre>(program_.path(), temp_.path() + "\\missing\\");
  use_ = std::make_unique<ScopedOs>(*centre_);
  EXPECT_EQ(BuildWindows(), nullptr);
}

TEST_F(PageFlows, OutsideLinksOpenInTheUsersBrowserAndStayOffThePage) {
  StartCentre();
  std::string before = Host().LocationUrl();
  size_t navigations = headless::Navigations(Host()).size();
  // One followed by the page itself, one sent into its frame.
  EXPECT_FALSE(headless::FollowLink(Host(), "http://lumora.example/tariffs", ""));
  EXPECT_FALSE(Follow("ftp://files.example/x"));
  EXPECT_EQ(centre_->opened,
            (std::vector<std::string>{"http://lumora.example/tariffs", "ftp://files.example/x"}));
  EXPECT_EQ(Host().LocationUrl(), before);
  EXPECT_EQ(headless::Navigations(Host()).size(), navigations);
  // Other schemes and other spellings load inside.
  EXPECT_TRUE(Follow("https://lumora.example/"));
  EXPECT_TRUE(Follow("HTTP://lumora.example/"));
  EXPECT_EQ(centre_->opened.size(), 2u);
}

TEST_F(PageFlows, SpecLinksMatchWholeAndCaseSensitively) {
  StartCentre();
  for (const char* link : {"spec:CONF", "spec:conf ", "spec:stat2", "spec:modem", "spec:unknown"}) {
    EXPECT_TRUE(Follow(link)) << link;
  }
  EXPECT_FALSE(form_->SettingsPage->Visible());
  EXPECT_FALSE(form_->StatisticsTimer->Running());
  EXPECT_TRUE(centre_->started.empty());
  EXPECT_TRUE(centre_->opened.empty());
}

TEST_F(PageFlows, TheMakersPagesOpenInTheHtmlApplicationHost) {
  if (!isp_.port()) GTEST_SKIP() << "fake servers not running";
  StartCentre();
  ASSERT_TRUE(Follow("spec:radio"));
  ASSERT_TRUE(Follow("spec:soft-intro"));
  const std::string root = "http://" + isp_.host_port();
  ASSERT_EQ(centre_->started.size(), 2u);
  EXPECT_EQ(centre_->started[0], "MsHta.exe \"" + root + "/new/radio?hta\"");
  EXPECT_EQ(centre_->started[1], "MsHta.exe \"" + root + "/files/disk/soft-intro.htm\"");
}

TEST_F(PageFlows, StatusLinkWithoutARouterShowsTheSettingsPage) {
  StartCentre();
  ASSERT_TRUE(Follow("spec:wizstat"));
  EXPECT_TRUE(form_->SettingsPage->Visible());
  EXPECT_TRUE(centre_->started.empty());
}

TEST_F(PageFlows, StatusLinkWithARouterStartsTheToolTwiceFromTheProgramsFolder) {
  StoreCredentials(2, "r", "u", "p");
  StartCentre();
  ASSERT_TRUE(Follow("spec:wizstat"));
  EXPECT_FALSE(form_->SettingsPage->Visible());
  EXPECT_EQ(centre_->started, (std::vector<std::string>{"\"..\\Quorvel\\Tarvik.exe\" /status",
                                                        "\"Tarvik.exe\" /status"}));
  EXPECT_EQ(centre_->folders.back(), program_.path() + "\\");
}

TEST_F(PageFlows, SettingsPageRoundTrip) {
  StoreCredentials(9, "rp", "old", "pw");
  StartCentre();
  LoadStartPage();
  ASSERT_TRUE(Follow("spec:conf"));
  Panel& page = *form_->SettingsPage;
  EXPECT_TRUE(page.Visible());
  EXPECT_EQ(page.Bounds(), (Rect{0, 64, 552, 404}));
  EXPECT_EQ(page.GetEdge(), Panel::Edge::None);
  EXPECT_EQ(page.ZOrder().size(), page.Children().size());
  EXPECT_EQ(form_->ClientPanel->ZOrder().front(), &page);
  EXPECT_EQ(form_->LoginEdit->Text(), "old");
  EXPECT_EQ(form_->RouterModelCombo->ItemIndex(), -1);  // 9 is no model
  EXPECT_TRUE(form_->LoginEdit->Focused());
  ASSERT_TRUE(headless::TypeText(*form_->LoginEdit, "new user"));
  ASSERT_TRUE(headless::ChooseItem(*form_->RouterModelCombo, 3));
  size_t navigations = headless::Navigations(Host()).size();
  ASSERT_TRUE(headless::PressKey(*form_->LoginEdit, Key::Enter));
  EXPECT_FALSE(page.Visible());
  EXPECT_EQ(ReadIniValue(SettingsFilePath(), "Settings", "auth", ""),
            ScrambleRecord("3|rp|new user|pw|"));
  EXPECT_EQ(Login, "new user");
  EXPECT_EQ(RouterModelIndex, 3);
  // The page on screen is loaded afresh.
  std::vector<std::string> went = headless::Navigations(Host());
  ASSERT_EQ(went.size(), navigations + 1);
  EXPECT_EQ(went.back(), went[navigations - 1]);
}

TEST_F(PageFlows, TwoStatLinksWithin100msFetchOnce) {
  if (!isp_.port()) GTEST_SKIP() << "fake servers not running";
  StoreCredentials(0, "r", "user", "secret");
  StartCentre();
  LoadStartPage();
  isp_.Control("reset=1");
  ASSERT_TRUE(Follow("spec:stat"));
  headless::AdvanceTime(50);
  ASSERT_TRUE(Follow("spec:stat"));
  headless::AdvanceTime(50);
  EXPECT_FALSE(form_->StatisticsTimer->Running());
  headless::AdvanceTime(1000);
  EXPECT_EQ(isp_.CountRequests("/pls/startip/www.GetHomePage"), 1);
  EXPECT_EQ(headless::ElementHtml(Host(), "stat-1"), "Домашний 100");
  EXPECT_EQ(headless::ElementHtml(Host(), "stat-2"), "51 ГБайт");
}

TEST_F(PageFlows, AFailedLoginWritesNoDataToBoth) {
  if (!isp_.port()) GTEST_SKIP() << "fake servers not running";
  StoreCredentials(0, "r", "user", "wrong");
  StartCentre();
  LoadStartPage();
  isp_.Control("reset=1");
  ASSERT_TRUE(Follow("spec:stat"));
  headless::AdvanceTime(100);
  EXPECT_EQ(headless::ElementHtml(Host(), "stat-1"), kNoData);
  EXPECT_EQ(headless::ElementHtml(Host(), "stat-2"), kNoData);
  EXPECT_EQ(isp_.CountRequests("/pls/startip/www.PageViewer"), 0);
}

TEST_F(PageFlows, BillingSiteLinkOpensTheHomePageAfterLogin) {
  if (!isp_.port()) GTEST_SKIP() << "fake servers not running";
  StoreCredentials(0, "r", "user", "secret");
  StartCentre();
  ASSERT_TRUE(Follow("spec:stat-site"));
  ASSERT_EQ(centre_->opened.size(), 1u);
  EXPECT_EQ(centre_->opened[0],
            isp_.Url("/pls/startip/www.ViewHomePage?p_logname=user&p_chksum=DC57C0F5"));
}

TEST_F(PageFlows, AFailingControlOrAMissingElementChangesNothing) {
  StartCentre();
  LoadStartPage();
  const std::string location = Host().LocationUrl();
  const size_t navigations = headless::Navigations(Host()).size();
  headless::SetNavigateFails(Host(), true);
  ReloadPage(*form_);
  // The page shown stays, with its document, and the program goes on.
  EXPECT_EQ(Host().LocationUrl(), location);
  EXPECT_EQ(headless::Navigations(Host()).size(), navigations);
  EXPECT_TRUE(form_->MainForm->Visible());
  EXPECT_FALSE(headless::QuitPosted());
  SetElementHtml(*form_, "stat-1", "<b>x</b>");
  EXPECT_EQ(headless::ElementHtml(Host(), "stat-1"), "<b>x</b>");
  headless::SetNavigateFails(Host(), false);
  LoadStartPage();
  SetElementHtml(*form_, "no-such-id", "<b>y</b>");
  EXPECT_FALSE(headless::HasElement(Host(), "no-such-id"));
  EXPECT_EQ(headless::ElementHtml(Host(), "stat-1"), "...");
  EXPECT_EQ(headless::ElementHtml(Host(), "stat-2"), "...");
}

TEST_F(PageFlows, ClosingTheCentreRemovesTheHelpFileAndEndsTheLoop) {
  StartCentre();
  ASSERT_TRUE(test::Exists(temp_.path() + "\\Temp.chm"));
  headless::RequestClose(*form_->MainForm);
  EXPECT_TRUE(headless::QuitPosted());
  EXPECT_FALSE(test::Exists(temp_.path() + "\\Temp.chm"));
}

TEST_F(PageFlows, ClosingTheCentreLetsThePageHostGoOfTheHelpFileFirst) {
  // The help protocol keeps the file open for as long as the page host
  // shows a page of it.
  centre_->held = [&](const std::string& path) {
    return form_ && form_->PageHost &&
           form_->PageHost->LocationUrl().find(path) != std::string::npos;
  };
  StartCentre();
  const std::string chm = temp_.path() + "\\Temp.chm";
  ASSERT_EQ(Host().LocationUrl(), HelpFileUrl(chm));
  headless::RequestClose(*form_->MainForm);
  EXPECT_FALSE(test::Exists(chm));
}

}  // namespace
}  // namespace lum
