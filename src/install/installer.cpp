#include "install/installer.h"

#include "app/run_mode.h"
#include "install/process_helpers.h"
#include "net/servers.h"
#include "net/web_access.h"
#include "platform/os.h"
#include "settings/settings_file.h"

namespace lum {

namespace {

constexpr int kIdNo = 7;

// Deletes a file that occupies the folder's name, then makes the folder.
void MakeFolder(const std::string& path) {
  Os().RemoveFile(path);
  Os().CreateFolder(path);
}

void CloseRunning(const char* window_class) {
  uintptr_t window = Os().FindWindowByClass(window_class);
  if (window) Os().SendCloseRequest(window, kCloseRequestTimeoutMs);
}

void Shortcut(const std::string& link, const std::string& arguments) {
  Os().CreateShortcut(InstalledExecutable(), arguments, "", link, kShortcutName, "", 0, 0);
}

}  // namespace

std::string InstallFolder() { return ProgramFilesDir() + "\\Lumora"; }

std::string InstalledExecutable() { return InstallFolder() + "\\" + kExecutableName; }

std::string StartMenuFolder() { return SpecialFolderPath("Programs", FolderScope::Common) + "\\Lumora"; }

std::string SiblingToolUrl() { return ServerRoot(MakerServer()) + "/files/dpr/Tarvik.exe"; }

void Deploy(bool launch) {
  if (launch) {
    Os().SetCurrentFolder(InstallFolder());
    // Quoted: the folder lies under "Program Files". As the user who ran
    // the setup copy, also when that copy itself ran elevated.
    Os().WinExecForUser("\"" + InstalledExecutable() + "\"", kShow);
    return;
  }
  MakeFolder(InstallFolder());
  CloseRunning(kMainWindowClass);
  CloseRunning(kAgentWindowClass);
  const std::string installed = InstalledExecutable();
  Os().RemoveFile(installed);
  for (int pass = 0; pass < 3 && FileExists(installed); ++pass) {
    KillByImageName(kExecutableName);
    Os().Sleep(150);
    Os().RemoveFile(installed);
  }
  Os().CopyFileOver(OwnPath(), installed);
  MakeFolder(StartMenuFolder());
  Shortcut(SpecialFolderPath("Desktop", FolderScope::Common) + "\\" + kShortcutName + ".lnk", "");
  Shortcut(SpecialFolderPath("Startup", FolderScope::Common) + "\\LumCenter.lnk", kAgentArgument);
  Shortcut(StartMenuFolder() + "\\" + kShortcutName + ".lnk", "");
  DownloadFile(SiblingToolUrl(), InstallFolder() + "\\Tarvik.exe", nullptr, nullptr, "", 1);
}

void RunSetup() {
  int answer = Os().AskYesNo("Установить \"Центр Lumora Верескинск\" на ваш компьютер?", "Центр Lumora");
  if (answer == kIdNo) return;
  RunElevated(OwnPath(), kDeployArgument, nullptr);
  Deploy(true);
}

}  // namespace lum
