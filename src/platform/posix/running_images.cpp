#include "platform/posix/running_images.h"

#include <dirent.h>
#include <errno.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <time.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

namespace lum::posix {

namespace {

constexpr char kDeleted[] = " (deleted)";

std::vector<pid_t> OtherProcesses() {
  std::vector<pid_t> pids;
  DIR* proc = opendir("/proc");
  if (!proc) return pids;
  const pid_t self = getpid();
  while (dirent* entry = readdir(proc)) {
    char* end = nullptr;
    long pid = std::strtol(entry->d_name, &end, 10);
    if (pid > 0 && *end == '\0' && pid != self) pids.push_back(static_cast<pid_t>(pid));
  }
  closedir(proc);
  return pids;
}

std::string ExeLink(pid_t pid) { return "/proc/" + std::to_string(pid) + "/exe"; }

// The name of the file a process runs; "" for a kernel thread, a zombie or
// a process we may not look at.
std::string ImageOf(pid_t pid) {
  char buffer[4096];
  ssize_t n = readlink(ExeLink(pid).c_str(), buffer, sizeof buffer - 1);
  if (n <= 0) return std::string();
  std::string path(buffer, static_cast<size_t>(n));
  const size_t tail = sizeof kDeleted - 1;
  if (path.size() > tail && path.compare(path.size() - tail, tail, kDeleted) == 0) {
    path.resize(path.size() - tail);
  }
  return path.substr(path.rfind('/') + 1);
}

int PidfdOpen(pid_t pid) { return static_cast<int>(syscall(SYS_pidfd_open, pid, 0)); }

bool PidfdKill(int pidfd) { return syscall(SYS_pidfd_send_signal, pidfd, SIGKILL, nullptr, 0) == 0; }

int64_t NowMs() {
  struct timespec t {};
  clock_gettime(CLOCK_MONOTONIC, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000 + t.tv_nsec / 1000000;
}

}  // namespace

int EndProcessesOfImage(const std::string& image, int32_t wait_ms) {
  if (image.empty()) return 0;
  std::vector<pollfd> ended;
  for (pid_t pid : OtherProcesses()) {
    if (ImageOf(pid) != image) continue;
    // The pidfd holds on to this very process: looked at again through it,
    // a pid that was reused meanwhile is never the one signalled.
    int pidfd = PidfdOpen(pid);
    if (pidfd < 0) continue;
    if (ImageOf(pid) == image && PidfdKill(pidfd)) ended.push_back(pollfd{pidfd, POLLIN, 0});
    else close(pidfd);
  }
  // A pidfd becomes readable when its process has ended.
  const int64_t deadline = NowMs() + (wait_ms > 0 ? wait_ms : 0);
  size_t left = ended.size();
  while (left > 0) {
    int64_t remaining = deadline - NowMs();
    if (remaining <= 0) break;
    int n = poll(ended.data(), ended.size(), static_cast<int>(remaining));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    for (pollfd& p : ended) {
      if (p.fd >= 0 && p.revents) {
        close(p.fd);
        p.fd = -1;  // poll skips it from now on
        --left;
      }
    }
  }
  for (pollfd& p : ended) {
    if (p.fd >= 0) close(p.fd);
  }
  return static_cast<int>(ended.size());
}

bool FileIsRunning(const std::string& path) {
  struct stat file {};
  if (stat(path.c_str(), &file) != 0 || !S_ISREG(file.st_mode) || (file.st_mode & 0111) == 0) {
    return false;
  }
  if (file.st_ino == 0) return false;
  for (pid_t pid : OtherProcesses()) {
    struct stat running {};
    if (stat(ExeLink(pid).c_str(), &running) == 0 && running.st_dev == file.st_dev &&
        running.st_ino == file.st_ino) {
      return true;
    }
  }
  // This process too: its own file is in use as well.
  struct stat self {};
  return stat("/proc/self/exe", &self) == 0 && self.st_dev == file.st_dev && self.st_ino == file.st_ino;
}

}  // namespace lum::posix
