// The user's and the system's actions on window objects without a screen:
// clicks, keys, timers, close requests, the tray icon and its menu.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "toolkit/headless/headless.h"
#include "toolkit/toolkit.h"

namespace lum {
namespace {

// What the program's handlers receive: their record.
struct Record {
  std::vector<std::string> log;
  Control* sender = nullptr;
  int message = 0;
  Timer* stop_on_tick = nullptr;
};

void Saved(Record& r) { r.log.push_back("saved"); }
void Clicked(Record& r, Control& sender) {
  r.log.push_back("click");
  r.sender = &sender;
}
void Ticked(Record& r) {
  r.log.push_back("tick");
  if (r.stop_on_tick) r.stop_on_tick->Stop();
}
void Mouse(Record& r, TrayIcon&, int message) { r.message = message; }
void Opened(Record& r) { r.log.push_back("open"); }
void Exited(Record& r, PopupMenu& menu, int index) {
  r.log.push_back("exit " + std::to_string(index));
  menu.OwnerForm().PostClose();
}
void Closing(Record& r, Form&, bool&) { r.log.push_back("closing"); }
void Refusing(Record& r, Form&, bool& accept) {
  r.log.push_back("refused");
  accept = false;
}
void Throwing(Record&, Control&) { throw std::runtime_error("handler failed"); }
void PaintIcon(Record&, PaintBox&, Canvas& canvas) {
  canvas.DrawIconResource("RSSICON", 48, 48, 0, 0);
}

class ToolkitEvents : public ::testing::Test {
 protected:
  void SetUp() override { headless::Reset(); }
  void TearDown() override { SetMainForm(nullptr); }
  Record record;
  Form form;
};

// --- clicks and handlers ---

TEST_F(ToolkitEvents, ClickReachesTheBoundOperationWithItsRecordAndSender) {
  Label& label = Make<Label>(form);
  Button& button = Make<Button>(form);
  label.OnClick = Bind<Clicked>(record);
  button.OnClick = Bind<Saved>(record);  // the operation ignores the sender
  form.Show();

  EXPECT_TRUE(headless::Click(label));
  EXPECT_EQ(record.sender, &label);
  EXPECT_TRUE(headless::Click(button));
  EXPECT_EQ(record.log, (std::vector<std::string>{"click", "saved"}));
}

TEST_F(ToolkitEvents, HiddenOrDisabledControlsCannotBeClicked) {
  Panel& page = Make<Panel>(form);
  Button& button = Make<Button>(page);
  button.OnClick = Bind<Saved>(record);
  form.Show();
  page.Hide();
  EXPECT_FALSE(headless::Click(button));
  page.Show();
  button.SetEnabled(false);
  EXPECT_FALSE(headless::Click(button));
  EXPECT_TRUE(record.log.empty());
}

TEST_F(ToolkitEvents, AnExceptionInAHandlerStopsAtTheWindowBoundary) {
  Label& label = Make<Label>(form);
  label.OnClick = Bind<Throwing>(record);
  form.Show();
  EXPECT_NO_THROW(headless::Click(label));
}

TEST_F(ToolkitEvents, TypingAndChoosingUpdateTheObjects) {
  Edit& edit = Make<Edit>(form);
  ComboBox& combo = Make<ComboBox>(form);
  combo.AddItem("Не выбрано");
  combo.AddItem("Модель");
  edit.OnChange = Bind<Clicked>(record);
  form.Show();
  EXPECT_TRUE(headless::TypeText(edit, "логин"));
  EXPECT_EQ(edit.Text(), "логин");
  EXPECT_EQ(record.sender, &edit);
  EXPECT_TRUE(headless::ChooseItem(combo, 1));
  EXPECT_EQ(combo.ItemIndex(), 1);
  EXPECT_FALSE(headless::ChooseItem(combo, 2));
}

// --- keys ---

class ToolkitKeys : public ToolkitEvents {
 protected:
  void SetUp() override {
    ToolkitEvents::SetUp();
    page = &Make<Panel>(form);
    login = &Make<Edit>(*page);
    Make<Label>(*page);
    password = &Make<Edit>(*page);
    combo = &Make<ComboBox>(*page);
    ok = &Make<Button>(*page);
    elsewhere = &Make<Edit>(form);
    ok->OnClick = Bind<Saved>(record);
    form.SetDefaultButton(ok);
    form.Show();
  }
  Panel* page;
  Edit* login;
  Edit* password;
  ComboBox* combo;
  Button* ok;
  Edit* elsewhere;
};

TEST_F(ToolkitKeys, EnterInAControlOfTheShownPageClicksTheDefaultButton) {
  EXPECT_TRUE(headless::PressKey(*login, Key::Enter));
  EXPECT_TRUE(headless::PressKey(*combo, Key::Enter));
  EXPECT_EQ(record.log, (std::vector<std::string>{"saved", "saved"}));
  EXPECT_TRUE(ok->IsDefault());
}

TEST_F(ToolkitKeys, EnterOutsideThePageOrWithItsButtonUnreachableDoesNothing) {
  EXPECT_FALSE(headless::PressKey(*elsewhere, Key::Enter));
  ok->Hide();
  EXPECT_FALSE(headless::PressKey(*login, Key::Enter));
  ok->Show();
  ok->SetEnabled(false);
  EXPECT_FALSE(headless::PressKey(*login, Key::Enter));
  ok->SetEnabled(true);
  // A system may still hand a key to a control of a hidden page; the form
  // itself must refuse it.
  page->Hide();
  EXPECT_FALSE(form.HandleKey(*login, Key::Enter));
  EXPECT_TRUE(record.log.empty());
}

TEST_F(ToolkitKeys, FreedDefaultButtonIsForgotten) {
  delete ok;
  EXPECT_EQ(form.DefaultButton(), nullptr);
  EXPECT_FALSE(headless::PressKey(*login, Key::Enter));
}

TEST_F(ToolkitKeys, TabMovesFocusInCreationOrderSkippingWhatCannotTakeIt) {
  login->SetFocus();
  ASSERT_TRUE(login->Focused());
  password->SetEnabled(false);
  std::vector<Control*> visited;
  for (int i = 0; i < 4; ++i) {
    Control* from = nullptr;
    for (Control* c : {static_cast<Control*>(login), static_cast<Control*>(combo),
                       static_cast<Control*>(ok), static_cast<Control*>(elsewhere)})
      if (c->Focused()) from = c;
    ASSERT_NE(from, nullptr);
    ASSERT_TRUE(headless::PressKey(*from, Key::Tab));
    for (Control* c : {static_cast<Control*>(login), static_cast<Control*>(combo),
                       static_cast<Control*>(ok), static_cast<Control*>(elsewhere)})
      if (c->Focused()) visited.push_back(c);
  }
  EXPECT_EQ(visited, (std::vector<Control*>{combo, ok, elsewhere, login}));

  ASSERT_TRUE(headless::PressKey(*login, Key::Tab, /*shift=*/true));
  EXPECT_TRUE(elsewhere->Focused());
  elsewhere->Hide();
  ASSERT_TRUE(headless::PressKey(*ok, Key::Tab));
  EXPECT_TRUE(login->Focused());  // the hidden one is passed over, and it wraps
}

TEST_F(ToolkitKeys, EnterOnAFocusedButtonClicksThatButton) {
  Button& other = Make<Button>(form);
  other.OnClick = Bind<Clicked>(record);
  EXPECT_TRUE(headless::PressKey(other, Key::Enter));
  EXPECT_EQ(record.log, (std::vector<std::string>{"click"}));
}

// --- timers ---

class ToolkitTimers : public ToolkitEvents {
 protected:
  void SetUp() override {
    ToolkitEvents::SetUp();
    timer = &Make<Timer>(form, 100u);
    timer->OnTick = Bind<Ticked>(record);
  }
  size_t Ticks() const { return record.log.size(); }
  Timer* timer;
};

TEST_F(ToolkitTimers, CreatedStopped) {
  EXPECT_FALSE(timer->Running());
  headless::AdvanceTime(1000);
  EXPECT_EQ(Ticks(), 0u);
  EXPECT_FALSE(headless::FireTimer(*timer));
}

TEST_F(ToolkitTimers, TicksEveryInterval) {
  timer->Start();
  headless::AdvanceTime(99);
  EXPECT_EQ(Ticks(), 0u);
  headless::AdvanceTime(1);
  EXPECT_EQ(Ticks(), 1u);
  headless::AdvanceTime(200);
  EXPECT_EQ(Ticks(), 3u);
}

TEST_F(ToolkitTimers, StartingARunningTimerChangesNothing) {
  timer->Start();
  headless::AdvanceTime(50);
  timer->Start();
  headless::AdvanceTime(50);
  EXPECT_EQ(Ticks(), 1u);  // due at 100, not at 150
}

TEST_F(ToolkitTimers, ATickThatStopsItsTimerRunsOnce) {
  record.stop_on_tick = timer;
  timer->Start();
  timer->Start();
  headless::AdvanceTime(1000);
  EXPECT_EQ(Ticks(), 1u);
  EXPECT_FALSE(timer->Running());
}

TEST_F(ToolkitTimers, NewIntervalOfARunningTimerStartsTheIntervalAnew) {
  timer->SetInterval(5000);
  timer->Start();
  headless::AdvanceTime(3000);
  timer->SetInterval(900000);
  headless::AdvanceTime(2000);
  EXPECT_EQ(Ticks(), 0u);
  headless::AdvanceTime(897999);
  EXPECT_EQ(Ticks(), 0u);
  headless::AdvanceTime(1);
  EXPECT_EQ(Ticks(), 1u);
  EXPECT_EQ(headless::Now(), 903000u);
}

TEST_F(ToolkitTimers, SameIntervalOrAStoppedTimerIsNotRestarted) {
  timer->SetInterval(5000);
  timer->Start();
  headless::AdvanceTime(3000);
  timer->SetInterval(5000);
  headless::AdvanceTime(2000);
  EXPECT_EQ(Ticks(), 1u);

  timer->Stop();
  timer->SetInterval(100);
  EXPECT_FALSE(timer->Running());
  headless::AdvanceTime(1000);
  EXPECT_EQ(Ticks(), 1u);
}

// --- close and quit ---

TEST_F(ToolkitEvents, AcceptedCloseOfTheMainFormPostsQuit) {
  SetMainForm(&form);
  form.OnClose = Bind<Closing>(record);
  form.Show();
  headless::RequestClose(form);
  EXPECT_EQ(record.log, (std::vector<std::string>{"closing"}));
  EXPECT_TRUE(headless::QuitPosted());
  EXPECT_EQ(headless::QuitCode(), 0);
}

TEST_F(ToolkitEvents, RefusedCloseOrAnotherFormDoesNotQuit) {
  SetMainForm(&form);
  form.OnClose = Bind<Refusing>(record);
  form.Show();
  headless::RequestClose(form);
  EXPECT_FALSE(headless::QuitPosted());
  EXPECT_TRUE(form.Visible());

  Form other;
  other.Show();
  headless::RequestClose(other);  // not the main form: it only hides
  EXPECT_FALSE(headless::QuitPosted());
  EXPECT_FALSE(other.Visible());
}

TEST_F(ToolkitEvents, PostedCloseIsHandledByTheMessageLoop) {
  SetMainForm(&form);
  form.OnClose = Bind<Closing>(record);
  form.CreateHandle();
  form.PostClose();
  EXPECT_TRUE(record.log.empty());  // not before the loop runs
  RunMessageLoop();
  EXPECT_EQ(record.log, (std::vector<std::string>{"closing"}));
  EXPECT_TRUE(headless::QuitPosted());
}

// --- tray icon and menu ---

TEST_F(ToolkitEvents, TrayIconIsInTheAreaOnlyWhileActiveWithAnImage) {
  TrayIcon& icon = Make<TrayIcon>(form);
  EXPECT_FALSE(headless::InNotificationArea(icon));
  icon.SetActive(true);
  EXPECT_FALSE(headless::InNotificationArea(icon));  // no image yet
  icon.SetIcon("RSSICON");
  icon.SetTip("Центр Lumora Верескинск");
  EXPECT_TRUE(headless::InNotificationArea(icon));
  EXPECT_TRUE(form.HandleAllocated());  // its messages need the window
  icon.SetActive(false);
  EXPECT_FALSE(headless::InNotificationArea(icon));

  TrayIcon& broken = Make<TrayIcon>(form);
  headless::SetIconMissing("BROKEN");
  broken.SetIcon("BROKEN");
  broken.SetActive(true);
  EXPECT_FALSE(headless::InNotificationArea(broken));
}

TEST_F(ToolkitEvents, TrayIconComesBackWhenTheTaskbarIsRebuilt) {
  TrayIcon& active = Make<TrayIcon>(form);
  TrayIcon& inactive = Make<TrayIcon>(form);
  active.SetIcon("RSSICON");
  inactive.SetIcon("RSSICON");
  active.SetActive(true);
  ASSERT_EQ(headless::TimesAdded(active), 1);
  headless::RestartTaskbar();
  EXPECT_EQ(headless::TimesAdded(active), 2);
  EXPECT_TRUE(headless::InNotificationArea(active));
  EXPECT_FALSE(headless::InNotificationArea(inactive));
  EXPECT_EQ(headless::TimesAdded(inactive), 0);
}

TEST_F(ToolkitEvents, TrayMouseMessagesReachTheHandler) {
  TrayIcon& icon = Make<TrayIcon>(form);
  icon.OnMouse = Bind<Mouse>(record);
  icon.SetIcon("RSSICON");
  EXPECT_FALSE(headless::TrayMouse(icon, kMouseRightUp));  // not in the area yet
  icon.SetActive(true);
  EXPECT_TRUE(headless::TrayMouse(icon, kMouseLeftDoubleClick));
  EXPECT_EQ(record.message, 0x203);
}

TEST_F(ToolkitEvents, MenuOpensAtThePointGivenAndRunsTheChosenItem) {
  PopupMenu& menu = Make<PopupMenu>(form);
  menu.Add("Открыть", Bind<Opened>(record), /*is_default=*/true);
  menu.Add("Новости");
  menu.Add("-");
  menu.Add("Выход", Bind<Exited>(record));
  SetMainForm(&form);
  headless::SetCursorPos({1000, 740});

  menu.Popup(CursorPos());
  ASSERT_EQ(headless::MenusShown().size(), 1u);
  EXPECT_EQ(headless::MenusShown()[0].menu, &menu);
  EXPECT_EQ(headless::MenusShown()[0].at, (Point{1000, 740}));
  EXPECT_TRUE(record.log.empty());

  EXPECT_TRUE(menu.Items()[0].is_default);
  EXPECT_TRUE(menu.Items()[2].IsSeparator());
  EXPECT_FALSE(headless::ChooseMenuItem(menu, 2));
  EXPECT_TRUE(headless::ChooseMenuItem(menu, 1));  // no handler: nothing runs
  EXPECT_TRUE(headless::ChooseMenuItem(menu, 0));
  EXPECT_TRUE(headless::ChooseMenuItem(menu, 3));
  EXPECT_EQ(record.log, (std::vector<std::string>{"open", "exit 3"}));
  ProcessMessages();  // the posted close ends the program
  EXPECT_TRUE(headless::QuitPosted());
}

// --- paint, windows of the system ---

TEST_F(ToolkitEvents, PaintDrawsTheIconResourceEachTime) {
  PaintBox& box = Make<PaintBox>(form);
  box.OnPaint = Bind<PaintIcon>(record);
  auto drawn = headless::Paint(box);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_EQ(drawn[0].resource, "RSSICON");
  EXPECT_EQ(drawn[0].load_width, 48);
  EXPECT_TRUE(drawn[0].loaded);
  headless::SetIconMissing("RSSICON");
  drawn = headless::Paint(box);
  ASSERT_EQ(drawn.size(), 1u);
  EXPECT_FALSE(drawn[0].loaded);
}

TEST_F(ToolkitEvents, TopLevelWindowIsFoundByItsClassOnceItExists) {
  form.SetClassName("LumCenterAgentWndClass");
  EXPECT_EQ(FindTopLevelWindow("LumCenterAgentWndClass"), 0u);
  form.CreateHandle();
  EXPECT_EQ(FindTopLevelWindow("LumCenterAgentWndClass"), form.Handle());
  EXPECT_EQ(headless::RegisteredClasses(), (std::vector<std::string>{"LumCenterAgentWndClass"}));

  WindowHandle centre = headless::AddForeignWindow("LumCenterMainWndClass");
  EXPECT_TRUE(RaiseTopLevelWindow("LumCenterMainWndClass"));
  EXPECT_EQ(ForegroundWindow(), centre);
  EXPECT_FALSE(RaiseTopLevelWindow("NoSuchClass"));
  EXPECT_EQ(headless::ForegroundChanges(), (std::vector<WindowHandle>{centre}));
}

TEST_F(ToolkitEvents, RaiseWithoutActivationShowsButLeavesTheForeground) {
  Form other;
  other.Show();
  WindowHandle user_window = ForegroundWindow();
  ASSERT_EQ(user_window, other.Handle());

  form.RaiseNoActivate();
  EXPECT_TRUE(form.Visible());
  EXPECT_EQ(ForegroundWindow(), user_window);
  ASSERT_FALSE(headless::TopLevelZOrder().empty());
  EXPECT_EQ(headless::TopLevelZOrder()[0], &form);

  form.Hide();
  form.Show();  // an ordinary show activates
  EXPECT_EQ(ForegroundWindow(), form.Handle());
}

}  // namespace
}  // namespace lum
