// The program installs itself: the setup form asks and starts an elevated
// copy with "/deploy", which copies the program under Program Files, closes
// or ends running copies, writes the shortcuts for all users and fetches the
// sibling connection tool; then the setup form starts the installed centre.
#pragma once

#include <cstdint>
#include <string>

namespace lum {

constexpr char kMainWindowClass[] = "LumCenterMainWndClass";
constexpr char kAgentWindowClass[] = "LumCenterAgentWndClass";
constexpr char kExecutableName[] = "LumCenter.exe";
constexpr char kShortcutName[] = "Центр Lumora";

// How long a running copy may take to answer the close request before the
// kill passes take over.
constexpr uint32_t kCloseRequestTimeoutMs = 3000;

std::string InstallFolder();
std::string InstalledExecutable();
std::string StartMenuFolder();
std::string SiblingToolUrl();

// launch false: install; launch true: start the installed copy.
void Deploy(bool launch);

// The setup form: the install question, the elevated deploy, the launch.
void RunSetup();

}  // namespace lum
