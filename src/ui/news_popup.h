// The agent's news: the popup's controls, the poll on the timer, the
// announcement, and the clicks on the popup.
#pragma once

#include <string>

namespace lum {

struct CenterForm;
class Control;

// The link of the newest item announced; kept as "lastlink".
extern std::string LastLink;
// LastLink as the settings file gives it back, which the next poll compares
// with: the same after an announcement as after a restart.
extern std::string StoredLastLink;
extern std::string ChannelLink;
extern std::string SecondItemLink;

constexpr unsigned kFirstPollMs = 5000;
constexpr unsigned kPollIntervalMs = 900000;

void BuildNewsPanel(CenterForm& form);

// Agent start: the last announced link from the settings file.
void LoadLastLink();

// The tick of NewsTimer: the interval rule, then (popup hidden) fetch, scan
// and, for a new first item, the announcement.
void NewsPoll(CenterForm& form);

// The tray command "Новости": shows the newest item again.
void ShowLatestNews(CenterForm& form);

// A click on the popup: the heading opens the channel, the titles their
// items, anything else hides the popup.
void NewsPopupClick(CenterForm& form, Control& sender);

// The tray command "Открыть".
void OpenCentreFromMenu(CenterForm& form);

// Only web addresses go to the shell from the popup: the links come from the
// network, and the shell would open local files or start programs too.
bool IsWebLink(const std::string& link);

}  // namespace lum
