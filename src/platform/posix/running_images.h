// Processes by the file they run, as Windows knows them by image name: the
// installer's kill passes end every copy of the program it replaces, and a
// program file that runs is not deleted (Windows refuses to; Linux would
// unlink it and leave the copy running from a file nobody can see).
#pragma once

#include <cstdint>
#include <string>

namespace lum::posix {

// Ends (SIGKILL) every process but this one whose executable file is named
// `image` (the last part of its path, exactly; also when that file has
// been deleted meanwhile), of every user that this process may signal, and
// waits up to wait_ms for them to be gone. A script that an interpreter
// runs, or a program whose name merely holds the image name, is not one.
// The number of processes ended.
int EndProcessesOfImage(const std::string& image, int32_t wait_ms);

// Whether some process runs the program file at path.
bool FileIsRunning(const std::string& path);

}  // namespace lum::posix
