// The centre's page: the start page shown at start (from the help file
// inside the program, or an "Html" folder beside it), the links the page
// sends to the program, the reload after a save, and the statistics written
// into the page.
#pragma once

#include <string>

namespace lum {

struct CenterForm;
class Browser;

// Shown while the start page loads.
extern const char kLoadingPage[];

// "mk:@MSITStore:" + the help file + "::/index.htm".
std::string HelpFileUrl(const std::string& chm_path);

// Creates the page host and loads the first page. False when the help file
// could not be written: the centre then ends without a window.
bool OpenStartPage(CenterForm& form);

// Navigates to the page's own current location.
void ReloadPage(CenterForm& form);

// Sets an element's inner HTML in the page shown; nothing when there is no
// page host, document or element.
void SetElementHtml(CenterForm& form, const std::string& id, const std::string& html);

// Before every navigation of the page host: outside links go to the user's
// browser, the "spec:" links run the program's actions.
void DispatchLink(CenterForm& form, Browser& browser, const std::string& url, bool& cancel);

// "spec:wizstat": the sibling tool's status window, or the settings page
// when no router model is chosen (then `text` becomes "spec:conf").
void RunStatusTool(CenterForm& form, std::string& text);

// "spec:conf": the settings page over the page, filled from memory.
void ShowSettingsPage(CenterForm& form);

// "spec:stat-site": logs in and opens the subscriber's billing home page.
void OpenBillingHomePage(CenterForm& form);

// The tick of StatisticsTimer: one run, both figures written into the page.
void ShowAccountStatistics(CenterForm& form);

}  // namespace lum
