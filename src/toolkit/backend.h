// What the portable objects ask of the backend linked into the build: win32
// (real windows) or headless (none; tests drive it). Not for the program's
// modules. The app-level operations of app.h are defined by the backends too.
#pragma once

#include <string>

#include "toolkit/browser.h"
#include "toolkit/control.h"
#include "toolkit/form.h"
#include "toolkit/popup_menu.h"
#include "toolkit/timer.h"
#include "toolkit/tray_icon.h"

namespace lum::backend {

// The parent's peer exists when this is called (forms have none).
void CreatePeer(Control& control);
void DestroyPeer(Control& control);
void Sync(Control& control, Change what);
WindowHandle HandleOf(const Control& control);

Size MeasureText(const Font& font, const std::string& text);
Rect FrameInsets(const Form& form);

void Focus(Control& control);
bool HasFocus(const Control& control);
void RaiseNoActivate(Form& form);
void PostClose(Form& form);
void Invalidate(Control& control);
void DrawIconResource(Canvas& canvas, const std::string& resource, int load_width,
                      int load_height, int x, int y);

void TimerArm(Timer& timer);  // (re)starts the interval from now
void TimerDisarm(Timer& timer);

void TraySync(TrayIcon& icon);  // add, change or remove to match the object
void TrayRemove(TrayIcon& icon);
void TrayLost(TrayIcon& icon);  // the system dropped it with the old taskbar

// Shows the menu; the index of the chosen item, or -1.
int MenuTrack(PopupMenu& menu, Point at);

// The browser control of a browser's peer; called only while it has one.
bool BrowserHasControl(const Browser& browser);  // false when the system has none to give
void BrowserSetSilent(Browser& browser);  // mirrors browser.Silent()
bool BrowserNavigate(Browser& browser, const std::string& url);
std::string BrowserLocation(const Browser& browser);
bool BrowserSetElementHtml(Browser& browser, const std::string& id, const std::string& html);

}  // namespace lum::backend
