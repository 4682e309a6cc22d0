// The window set of the centre and the agent with the headless toolkit:
// what is built, how the agent's popup behaves, the news timer rule.
#include <gtest/gtest.h>

#include "net/text_ops.h"
#include "platform/os.h"
#include "settings/credentials.h"
#include "settings/settings_file.h"
#include "test_env.h"
#include "toolkit/headless/headless.h"
#include "ui/center_form.h"
#include "ui/news_popup.h"

namespace lum {
namespace {

std::string Feed(const std::string& first_link) {
  return "<rss><channel><title>L</title><link>http://news.example/</link>"
         "<item><title>Первая новость</title><link>" + first_link + "</link></item>"
         "<item><title>Вторая</title><link>file:///C:/Windows/system32/calc.exe</link></item>"
         "</channel></rss>";
}

// The process as started with a command line, answering the news feed and
// recording what it starts, opens and plays.
class Process : public ForwardingOs {
 public:
  explicit Process(std::string argument) : ForwardingOs(NativeOs()), argument_(std::move(argument)) {}
  std::string CommandLine() override { return "\"C:\\Program Files\\Lumora\\LumCenter.exe\"" + argument_; }
  std::string ModulePath() override { return "C:\\Program Files\\Lumora\\LumCenter.exe"; }
  bool HttpExchange(const HttpCall& call, const BodySink& sink) override {
    ++fetches;
    last_path = call.path;
    if (!feed.empty()) sink(feed);
    return !feed.empty();
  }
  void WinExec(const std::string& line, int) override { started.push_back(line); }
  void ShellOpen(uintptr_t, const std::string& target, int) override { opened.push_back(target); }
  PathKind ProbePath(const std::string& path) override {
    if (path.find("\\Media\\") != std::string::npos) return sounds ? PathKind::File : PathKind::None;
    return inner_.ProbePath(path);
  }
  std::string WindowsFolder() override { return "C:\\Windows"; }
  void PlaySoundFile(const std::string& path) override { played.push_back(path); }
  bool RemoveFile(const std::string& path) override {
    removed.push_back(path);
    return true;
  }
  std::string TempFolder() override { return temp; }
  std::string ProgramResource(const std::string&) override { return "help"; }

  std::string temp;
  std::string feed = Feed("http://news.example/item/2");
  int fetches = 0;
  std::string last_path;
  bool sounds = true;
  std::vector<std::string> started, opened, played, removed;

 private:
  std::string argument_;
};

class WindowSet : public ::testing::Test {
 protected:
  void Start(const std::string& argument) {
    headless::Reset();
    use_.reset();  // a second start in one test: the first process's Os goes first
    process_ = std::make_unique<Process>(argument);
    process_->temp = temp_.path() + "\\";
    use_ = std::make_unique<ScopedOs>(*process_);
    ResetCredentials();
    LastLink.clear();
    form_ = BuildWindows();
    ASSERT_NE(form_, nullptr);
  }
  void TearDown() override {
    if (form_) delete form_->MainForm;
    use_.reset();
    ResetCredentials();
  }

  test::TempFolder folder_, temp_;
  test::AppDataOverride appdata_{folder_.path()};
  std::unique_ptr<Process> process_;
  std::unique_ptr<ScopedOs> use_;
  CenterForm* form_ = nullptr;
};

TEST_F(WindowSet, TheCentreIsAFixedWindowThatStartsTheAgent) {
  Start("");
  Form& main = *form_->MainForm;
  EXPECT_EQ(main.ClassName(), "LumCenterMainWndClass");
  EXPECT_EQ(main.ClientSize(), (Size{552, 404}));
  EXPECT_EQ(main.Text(), "Центр Lumora Верескинск");
  EXPECT_TRUE(main.Visible());
  EXPECT_FALSE(main.MaximizeBox());
  EXPECT_TRUE(main.FixedSize());
  EXPECT_EQ(main.Left(), (1024 - main.Width()) / 2);
  EXPECT_EQ(main.Top(), (768 - main.Height()) / 2);
  ASSERT_EQ(process_->started.size(), 1u);
  EXPECT_EQ(process_->started[0], "\"C:\\Program Files\\Lumora\\LumCenter.exe\" /agent");
  EXPECT_FALSE(form_->SettingsPage->Visible());
  EXPECT_FALSE(form_->NewsPanel->Visible());
  EXPECT_FALSE(form_->TrayIcon->Active());
  EXPECT_FALSE(form_->NewsTimer->Running());
  EXPECT_FALSE(form_->StatisticsTimer->Running());
}

TEST_F(WindowSet, TheSettingsPageIsLaidOutWithItsDefaults) {
  Start("");
  EXPECT_EQ(form_->SettingsPage->Bounds(), (Rect{8, 8, 561, 353}));
  EXPECT_EQ(form_->LoginEdit->Bounds(), (Rect{165, 58, 462, 80}));
  EXPECT_TRUE(form_->PasswordEdit->Masked());
  EXPECT_TRUE(form_->RouterPasswordEdit->Masked());
  EXPECT_EQ(form_->RouterPasswordEdit->Text(), "tokra");
  EXPECT_EQ(form_->RouterModelCombo->Items().size(), 6u);
  EXPECT_EQ(form_->RouterModelCombo->Items()[0], "Не выбрано");
  EXPECT_EQ(form_->RouterModelCombo->ItemIndex(), 0);
  EXPECT_EQ(form_->OkButton->Bounds(), (Rect{465, 309, 540, 333}));
  EXPECT_TRUE(form_->OkButton->IsDefault());
  EXPECT_TRUE(form_->CredentialsHeading->GetFont().bold);
  EXPECT_EQ(form_->CredentialsHeading->GetFont().height, 12);
  EXPECT_FALSE(form_->LoginLabel->GetFont().bold);
  EXPECT_EQ(form_->LoginEdit->GetColor(), SysColor(kColorWindow));
  // Enter does nothing while the page is hidden, even where the system
  // would still deliver it to the login edit.
  EXPECT_FALSE(form_->MainForm->HandleKey(*form_->LoginEdit, Key::Enter));
  EXPECT_FALSE(test::Exists(SettingsFilePath()));
}

TEST_F(WindowSet, TheAgentIsAHiddenRoundedPopupWithATrayIcon) {
  Start(" /agent");
  Form& main = *form_->MainForm;
  EXPECT_EQ(main.ClassName(), "LumCenterAgentWndClass");
  EXPECT_TRUE(process_->started.empty());
  EXPECT_FALSE(main.Visible());
  EXPECT_TRUE(main.Topmost());
  EXPECT_TRUE(main.ToolWindow());
  EXPECT_FALSE(main.Caption());
  EXPECT_EQ(main.Width(), 345);
  EXPECT_EQ(main.Height(), 65);
  ASSERT_NE(main.Region(), nullptr);
  EXPECT_EQ(main.Region()->rect, (Rect{0, 0, 346, 66}));
  EXPECT_EQ(form_->NewsPanel->Bounds(), (Rect{1, 1, 344, 64}));
  EXPECT_TRUE(form_->TrayIcon->Active());
  EXPECT_EQ(form_->TrayIcon->Tip(), "Центр Lumora Верескинск");
  EXPECT_TRUE(headless::InNotificationArea(*form_->TrayIcon));
  EXPECT_TRUE(form_->NewsTimer->Running());
  EXPECT_EQ(form_->NewsTimer->Interval(), 5000u);
  std::vector<headless::IconDrawn> drawn = headless::Paint(*form_->NewsIcon);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].resource, "RSSICON");
  EXPECT_EQ(drawn[0].load_width, 48);
  // Closing the agent deletes nothing.
  headless::RequestClose(main);
  EXPECT_TRUE(headless::QuitPosted());
  EXPECT_TRUE(process_->removed.empty());
}

TEST_F(WindowSet, TheFirstTickAnnouncesAndSetsThe15MinuteInterval) {
  Start(" /agent");
  headless::AdvanceTime(4999);
  EXPECT_EQ(process_->fetches, 0);
  headless::AdvanceTime(1);
  EXPECT_EQ(process_->fetches, 1);
  EXPECT_EQ(process_->last_path, "/new/news-rss");
  EXPECT_EQ(form_->NewsTimer->Interval(), 900000u);
  Form& popup = *form_->MainForm;
  EXPECT_TRUE(popup.Visible());
  EXPECT_EQ(popup.Left(), 1024 - 345 - 10);
  EXPECT_EQ(popup.Top(), 768 - 30 - 65 - 10);
  EXPECT_EQ(form_->ItemLabel1->Text(), "Первая новость");
  EXPECT_EQ(form_->ItemLabel2->Text(), "Вторая");
  EXPECT_EQ(process_->played, std::vector<std::string>{"C:\\Windows\\Media\\Notify.wav"});
  EXPECT_EQ(ReadIniValue(SettingsFilePath(), "Settings", "lastlink", ""), "http://news.example/item/2");
  // While the popup is up, ticks fetch nothing.
  headless::AdvanceTime(900000);
  EXPECT_EQ(process_->fetches, 1);
}

TEST_F(WindowSet, AKnownItemIsNotAnnouncedAndAFailedFetchKeepsTheInterval) {
  WriteIniValue(SettingsFilePath(), "Settings", "lastlink", "http://news.example/item/2");
  Start(" /agent");
  headless::AdvanceTime(5000);
  EXPECT_FALSE(form_->MainForm->Visible());
  EXPECT_TRUE(process_->played.empty());
  process_->feed.clear();
  headless::AdvanceTime(900000);
  EXPECT_EQ(process_->fetches, 2);
  EXPECT_EQ(form_->NewsTimer->Interval(), 900000u);
  EXPECT_FALSE(form_->MainForm->Visible());
}

// The settings file gives back such a link trimmed or cut, which must still
// count as the item announced, in the same run and after a restart.
TEST_F(WindowSet, AnItemWhoseLinkTheFileTrimsOrCutsIsAnnouncedOnce) {
  for (const std::string& link :
       {std::string("http://news.example/item/2 "), "http://news.example/" + std::string(5000, 'x')}) {
    WriteIniValue(SettingsFilePath(), "Settings", "lastlink", "");
    Start(" /agent");
    process_->feed = Feed(link);
    headless::AdvanceTime(5000);
    ASSERT_TRUE(form_->MainForm->Visible());
    ASSERT_TRUE(headless::Click(*form_->ItemLabel1));
    EXPECT_EQ(process_->opened, std::vector<std::string>{link}) << "the item's own link opens";
    ASSERT_TRUE(headless::Click(*form_->CloseGlyph));
    headless::AdvanceTime(900000);
    EXPECT_EQ(process_->fetches, 2);
    EXPECT_FALSE(form_->MainForm->Visible()) << "announced again in the same run";
    delete form_->MainForm;
    form_ = nullptr;

    Start(" /agent");
    process_->feed = Feed(link);
    headless::AdvanceTime(5000);
    EXPECT_EQ(process_->fetches, 1);
    EXPECT_FALSE(form_->MainForm->Visible()) << "announced again after a restart";
    EXPECT_TRUE(process_->played.empty());
    delete form_->MainForm;
    form_ = nullptr;
  }
}

TEST_F(WindowSet, NewsFromTheMenuShowsTheNewestItemAgain) {
  WriteIniValue(SettingsFilePath(), "Settings", "lastlink", "http://news.example/item/2");
  Start(" /agent");
  process_->sounds = false;
  ASSERT_TRUE(headless::TrayMouse(*form_->TrayIcon, kMouseRightUp));
  ASSERT_EQ(headless::MenusShown().size(), 1u);
  EXPECT_TRUE(form_->TrayMenu->Items()[0].is_default);
  EXPECT_EQ(form_->TrayMenu->Items()[0].text, "Открыть");
  EXPECT_EQ(form_->TrayMenu->Items()[3].text, "Выход");
  ASSERT_TRUE(headless::ChooseMenuItem(*form_->TrayMenu, 1));
  EXPECT_TRUE(form_->MainForm->Visible());
  EXPECT_TRUE(process_->played.empty());  // no sound file: shown silently
  // The first tick still sets the interval, and returns at once.
  headless::AdvanceTime(5000);
  EXPECT_EQ(form_->NewsTimer->Interval(), 900000u);
  EXPECT_EQ(process_->fetches, 1);
}

TEST_F(WindowSet, PopupClicksOpenOnlyWebLinksAndTheGlyphHides) {
  Start(" /agent");
  headless::AdvanceTime(5000);
  ASSERT_TRUE(form_->MainForm->Visible());
  ASSERT_TRUE(headless::Click(*form_->ItemLabel1));
  ASSERT_TRUE(headless::Click(*form_->HeadingLabel));
  ASSERT_TRUE(headless::Click(*form_->ItemLabel2));  // a local file: not opened
  EXPECT_EQ(process_->opened,
            (std::vector<std::string>{"http://news.example/item/2", "http://news.example/"}));
  EXPECT_TRUE(form_->MainForm->Visible());
  ASSERT_TRUE(headless::Click(*form_->CloseGlyph));
  EXPECT_FALSE(form_->MainForm->Visible());
  EXPECT_TRUE(form_->TrayIcon->Active());
}

TEST_F(WindowSet, TrayDoubleClickOpensTheCentreAndExitEndsTheAgent) {
  Start(" /agent");
  ASSERT_TRUE(headless::TrayMouse(*form_->TrayIcon, kMouseLeftUp));
  EXPECT_TRUE(process_->started.empty());
  ASSERT_TRUE(headless::TrayMouse(*form_->TrayIcon, kMouseLeftDoubleClick));
  EXPECT_EQ(headless::CaptureReleases(), 1);
  EXPECT_EQ(process_->started, std::vector<std::string>{"\"C:\\Program Files\\Lumora\\LumCenter.exe\""});
  ASSERT_TRUE(headless::TrayMouse(*form_->TrayIcon, kMouseRightUp));
  ASSERT_TRUE(headless::ChooseMenuItem(*form_->TrayMenu, 3));
  EXPECT_FALSE(headless::QuitPosted());  // a close request is posted, then handled
  ProcessMessages();
  EXPECT_TRUE(headless::QuitPosted());
}

TEST_F(WindowSet, ASecondCopyOfARunningModeEndsWithoutAWindow) {
  headless::Reset();
  headless::AddForeignWindow("LumCenterAgentWndClass");
  Process agent(" /agent");
  ScopedOs use(agent);
  EXPECT_EQ(BuildWindows(), nullptr);
  EXPECT_EQ(headless::ForegroundChanges().size(), 1u);
  headless::AddForeignWindow("LumCenterMainWndClass");
  Process centre("");
  ScopedOs use_centre(centre);
  EXPECT_EQ(BuildWindows(), nullptr);
  EXPECT_TRUE(centre.started.empty());  // an agent runs already
  EXPECT_FALSE(test::Exists(SettingsFilePath()));
}

}  // namespace
}  // namespace lum
