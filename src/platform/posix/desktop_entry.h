// The desktop entries of the Linux edition: the applications menu's entry
// and the agent's autostart entry, as a self-install writes them and as the
// package carries them (the build makes the package's with this too).
#pragma once

#include <string>

namespace lum::posix {

// The text of a desktop entry that starts `program` (a path) with
// `arguments`, named `name` (UTF-8). The agent's entry is for autostart
// only: it stays out of the menu.
std::string DesktopEntry(const std::string& program, const std::string& arguments,
                         const std::string& name, bool agent);

}  // namespace lum::posix
