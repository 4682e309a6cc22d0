// The headless backend: no screen. Properties stay in the portable objects;
// this keeps what the system would otherwise know (handles, focus, the
// foreground, timers' due times, the notification area) and lets a test act
// as the user.
#include <algorithm>
#include <utility>

#include "toolkit/backend.h"
#include "toolkit/headless/headless.h"

namespace lum {

struct Peer {
  WindowHandle handle = 0;
  unsigned long long due = 0;  // timers
  bool in_area = false;        // tray icons
  int adds = 0;
  // Browsers: no engine; the document is what the test loaded.
  std::string location;
  std::vector<std::string> requests, navigations;
  std::vector<std::pair<std::string, std::string>> elements;  // id, inner HTML
  bool navigate_fails = false;
};

namespace {

struct State {
  Size screen{1024, 768};
  Point origin;
  Rect work{0, 0, 1024, 738};
  Point cursor;
  unsigned long long now = 0;
  WindowHandle next_handle = 0x10010;
  WindowHandle foreground = 0;
  std::vector<WindowHandle> foreground_log;
  bool quit = false;
  int quit_code = 0;
  std::vector<Form*> posted_closes;
  std::vector<Form*> forms;  // front first
  std::vector<std::pair<WindowHandle, std::string>> foreign;
  std::vector<std::string> classes;
  const Control* focus = nullptr;
  std::vector<Timer*> timers;
  std::vector<TrayIcon*> trays;
  std::vector<std::string> missing_icons;
  std::vector<headless::MenuShown> menus;
  std::vector<headless::IconDrawn>* drawing = nullptr;
  int capture_releases = 0;
};

State& S() {
  static State state;
  return state;
}

template <class T>
void Erase(std::vector<T>& list, const T& item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

template <class T>
bool Contains(const std::vector<T>& list, const T& item) {
  return std::find(list.begin(), list.end(), item) != list.end();
}

bool IconLoads(const std::string& resource) {
  return !resource.empty() && !Contains(S().missing_icons, resource);
}

void ToFront(Form* form) {
  Erase(S().forms, form);
  S().forms.insert(S().forms.begin(), form);
}

std::pair<std::string, std::string>* FindElement(Peer& p, const std::string& id) {
  for (auto& element : p.elements)
    if (element.first == id) return &element;
  return nullptr;
}

// The control offers a navigation to the handler. A navigation of the page
// that goes through takes the place of the location and the document; one
// into a frame leaves both.
bool Offer(Browser& browser, const std::string& url, bool top_level) {
  browser.peer_->requests.push_back(url);
  bool cancel = false;
  browser.DoBeforeNavigate(url, cancel);
  if (cancel || !browser.peer_) return false;
  if (top_level) {
    Peer& p = *browser.peer_;
    p.navigations.push_back(url);
    p.location = url;
    p.elements.clear();
  }
  return true;
}

}  // namespace

// --- the backend ---

namespace backend {

void CreatePeer(Control& control) {
  control.peer_ = new Peer;
  control.peer_->handle = S().next_handle;
  S().next_handle += 0x10;
  if (control.Kind() != ControlKind::Form) return;
  auto& form = static_cast<Form&>(control);
  if (!Contains(S().classes, form.ClassName())) S().classes.push_back(form.ClassName());
  S().forms.push_back(&form);  // made hidden, behind the others
}

void DestroyPeer(Control& control) {
  State& s = S();
  if (s.focus == &control) s.focus = nullptr;
  if (control.Kind() == ControlKind::Form) {
    auto* form = static_cast<Form*>(&control);
    Erase(s.forms, form);
    Erase(s.posted_closes, form);
    if (s.foreground == control.peer_->handle) s.foreground = 0;
  }
  delete control.peer_;
  control.peer_ = nullptr;
}

void Sync(Control& control, Change what) {
  if (what != Change::Visible || control.Kind() != ControlKind::Form) return;
  // Showing a top-level window activates it; hiding the active one leaves
  // no window of ours in the foreground.
  auto* form = static_cast<Form*>(&control);
  if (form->Visible()) {
    ToFront(form);
    S().foreground = control.peer_->handle;
  } else if (S().foreground == control.peer_->handle) {
    S().foreground = 0;
  }
}

WindowHandle HandleOf(const Control& control) { return control.peer_->handle; }

// A fixed model of a font: half the height per character, a quarter more
// for the line; bold adds a pixel per character.
Size MeasureText(const Font& font, const std::string& text) {
  int per_char = font.height / 2 + (font.bold ? 1 : 0);
  return {static_cast<int>(text.size()) * per_char, font.height + (font.height + 3) / 4};
}

// A sizing frame of 4 pixels and a caption of 19 (15 for a tool window).
Rect FrameInsets(const Form& form) {
  if (!form.Caption()) return {};
  return {4, 4 + (form.ToolWindow() ? 15 : 19), 4, 4};
}

void Focus(Control& control) { S().focus = &control; }

bool HasFocus(const Control& control) { return S().focus == &control && control.Showing(); }

void RaiseNoActivate(Form& form) { ToFront(&form); }

void PostClose(Form& form) { S().posted_closes.push_back(&form); }

void Invalidate(Control&) {}

void DrawIconResource(Canvas&, const std::string& resource, int load_width, int load_height,
                      int x, int y) {
  if (S().drawing)
    S().drawing->push_back({resource, load_width, load_height, x, y, IconLoads(resource)});
}

void TimerArm(Timer& timer) {
  if (!timer.peer_) timer.peer_ = new Peer;
  // As the system does, a zero interval still waits a moment.
  timer.peer_->due = S().now + std::max(timer.Interval(), 10u);
  if (!Contains(S().timers, &timer)) S().timers.push_back(&timer);
}

void TimerDisarm(Timer& timer) {
  Erase(S().timers, &timer);
  delete timer.peer_;
  timer.peer_ = nullptr;
}

void TraySync(TrayIcon& icon) {
  if (!icon.peer_) {
    icon.peer_ = new Peer;
    S().trays.push_back(&icon);
  }
  bool wanted = icon.Active() && IconLoads(icon.Icon());
  if (wanted && !icon.peer_->in_area) ++icon.peer_->adds;
  icon.peer_->in_area = wanted;
}

void TrayRemove(TrayIcon& icon) {
  Erase(S().trays, &icon);
  delete icon.peer_;
  icon.peer_ = nullptr;
}

void TrayLost(TrayIcon& icon) {
  if (icon.peer_) icon.peer_->in_area = false;
}

int MenuTrack(PopupMenu& menu, Point at) {
  S().menus.push_back({&menu, at});
  return -1;  // the test chooses with ChooseMenuItem
}

bool BrowserHasControl(const Browser&) { return true; }

void BrowserSetSilent(Browser&) {}  // no dialogs without an engine anyway

bool BrowserNavigate(Browser& browser, const std::string& url) {
  if (browser.peer_->navigate_fails) return false;
  Offer(browser, url, true);
  return true;  // a cancelled navigation is no failure of the call
}

std::string BrowserLocation(const Browser& browser) { return browser.peer_->location; }

bool BrowserSetElementHtml(Browser& browser, const std::string& id, const std::string& html) {
  auto* element = FindElement(*browser.peer_, id);
  if (!element) return false;
  element->second = html;
  return true;
}

}  // namespace backend

// --- process-wide operations ---

void RunMessageLoop() {
  while (!S().quit && !S().posted_closes.empty()) ProcessMessages();
}

void ProcessMessages() {
  std::vector<Form*> posted;
  posted.swap(S().posted_closes);
  for (Form* form : posted) form->DoCloseRequest();
}

void PostQuit(int exit_code) {
  S().quit = true;
  S().quit_code = exit_code;
}

Size ScreenSize() { return S().screen; }
Point ScreenOrigin() { return S().origin; }
Rect WorkArea() { return S().work; }
Point CursorPos() { return S().cursor; }
void ReleaseMouseCapture() { ++S().capture_releases; }

WindowHandle ForegroundWindow() { return S().foreground; }

void SetForegroundWindow(WindowHandle window) {
  S().foreground = window;
  S().foreground_log.push_back(window);
}

WindowHandle FindTopLevelWindow(const std::string& class_name) {
  for (Form* form : S().forms)
    if (form->ClassName() == class_name) return form->Handle();
  for (auto& [handle, name] : S().foreign)
    if (name == class_name) return handle;
  return 0;
}

// The classic scheme's values for the colours the program uses.
std::uint32_t SystemColorRgb(int index) {
  switch (index) {
    case kColorWindow: return 0xFFFFFF;
    case kColorWindowText: return 0x000000;
    case kColorBtnFace: return 0xF0F0F0;
    case kColor3DDkShadow: return 0x696969;
    case kColorInfoText: return 0x000000;
    case kColorInfoBk: return 0xE1FFFF;
    default: return 0;
  }
}

// --- test hooks ---

namespace headless {

void Reset() {
  State& s = S();
  for (Timer* t : s.timers) t->peer_->due -= s.now;  // running timers keep what is left
  s.screen = {1024, 768};
  s.origin = {};
  s.work = {0, 0, 1024, 738};
  s.cursor = {};
  s.now = 0;
  s.foreground = 0;
  s.foreground_log.clear();
  s.quit = false;
  s.quit_code = 0;
  s.posted_closes.clear();
  s.foreign.clear();
  s.classes.clear();
  s.missing_icons.clear();
  s.menus.clear();
  s.capture_releases = 0;
}

void SetScreenSize(Size size) { S().screen = size; }
void SetScreenOrigin(Point origin) { S().origin = origin; }
void SetWorkArea(const Rect& area) { S().work = area; }
void SetCursorPos(Point at) { S().cursor = at; }

static bool Reachable(const Control& control) {
  return control.HandleAllocated() && control.Showing() && control.Enabled();
}

bool Click(Control& control) {
  if (!Reachable(control)) return false;
  if (control.Kind() == ControlKind::Label) {
    static_cast<Label&>(control).DoClick();
    return true;
  }
  if (control.Kind() == ControlKind::Button) {
    static_cast<Button&>(control).DoClick();
    return true;
  }
  return false;
}

bool TypeText(Edit& edit, const std::string& text) {
  if (!Reachable(edit)) return false;
  edit.PeerTextChanged(text);
  return true;
}

bool ChooseItem(ComboBox& combo, int index) {
  if (!Reachable(combo) || index < 0 || index >= static_cast<int>(combo.Items().size()))
    return false;
  combo.PeerItemChosen(index);
  return true;
}

bool PressKey(Control& target, Key key, bool shift) {
  if (!Reachable(target)) return false;
  return target.TopForm().HandleKey(target, key, shift);
}

bool ChooseMenuItem(PopupMenu& menu, int index) {
  if (index < 0 || index >= static_cast<int>(menu.Items().size()) ||
      menu.Items()[index].IsSeparator())
    return false;
  menu.DoItem(index);
  return true;
}

bool TrayMouse(TrayIcon& icon, int message) {
  if (!InNotificationArea(icon)) return false;
  icon.DoMouse(message);
  return true;
}

void RequestClose(Form& form) { form.DoCloseRequest(); }

bool FireTimer(Timer& timer) {
  if (!timer.Running()) return false;
  timer.DoTick();
  return true;
}

void AdvanceTime(unsigned ms) {
  State& s = S();
  unsigned long long until = s.now + ms;
  for (;;) {
    Timer* next = nullptr;
    for (Timer* t : s.timers)
      if (t->peer_->due <= until && (!next || t->peer_->due < next->peer_->due)) next = t;
    if (!next) break;
    s.now = next->peer_->due;
    next->peer_->due = s.now + std::max(next->Interval(), 10u);
    next->DoTick();  // may stop, restart or free the timer
  }
  s.now = until;
}

unsigned long long Now() { return S().now; }

void SetIconMissing(const std::string& resource) { S().missing_icons.push_back(resource); }

bool InNotificationArea(const TrayIcon& icon) { return icon.peer_ && icon.peer_->in_area; }

int TimesAdded(const TrayIcon& icon) { return icon.peer_ ? icon.peer_->adds : 0; }

void RestartTaskbar() {
  std::vector<TrayIcon*> icons = S().trays;
  for (TrayIcon* icon : icons) icon->DoTaskbarCreated();
}

bool QuitPosted() { return S().quit; }
int QuitCode() { return S().quit_code; }
std::vector<WindowHandle> ForegroundChanges() { return S().foreground_log; }

std::vector<const Form*> TopLevelZOrder() {
  return std::vector<const Form*>(S().forms.begin(), S().forms.end());
}

std::vector<std::string> RegisteredClasses() { return S().classes; }
int CaptureReleases() { return S().capture_releases; }
std::vector<MenuShown> MenusShown() { return S().menus; }

std::vector<IconDrawn> Paint(PaintBox& box) {
  std::vector<IconDrawn> drawn;
  S().drawing = &drawn;
  Canvas canvas(nullptr);
  box.DoPaint(canvas);
  S().drawing = nullptr;
  return drawn;
}

bool FollowLink(Browser& browser, const std::string& url, const std::string& frame) {
  if (!browser.peer_) return false;  // no control, no page to ask
  return Offer(browser, url, frame.empty());
}

void LoadDocument(Browser& browser, std::vector<std::pair<std::string, std::string>> elements) {
  browser.CreateHandle();
  if (browser.peer_) browser.peer_->elements = std::move(elements);
}

void SetNavigateFails(Browser& browser, bool fails) {
  browser.CreateHandle();
  if (browser.peer_) browser.peer_->navigate_fails = fails;
}

std::vector<std::string> Navigations(const Browser& browser) {
  return browser.peer_ ? browser.peer_->navigations : std::vector<std::string>{};
}

std::vector<std::string> NavigationRequests(const Browser& browser) {
  return browser.peer_ ? browser.peer_->requests : std::vector<std::string>{};
}

bool HasElement(const Browser& browser, const std::string& id) {
  return browser.peer_ && FindElement(*browser.peer_, id);
}

std::string ElementHtml(const Browser& browser, const std::string& id) {
  auto* element = browser.peer_ ? FindElement(*browser.peer_, id) : nullptr;
  return element ? element->second : std::string();
}

WindowHandle AddForeignWindow(const std::string& class_name) {
  WindowHandle handle = S().next_handle;
  S().next_handle += 0x10;
  S().foreign.push_back({handle, class_name});
  return handle;
}

}  // namespace headless

}  // namespace lum
