#include "platform/posix/process_posix.h"

#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <mutex>

#include "app/run_mode.h"

extern char** environ;

namespace lum::posix {

namespace {

// Detached processes are reaped by a WNOHANG sweep of their own pids at the
// next start or exit-status look. Not a double fork: between fork and exec a
// process that runs toolkit threads may only make async-signal-safe calls,
// and posix_spawn is not one. Not a SIGCHLD handler or a reaper thread: that
// is work behind the program's back, and a waitpid(-1) there would take the
// exit status that a wait of RunElevated's is waiting for. An ended detached
// process stays a zombie only until the next start, which costs one slot of
// the process table.
std::mutex g_detached_mutex;
std::vector<pid_t> g_detached;

bool IsProgramFile(const std::string& path) {
  struct stat st {};
  return stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && access(path.c_str(), X_OK) == 0;
}

std::string CurrentFolder() {
  char buffer[4096];
  return getcwd(buffer, sizeof buffer) ? std::string(buffer) : std::string();
}

std::string ProgramFolder() {
  char buffer[4096];
  ssize_t n = readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  std::string path(buffer, static_cast<size_t>(n));
  return path.substr(0, path.rfind('/'));
}

// The file that Windows would start for argv[0], or "" to search PATH.
std::string WindowsProgramPath(const std::string& name, const std::string& folder) {
  if (name.find('/') != std::string::npos) {
    // A relative path names a file from our current folder, not from the
    // folder the process starts in.
    if (name[0] != '/' && !folder.empty()) return CurrentFolder() + "/" + name;
    return name;
  }
  for (const std::string& dir : {ProgramFolder(), CurrentFolder()}) {
    if (!dir.empty() && IsProgramFile(dir + "/" + name)) return dir + "/" + name;
  }
  return std::string();
}

int64_t NowMs() {
  struct timespec t {};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

}  // namespace

std::vector<std::string> ArgumentVector(const std::string& command_line) {
  std::vector<std::string> argv = SplitCommandLine(command_line);
  for (std::string& piece : argv) std::replace(piece.begin(), piece.end(), '\\', '/');
  return argv;
}

namespace {
ActivationSource g_activation = nullptr;

// Our environment (or the one given) for a started program: the startup id
// is the user's act that starts it, never one that started us.
std::vector<std::string> ChildEnvironment(const std::vector<std::string>* given) {
  std::vector<std::string> base;
  if (given) base = *given;
  else for (char** v = environ; v && *v; ++v) base.emplace_back(*v);
  std::vector<std::string> out;
  for (const std::string& v : base)
    if (v.compare(0, 19, "DESKTOP_STARTUP_ID=") != 0) out.push_back(v);
  std::string token = ActivationToken(true);
  if (!token.empty()) out.push_back("DESKTOP_STARTUP_ID=" + token);
  return out;
}
}  // namespace

void SetActivationSource(ActivationSource source) { g_activation = source; }

std::string ActivationToken(bool for_start) {
  std::string token = g_activation ? g_activation(for_start) : std::string();
  // Printable, without blanks, and short: it goes on a request line and
  // into an environment variable.
  if (token.size() > 200) return {};
  for (char c : token)
    if (c <= ' ' || c > '~') return {};
  return token;
}

bool StartProcess(const std::vector<std::string>& argv, const std::string& folder, Lookup lookup,
                  pid_t* pid, const std::vector<std::string>* environment) {
  ReapDetached();
  if (argv.empty() || argv[0].empty()) return false;
  std::string program = lookup == Lookup::Windows ? WindowsProgramPath(argv[0], folder) : "";
  const bool search = program.empty();
  if (search) program = argv[0];

  std::vector<char*> args;
  for (const std::string& piece : argv) args.push_back(const_cast<char*>(piece.c_str()));
  args.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  // Nothing of ours is inherited, as a Windows start inherits no handles:
  // a program that outlives us must not keep our files or sockets open.
  posix_spawn_file_actions_addclosefrom_np(&actions, 3);
  if (!folder.empty()) posix_spawn_file_actions_addchdir_np(&actions, folder.c_str());
  // A signal this process ignores or blocks would stay so in the child.
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  posix_spawnattr_setsigdefault(&attributes, &all);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

  std::vector<std::string> child_environment = ChildEnvironment(environment);
  std::vector<char*> env;
  for (std::string& entry : child_environment) env.push_back(entry.data());
  env.push_back(nullptr);

  pid_t child = 0;
  int rc = search ? posix_spawnp(&child, program.c_str(), &actions, &attributes, args.data(), env.data())
                  : posix_spawn(&child, program.c_str(), &actions, &attributes, args.data(), env.data());
  posix_spawnattr_destroy(&attributes);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  if (pid) *pid = child;
  return true;
}

bool StartDetached(const std::vector<std::string>& argv, const std::string& folder, Lookup lookup) {
  pid_t pid = 0;
  if (!StartProcess(argv, folder, lookup, &pid)) return false;
  Detach(pid);
  return true;
}

void Detach(pid_t pid) {
  if (pid <= 0) return;
  std::lock_guard<std::mutex> lock(g_detached_mutex);
  g_detached.push_back(pid);
}

void ReapDetached() {
  std::lock_guard<std::mutex> lock(g_detached_mutex);
  auto ended = [](pid_t pid) {
    int status = 0;
    return WaitProcess(pid, 0, &status) != WaitResult::Running;
  };
  g_detached.erase(std::remove_if(g_detached.begin(), g_detached.end(), ended), g_detached.end());
}

WaitResult WaitProcess(pid_t pid, int32_t wait_ms, int* status) {
  const int64_t deadline = NowMs() + (wait_ms > 0 ? wait_ms : 0);
  for (;;) {
    pid_t done = waitpid(pid, status, wait_ms < 0 ? 0 : WNOHANG);
    if (done == pid) return WaitResult::Ended;
    if (done < 0) {
      if (errno == EINTR) continue;
      return WaitResult::Gone;
    }
    int64_t left = deadline - NowMs();
    if (left <= 0) return WaitResult::Running;
    struct timespec pause {0, static_cast<long>(std::min<int64_t>(left, 10)) * 1000000L};
    nanosleep(&pause, nullptr);
  }
}

}  // namespace lum::posix
