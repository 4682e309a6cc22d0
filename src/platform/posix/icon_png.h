// The program's icons for the desktop's icon theme: the images of an icon
// file (32-bit ones, as the program's are) as PNG files, one per size.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace lum::posix {

// (size in pixels, PNG bytes) for each square image of the icon file;
// images it cannot read are left out.
std::vector<std::pair<int, std::string>> IconImagesAsPng(const std::string& ico);

}  // namespace lum::posix
