// Test hooks of the headless backend: no screen, every property kept, and
// the user's and the system's actions played by the test.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "toolkit/toolkit.h"

namespace lum::headless {

// Screen, work area, cursor, clock, foreground, quit flag and the records
// below back to their start values. Objects still alive keep their state.
void Reset();

void SetScreenSize(Size size);  // 1024 x 768 after Reset
void SetScreenOrigin(Point origin);  // (0, 0) after Reset
void SetWorkArea(const Rect& area);  // the screen less a 30-pixel taskbar after Reset
void SetCursorPos(Point at);

// The user's actions. Each returns false when the user could not have done
// it: the control hidden or disabled, the timer stopped, the icon absent.
bool Click(Control& control);                       // label or button
bool TypeText(Edit& edit, const std::string& text);  // the whole new text
bool ChooseItem(ComboBox& combo, int index);
bool PressKey(Control& target, Key key, bool shift = false);
bool ChooseMenuItem(PopupMenu& menu, int index);
bool TrayMouse(TrayIcon& icon, int message);
void RequestClose(Form& form);  // the close button, or a close from outside

// Time. FireTimer delivers one tick now; AdvanceTime lets the clock run and
// delivers every tick that falls due, in order.
bool FireTimer(Timer& timer);
void AdvanceTime(unsigned ms);
unsigned long long Now();

// The notification area.
void SetIconMissing(const std::string& resource);  // loading it fails
bool InNotificationArea(const TrayIcon& icon);
int TimesAdded(const TrayIcon& icon);
void RestartTaskbar();  // the taskbar comes back empty and says so

// What happened.
bool QuitPosted();
int QuitCode();
std::vector<WindowHandle> ForegroundChanges();  // each SetForegroundWindow
std::vector<const Form*> TopLevelZOrder();      // forms with windows, front first
std::vector<std::string> RegisteredClasses();
int CaptureReleases();

struct MenuShown {
  const PopupMenu* menu;
  Point at;
};
std::vector<MenuShown> MenusShown();

struct IconDrawn {
  std::string resource;
  int load_width, load_height, x, y;
  bool loaded;
};
std::vector<IconDrawn> Paint(PaintBox& box);  // runs its paint handler now

// Browsers. There is no engine: Navigate offers the URL to OnBeforeNavigate
// at once, and a navigation that goes through becomes the location and
// leaves an empty document. Navigating makes the browser's window, and so
// do the hooks that change a browser; those that read one see nothing
// until it has one.
// The page's navigations that went through, each a location in turn.
std::vector<std::string> Navigations(const Browser& browser);
// Every URL offered to the handler, frames' included, cancelled or not.
std::vector<std::string> NavigationRequests(const Browser& browser);
// The page asks for a navigation, of the page itself or, given a frame
// name, of one of its frames; true when it went through. A frame's load
// leaves the location, the document and Navigations as they are, as with
// the control, whose location is the page's.
bool FollowLink(Browser& browser, const std::string& url, const std::string& frame = "");
// A document with these elements (id, inner HTML) is shown now.
void LoadDocument(Browser& browser, std::vector<std::pair<std::string, std::string>> elements);
bool HasElement(const Browser& browser, const std::string& id);
std::string ElementHtml(const Browser& browser, const std::string& id);  // "" when absent
// Navigate returns false and changes nothing while set.
void SetNavigateFails(Browser& browser, bool fails);

// A window of another process, for look-ups by class name.
WindowHandle AddForeignWindow(const std::string& class_name);

}  // namespace lum::headless
