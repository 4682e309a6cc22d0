// The system's browser control in one of our child windows. Used by the
// win32 backend only; every call accepts a null host (the control could not
// be made) and then does nothing or reports failure.
#pragma once

#include <windows.h>

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

// Null when the control cannot be made or cannot report its navigations.
BrowserHost* BrowserHostCreate(HWND container, Browser& browser);
void BrowserHostDestroy(BrowserHost* host);  // before the container goes
void BrowserHostResize(BrowserHost* host, int width, int height);
// A key message for the control's windows; true when the page took it.
bool BrowserHostKey(BrowserHost* host, MSG& message);

void BrowserHostSetSilent(BrowserHost* host, bool silent);
bool BrowserHostNavigate(BrowserHost* host, const std::string& url);
std::string BrowserHostLocation(BrowserHost* host);
bool BrowserHostSetElementHtml(BrowserHost* host, const std::string& id, const std::string& html);

}  // namespace lum
