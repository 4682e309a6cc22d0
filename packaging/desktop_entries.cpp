// Writes the package's desktop entries into a folder, through the same
// platform operation and with the same values as the deploy form writes its
// shortcuts, so that the package and a self-install leave the same files.
//   desktop_entries OUT_FOLDER
#include <cstdio>
#include <string>

#include "app/run_mode.h"
#include "install/installer.h"
#include "platform/os.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: desktop_entries OUT_FOLDER\n", stderr);
    return 2;
  }
  const std::string out = argv[1];
  bool ok = lum::Os().CreateShortcut(lum::InstalledExecutable(), "", "", out + "/menu.lnk",
                                     lum::kShortcutName, "", 0, 0);
  ok = lum::Os().CreateShortcut(lum::InstalledExecutable(), lum::kAgentArgument, "",
                                out + "/startup.lnk", lum::kShortcutName, "", 0, 0) && ok;
  return ok ? 0 : 1;
}
