// The program's own resources in the Linux builds, linked into the
// executable as the Windows build links its resource section.
#pragma once

#include <string>

namespace lum::posix {

// The bytes of the resource of that name ("CHM", "APPICON", "RSSICON"); ""
// when the program has none of that name.
std::string LinkedResource(const std::string& name);

}  // namespace lum::posix
