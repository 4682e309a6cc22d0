#include "install/process_helpers.h"

#include "app/run_mode.h"
#include "net/web_access.h"
#include "platform/os.h"

namespace lum {

void RunElevated(const std::string& program, const std::string& parameters, MessagePump* pump) {
  std::string verb = Os().SystemMajorVersion() >= 6 ? "runas" : "";
  uintptr_t process = 0;
  if (!Os().ShellExecuteWait(0, verb, program, parameters, kShowNormal, &process)) return;
  uint32_t code = 0;
  do {
    if (pump) pump->ProcessPending();
    else Os().Sleep(100);
    if (!process || !Os().ExitCode(process, &code)) code = 0;
  } while (code == kStillActive);
  Os().CloseProcess(process);
}

void ShellRun(const std::string& target, uintptr_t owner) { Os().ShellOpen(owner, target, kShow); }

std::string CommandLineFor(const std::string& program, const std::string& parameters) {
  std::string line = program;
  if (program.find(' ') != std::string::npos && program.find('"') == std::string::npos) {
    line = "\"" + program + "\"";
  }
  if (!program.empty() && !parameters.empty()) line += " " + parameters;
  return line;
}

bool RunAndWait(const std::string& program, const std::string& parameters,
                const std::string& folder, int32_t wait_ms, int show) {
  const uint32_t kNewConsole = 0x10;
  const uint32_t kNoWindow = 0x08000000;
  uint32_t flags = kNewConsole | (show == kShowHide ? kNoWindow : 0);
  return Os().RunAndWaitProcess(CommandLineFor(program, parameters), folder, flags, show, wait_ms);
}

bool KillByImageName(const std::string& image_name) {
  return RunAndWait("taskkill.exe", "/F /IM \"" + image_name + "\"", "", -1, kShowHide);
}

std::string QuotedOwnPath() { return "\"" + OwnPath() + "\""; }

void OpenCentre() { Os().WinExec(QuotedOwnPath(), kShowNormal); }

}  // namespace lum
