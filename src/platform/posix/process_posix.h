// Starting programs on Linux without a shell: a Windows command line is
// split by the program's own rules into an argument vector and the program
// is started directly, so that quotes, "$", backticks or ";" in a path or a
// link stay data. Also the bookkeeping of the processes started, so that none
// is left as a zombie and a wait never hangs on a process that is not ours.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <string>
#include <vector>

namespace lum::posix {

// The pieces of a Windows command line (SplitCommandLine), every "\" taken
// as "/".
std::vector<std::string> ArgumentVector(const std::string& command_line);

// How argv[0] is found when it holds no "/".
enum class Lookup {
  // As Windows starts a program: the program's own folder, then the current
  // folder, then PATH.
  Windows,
  // PATH only (the desktop's helpers: xdg-open, aplay).
  Path,
};

// What stands for the user's act the program is handling, given by the
// toolkit: a startup id, or "_TIME<time>" with the X server's time of the
// user's event (empty: none). A raise of another process's window carries
// the raise token; a program started while a start token is there gets it as
// DESKTOP_STARTUP_ID, so that the window it shows may take the focus.
using ActivationSource = std::string (*)(bool for_start);
void SetActivationSource(ActivationSource source);
std::string ActivationToken(bool for_start);

// Starts argv[0] with the arguments argv, standard streams on /dev/null, no
// other descriptor of ours and the default signal dispositions, in `folder`
// when it is not "". False when nothing started. The process is the caller's
// to wait for (WaitProcess) or to hand to Detach. `environment` ("NAME=value"
// each) replaces this process's environment when given.
bool StartProcess(const std::vector<std::string>& argv, const std::string& folder, Lookup lookup,
                  pid_t* pid, const std::vector<std::string>* environment = nullptr);

// Starts and detaches at once: nobody waits for the process.
bool StartDetached(const std::vector<std::string>& argv, const std::string& folder, Lookup lookup);

// Nobody will wait for this started process: it is reaped once it ends.
void Detach(pid_t pid);

// Reaps the detached processes that have ended. Every start and every look
// at an exit status does it too.
void ReapDetached();

enum class WaitResult {
  Ended,    // ended and reaped here; *status holds its wait status
  Running,  // still running when the wait ended
  Gone,     // not (any longer) a child of ours: reaped elsewhere
};

// Waits for a started process up to wait_ms (-1: no limit, 0: a look only).
// An interrupted wait goes on; any other failure ends it as Gone.
WaitResult WaitProcess(pid_t pid, int32_t wait_ms, int* status);

}  // namespace lum::posix
