// The seam on Linux. Paths arrive in the program's Windows form; every "\"
// is taken as "/". The registry is read-only and stands in for the
// shell-folder keys with the XDG folders:
//
//   per-user (HKEY_CURRENT_USER ...\Explorer\Shell Folders)
//     AppData     $XDG_CONFIG_HOME, else $HOME/.config
//     Desktop     $XDG_DESKTOP_DIR, else $HOME/Desktop
//     Programs    $XDG_DATA_HOME/applications, else $HOME/.local/share/applications
//     Startup     $XDG_CONFIG_HOME/autostart, else $HOME/.config/autostart
//   common (HKEY_LOCAL_MACHINE, value "Common " + name)
//     Common AppData   first of $XDG_CONFIG_DIRS, else /etc/xdg
//     Common Desktop   the per-user desktop (Linux has no shared one)
//     Common Programs  first of $XDG_DATA_DIRS + /applications, else /usr/local/share/applications
//     Common Startup   first of $XDG_CONFIG_DIRS + /autostart, else /etc/xdg/autostart
//   ProgramFilesDir (HKEY_LOCAL_MACHINE ...\CurrentVersion)   /opt
//
// A folder whose variables are all unset is a missing value, as a missing
// registry value is on Windows. Everything is a REG_SZ value.
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <optional>

#include "platform/os.h"
#include "platform/posix/http_posix.h"
#include "platform/posix/linked_resources.h"
#include "platform/posix/profile_text.h"

namespace lum {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// The first entry of a colon-separated list, or "".
std::string FirstOf(const std::string& list) { return list.substr(0, list.find(':')); }

std::string Under(const std::string& base, const char* tail) {
  return base.empty() ? std::string() : base + tail;
}

std::string UserFolder(const std::string& name) {
  std::string home = Env("HOME");
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty()) config = Under(home, "/.config");
  std::string data = Env("XDG_DATA_HOME");
  if (data.empty()) data = Under(home, "/.local/share");
  if (name == "AppData") return config;
  if (name == "Desktop") {
    std::string desktop = Env("XDG_DESKTOP_DIR");
    return desktop.empty() ? Under(home, "/Desktop") : desktop;
  }
  if (name == "Programs") return Under(data, "/applications");
  if (name == "Startup") return Under(config, "/autostart");
  return std::string();
}

std::string CommonFolder(const std::string& name) {
  std::string config_dirs = FirstOf(Env("XDG_CONFIG_DIRS"));
  if (config_dirs.empty()) config_dirs = "/etc/xdg";
  std::string data_dirs = FirstOf(Env("XDG_DATA_DIRS"));
  if (data_dirs.empty()) data_dirs = "/usr/local/share";
  if (name == "Common AppData") return config_dirs;
  if (name == "Common Desktop") return UserFolder("Desktop");
  if (name == "Common Programs") return data_dirs + "/applications";
  if (name == "Common Startup") return config_dirs + "/autostart";
  return std::string();
}

std::string UnixPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

bool ReadWhole(const std::string& path, std::string* content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

// Replaces the file through a temporary one beside it, so that a crash in
// the middle leaves either the old or the new file, never half of one.
bool ReplaceFile(const std::string& path, const std::string& content) {
  std::string temp = path + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  struct stat old {};
  if (stat(path.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
  bool ok = true;
  for (size_t done = 0; ok && done < content.size();) {
    ssize_t n = write(fd, content.data() + done, content.size() - done);
    if (n <= 0) ok = false;
    else done += static_cast<size_t>(n);
  }
  if (ok && fsync(fd) != 0) ok = false;
  if (close(fd) != 0) ok = false;
  if (ok && rename(temp.c_str(), path.c_str()) != 0) ok = false;
  if (!ok) unlink(temp.c_str());
  return ok;
}

// Runs a Windows-style command line through /bin/sh, detached from our
// standard streams.
bool Spawn(const std::string& command_line, const std::string& folder, pid_t* pid_out) {
  std::string line = command_line;
  for (char& c : line) {
    if (c == '\\') c = '/';
  }
  if (!folder.empty()) line = "cd \"" + UnixPath(folder) + "\" && " + line;
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
  const char* argv[] = {"/bin/sh", "-c", line.c_str(), nullptr};
  pid_t pid = 0;
  int rc = posix_spawn(&pid, "/bin/sh", &actions, nullptr, const_cast<char* const*>(argv), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) return false;
  if (pid_out) *pid_out = pid;
  return true;
}

class PosixFile final : public WritableFile {
 public:
  explicit PosixFile(int fd) : fd_(fd) {}
  ~PosixFile() override { Close(); }
  bool Write(std::string_view bytes) override {
    while (!bytes.empty()) {
      ssize_t n = write(fd_, bytes.data(), bytes.size());
      if (n <= 0) return false;
      bytes.remove_prefix(static_cast<size_t>(n));
    }
    return true;
  }
  bool Close() override {
    if (fd_ < 0) return true;
    bool ok = close(fd_) == 0;
    fd_ = -1;
    return ok;
  }

 private:
  int fd_;
};

class PosixOs final : public OsApi {
 public:
  RegValue QueryRegistryValue(RegRoot root, const std::string& subkey,
                              const std::string& name) override {
    RegValue result;
    std::string key = posix::LowerCase1251(subkey);
    std::string folder;
    if (key == "software\\microsoft\\windows\\currentversion\\explorer\\shell folders") {
      folder = root == RegRoot::CurrentUser ? UserFolder(name) : CommonFolder(name);
    } else if (key == "software\\microsoft\\windows\\currentversion" &&
               root == RegRoot::LocalMachine && name == "ProgramFilesDir") {
      folder = "/opt";
    }
    if (folder.empty()) return result;
    result.found = true;
    result.type = kRegSz;
    result.data = folder;
    result.data.push_back('\0');
    return result;
  }

  PathKind ProbePath(const std::string& path) override {
    struct stat st {};
    if (path.empty() || stat(UnixPath(path).c_str(), &st) != 0) return PathKind::None;
    return S_ISDIR(st.st_mode) ? PathKind::Folder : PathKind::File;
  }

  ProfileRead GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def, uint32_t size,
                               const std::string& file) override {
    ProfileRead read;
    if (size == 0) return read;
    std::string content;
    std::optional<std::string> found;
    if (ReadWhole(UnixPath(file), &content)) found = posix::ProfileLookup(content, section, key);
    std::string text;
    if (found) {
      text = *found;
    } else {
      // The platform drops trailing blanks from the default.
      text = def;
      while (!text.empty() && text.back() == ' ') text.pop_back();
    }
    if (text.size() > size - 1) text.resize(size - 1);
    read.text = text;
    read.count = static_cast<uint32_t>(text.size());
    return read;
  }

  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) override {
    std::string path = UnixPath(file);
    std::string content;
    if (ProbePath(file) == PathKind::File && !ReadWhole(path, &content)) return false;
    return ReplaceFile(path, posix::ProfileUpdate(content, section, key, value));
  }

  std::string CommandLine() override {
    // Rebuilt from the arguments in the Windows form: quoted where a piece
    // holds a blank.
    std::string raw;
    if (!ReadWhole("/proc/self/cmdline", &raw)) return std::string();
    std::string line;
    size_t begin = 0;
    while (begin < raw.size()) {
      size_t end = raw.find('\0', begin);
      if (end == std::string::npos) end = raw.size();
      std::string piece = raw.substr(begin, end - begin);
      if (!line.empty()) line += ' ';
      bool quote = piece.empty() || piece.find_first_of(" \t") != std::string::npos;
      line += quote ? "\"" + piece + "\"" : piece;
      begin = end + 1;
    }
    return line;
  }

  std::string ModulePath() override {
    char path[261] = {};
    ssize_t n = readlink("/proc/self/exe", path, 260);
    return n > 0 ? std::string(path, static_cast<size_t>(n)) : std::string();
  }

  std::string LowerCase(const std::string& text) override { return posix::LowerCase1251(text); }

  std::string EnvironmentVariable(const std::string& name) override { return Env(name.c_str()); }

  bool HttpExchange(const HttpCall& call, const BodySink& sink) override {
    return posix::CurlHttpExchange(call, sink);
  }

  void UrlFetch(const UrlCall& call, UrlAnswer* answer, const BodySink& sink) override {
    posix::CurlUrlFetch(call, answer, sink);
  }

  std::unique_ptr<WritableFile> CreateFileForWrite(const std::string& path) override {
    int fd = open(UnixPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFile>(fd);
  }

  bool RemoveFile(const std::string& path) override { return unlink(UnixPath(path).c_str()) == 0; }

  bool MoveFileOver(const std::string& from, const std::string& to) override {
    return rename(UnixPath(from).c_str(), UnixPath(to).c_str()) == 0;
  }

  bool CopyFileOver(const std::string& from, const std::string& to) override {
    std::string bytes;
    if (!ReadWhole(UnixPath(from), &bytes)) return false;
    auto file = CreateFileForWrite(to);
    if (!file) return false;
    bool ok = file->Write(bytes);
    ok = file->Close() && ok;
    struct stat st {};
    if (ok && stat(UnixPath(from).c_str(), &st) == 0) chmod(UnixPath(to).c_str(), st.st_mode & 07777);
    return ok;
  }

  bool CreateFolder(const std::string& path) override {
    return mkdir(UnixPath(path).c_str(), 0755) == 0;
  }

  bool SetCurrentFolder(const std::string& path) override {
    return chdir(UnixPath(path).c_str()) == 0;
  }

  std::string TempFolder() override {
    std::string folder = Env("TMPDIR");
    if (folder.empty()) folder = "/tmp";
    if (folder.back() != '/') folder += '/';
    return folder;
  }

  // Programs are started through the shell's word splitting of the Windows
  // command line: good enough for the program's own fixed command lines.
  void WinExec(const std::string& command_line, int) override { Spawn(command_line, "", nullptr); }

  bool ShellExecuteWait(uintptr_t, const std::string&, const std::string& file,
                        const std::string& parameters, int, uintptr_t* process) override {
    pid_t pid = 0;
    if (!Spawn("\"" + file + "\" " + parameters, "", &pid)) return false;
    *process = static_cast<uintptr_t>(pid);
    return true;
  }

  void ShellOpen(uintptr_t, const std::string& target, int) override {
    Spawn("xdg-open \"" + target + "\"", "", nullptr);
  }

  bool ExitCode(uintptr_t process, uint32_t* code) override {
    int status = 0;
    pid_t done = waitpid(static_cast<pid_t>(process), &status, WNOHANG);
    if (done == 0) {
      *code = 259;  // still running, as the system says it
      return true;
    }
    if (done < 0) return false;
    *code = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status)) : 1;
    return true;
  }

  void CloseProcess(uintptr_t) override {}

  bool RunAndWaitProcess(const std::string& command_line, const std::string& folder, uint32_t,
                         int, int32_t wait_ms) override {
    pid_t pid = 0;
    if (!Spawn(command_line, folder, &pid)) return false;
    for (int32_t waited = 0;; waited += 10) {
      int status = 0;
      if (waitpid(pid, &status, WNOHANG) == pid) return true;
      if (wait_ms >= 0 && waited >= wait_ms) return false;
      Sleep(10);
    }
  }

  uint32_t SystemMajorVersion() override { return 10; }

  void Sleep(uint32_t ms) override {
    struct timespec t {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    nanosleep(&t, nullptr);
  }

  // Linux has no window classes shared between programs.
  uintptr_t FindWindowByClass(const std::string&) override { return 0; }
  void BringToForeground(uintptr_t) override {}
  void SendCloseRequest(uintptr_t, uint32_t) override {}

  // A desktop entry in place of a shell link.
  bool CreateShortcut(const std::string& target, const std::string& arguments, const std::string&,
                      const std::string& link_path, const std::string& description,
                      const std::string&, int, int) override {
    auto file = CreateFileForWrite(link_path);
    if (!file) return false;
    std::string exec = "\"" + UnixPath(target) + "\"" + (arguments.empty() ? "" : " " + arguments);
    bool ok = file->Write("[Desktop Entry]\nType=Application\nName=" + description +
                          "\nExec=" + exec + "\n");
    return file->Close() && ok;
  }

  // Linked into the executable by the build (there is no resource section).
  std::string ProgramResource(const std::string& name) override {
    return posix::LinkedResource(name);
  }

  // Where a Windows installation keeps its "Media" folder of sounds.
  std::string WindowsFolder() override {
    std::string folder = Env("LUMCENTER_WINDOWS_FOLDER");
    return folder.empty() ? "/usr/share/sounds/lumora" : folder;
  }

  void PlaySoundFile(const std::string& path) override {
    Spawn("aplay -q \"" + path + "\"", "", nullptr);
  }

  // No dialog without a desktop toolkit: the answer counts as given.
  int AskYesNo(const std::string&, const std::string&) override { return 0; }
};

}  // namespace

OsApi& NativeOs() {
  static PosixOs os;
  return os;
}

}  // namespace lum
