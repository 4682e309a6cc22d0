// Starting other programs and documents: elevated and waited for, through
// the shell's default action, killed by image name, or this program again as
// the centre.
#pragma once

#include <cstdint>
#include <string>

namespace lum {

class MessagePump;

constexpr int kShowHide = 0;
constexpr int kShowNormal = 1;
constexpr int kShow = 5;
constexpr uint32_t kStillActive = 259;

// Runs a program through the shell, elevated where the system has
// elevation, and returns when it has ended. With a pump, the caller's
// windows keep working meanwhile. A refused or failed start returns at once.
void RunElevated(const std::string& program, const std::string& parameters, MessagePump* pump);

// Hands a URL or file to the shell's default action.
void ShellRun(const std::string& target, uintptr_t owner);

// The program text, in quotes when it holds a blank and no quote, then one
// space and the parameters.
std::string CommandLineFor(const std::string& program, const std::string& parameters);

// Starts a program and waits up to wait_ms (-1: no limit). True when it
// started and ended in time.
bool RunAndWait(const std::string& program, const std::string& parameters,
                const std::string& folder, int32_t wait_ms, int show);

// Ends every process of an image name with the system's kill command; true
// when that command started and ended.
bool KillByImageName(const std::string& image_name);

// The program's own path in double quotes, as a command line: installed
// under "Program Files", an unquoted path would let Windows run
// "C:\Program.exe".
std::string QuotedOwnPath();

// Starts this program again as the centre (which raises a running centre).
void OpenCentre();

}  // namespace lum
