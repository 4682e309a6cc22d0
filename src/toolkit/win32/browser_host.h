// The system's browser control in one of our child windows. Used by the
// win32 backend only; every call accepts a null host (the control could not
// be made) and then does nothing or reports failure.
#pragma once

#include <windows.h>
#include <ole2.h>

#include <string>

namespace lum {

class Browser;
class BrowserHost;

// A URL between the program's 8-bit text and the control's wide text. Paths
// and URLs come from the system's 8-bit calls (the temporary folder, the
// program's own path) and go back to them (the shell opens a link), so they
// are in the system's ANSI code page; an "about:" URL is a page of the
// program's own, in Windows-1251 as all its texts are.
std::wstring BrowserUrlToWide(const std::string& url);
std::string BrowserUrlFromWide(const wchar_t* url, int length);

// Makes the control itself. Tests put a recording maker in its place; the
// previous one is returned.
using BrowserControlMaker = HRESULT (*)(IOleObject** control);
BrowserControlMaker SetBrowserControlMaker(BrowserControlMaker maker);

// Null when the control cannot be made or cannot report its navigations.
BrowserHost* BrowserHostCreate(HWND container, Browser& browser);
void BrowserHostDestroy(BrowserHost* host);  // before the container goes
void BrowserHostResize(BrowserHost* host, int width, int height);
// Gives the page the keyboard: UI-activates the control and puts the focus
// in it. Called once its window is shown.
void BrowserHostActivate(BrowserHost* host);
// A key, wheel or extra-button message for the control's windows; true when
// it is done with: the page took it, or it was one of the browser's own
// commands, which never reach the page.
bool BrowserHostMessage(BrowserHost* host, MSG& message);

void BrowserHostSetSilent(BrowserHost* host, bool silent);
bool BrowserHostNavigate(BrowserHost* host, const std::string& url);
std::string BrowserHostLocation(BrowserHost* host);
bool BrowserHostSetElementHtml(BrowserHost* host, const std::string& id, const std::string& html);

}  // namespace lum
