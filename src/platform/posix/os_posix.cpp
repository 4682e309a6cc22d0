// The seam on Linux. Paths arrive in the program's Windows form; every "\"
// is taken as "/". The registry is read-only and stands in for the
// shell-folder keys with the XDG folders:
//
//   per-user (HKEY_CURRENT_USER ...\Explorer\Shell Folders)
//     AppData     $XDG_CONFIG_HOME/lumora, else $HOME/.config/lumora (the
//                 program's own folder there, made on the first write)
//     Desktop     the user-dirs DESKTOP folder (as xdg-user-dir finds it)
//     Programs    $XDG_DATA_HOME/applications, else $HOME/.local/share/applications
//     Startup     $XDG_CONFIG_HOME/autostart, else $HOME/.config/autostart
//   common (HKEY_LOCAL_MACHINE, value "Common " + name): the system's
//   folders, whatever the caller's environment says
//     Common AppData   /etc/xdg
//     Common Desktop   the desktop of the user who asked for the install
//                      (Linux has no shared one; under pkexec or sudo, the
//                      user who ran it)
//     Common Programs  /usr/local/share/applications: a self-install is
//                      local software (the package's entry is in /usr/share)
//     Common Startup   /etc/xdg/autostart
//   ProgramFilesDir (HKEY_LOCAL_MACHINE ...\CurrentVersion)   /opt
//
// A folder whose variables are all unset is a missing value, as a missing
// registry value is on Windows. Everything is a REG_SZ value.
#include <errno.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <iterator>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "net/codepage.h"
#include "platform/os.h"
#include "platform/posix/http_posix.h"
#include "platform/posix/icon_png.h"
#include "platform/posix/instance_rendezvous.h"
#include "platform/posix/linked_resources.h"
#include "platform/posix/desktop_entry.h"
#include "platform/posix/desktop_user.h"
#include "platform/posix/running_images.h"
#include "platform/posix/process_posix.h"
#include "platform/posix/profile_text.h"
#include "platform/posix/sound.h"
#include "platform/posix/question.h"

namespace lum {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

std::string Under(const std::string& base, const char* tail) {
  return base.empty() ? std::string() : base + tail;
}

std::string UserFolder(const std::string& name) {
  std::string home = Env("HOME");
  std::string config = Env("XDG_CONFIG_HOME");
  if (config.empty()) config = Under(home, "/.config");
  std::string data = Env("XDG_DATA_HOME");
  if (data.empty()) data = Under(home, "/.local/share");
  if (name == "AppData") return Under(config, "/lumora");
  if (name == "Desktop") return posix::DesktopFolder(posix::ThisUser());
  if (name == "Programs") return Under(data, "/applications");
  if (name == "Startup") return Under(config, "/autostart");
  return std::string();
}

constexpr char kLocalApplications[] = "/usr/local/share/applications";
constexpr char kLocalIconTheme[] = "/usr/local/share/icons/hicolor";

std::string CommonFolder(const std::string& name) {
  if (name == "Common AppData") return "/etc/xdg";
  if (name == "Common Desktop") return posix::DesktopFolder(posix::AskingUser());
  if (name == "Common Programs") {
    // A shell folder always exists on Windows; a fresh system has no local
    // applications folder until something is installed there.
    if (geteuid() == 0) mkdir(kLocalApplications, 0755);
    return kLocalApplications;
  }
  if (name == "Common Startup") return "/etc/xdg/autostart";
  return std::string();
}

std::string UnixPath(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// Replaces the file through a temporary one beside it, so that a crash in
// the middle leaves either the old or the new file, never half of one.
// With a mode, the new file gets it; else it keeps the old file's.
bool ReplaceFile(const std::string& path, const std::string& content, mode_t mode = 0) {
  std::string temp = path + ".XXXXXX";
  int fd = mkstemp(temp.data());
  if (fd < 0) return false;
  struct stat old {};
  if (mode) fchmod(fd, mode);
  else if (stat(path.c_str(), &old) == 0) fchmod(fd, old.st_mode & 07777);
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

// Held across a settings write's read, rewrite and rename. The centre and
// the agent write the same file; without it each may read the file before
// the other's rename and carry the old copy of the other's key over it. The
// lock is on a file of its own: every rename gives the settings file a new
// inode, and a lock on the old one would guard nothing. Readers need none,
// since a rename replaces the file at once.
class ProfileWriteLock {
 public:
  explicit ProfileWriteLock(const std::string& settings_path)
      : fd_(open((settings_path + ".lock").c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600)) {
    if (fd_ < 0) return;
    while (flock(fd_, LOCK_EX) != 0) {
      if (errno != EINTR) {
        close(fd_);
        fd_ = -1;
        return;
      }
    }
  }
  ~ProfileWriteLock() {
    if (fd_ >= 0) close(fd_);
  }
  ProfileWriteLock(const ProfileWriteLock&) = delete;
  ProfileWriteLock& operator=(const ProfileWriteLock&) = delete;
  bool held() const { return fd_ >= 0; }

 private:
  int fd_;
};

// A target for the desktop's opener: links as they are, files in their
// Linux form and never taken for one of the opener's options.
std::string OpenerTarget(const std::string& target) {
  if (target.find("://") != std::string::npos) return target;
  std::string path = UnixPath(target);
  return !path.empty() && path[0] == '-' ? "./" + path : path;
}

// A folder that only this user can change: a real folder (not a link),
// ours, not writable by group or others.
bool IsPrivateFolder(const std::string& path) {
  struct stat st {};
  return !path.empty() && path[0] == '/' && lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == geteuid() && (st.st_mode & 022) == 0;
}

std::string WithoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

// $TMPDIR when it is the user's own; else, with no TMPDIR, $XDG_RUNTIME_DIR
// (the session's folder, 0700); else a folder of ours under $TMPDIR or
// /tmp, made 0700 or taken only when it is ours and closed to others; else
// a fresh one there. A folder of that name that someone else made, or a
// link, is never used.
std::string PrivateTempFolder() {
  std::string tmpdir = WithoutTrailingSlashes(Env("TMPDIR"));
  if (IsPrivateFolder(tmpdir)) return tmpdir;
  std::string runtime = WithoutTrailingSlashes(Env("XDG_RUNTIME_DIR"));
  if (tmpdir.empty() && IsPrivateFolder(runtime)) {
    struct stat st {};
    if (lstat(runtime.c_str(), &st) == 0 && (st.st_mode & 077) == 0) return runtime;
  }
  std::string shared = tmpdir.empty() || tmpdir[0] != '/' ? "/tmp" : tmpdir;
  std::string own = shared + "/lumcenter-" + std::to_string(geteuid());
  if (mkdir(own.c_str(), 0700) == 0 || errno == EEXIST) {
    if (IsPrivateFolder(own)) {
      chmod(own.c_str(), 0700);
      return own;
    }
  }
  std::string fresh = shared + "/lumcenter-XXXXXX";
  if (mkdtemp(fresh.data())) return fresh;
  // Nowhere of ours in the temporary folder the user named (it may not
  // exist at all): a folder that cannot exist, so that nothing is written
  // and the centre ends, as it does on Windows without a temporary folder.
  return "/dev/null/lumcenter";
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
    if (UnixPath(path) == kNotifySound) return posix::SoundPlayable() ? PathKind::File : PathKind::None;
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
    if (posix::ReadWhole(UnixPath(file), &content)) found = posix::ProfileLookup(content, section, key);
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
    // The settings file's own folder comes with the first write.
    size_t slash = path.rfind('/');
    if (slash != std::string::npos && slash > 0) mkdir(path.substr(0, slash).c_str(), 0700);
    ProfileWriteLock lock(path);
    if (!lock.held()) return false;
    std::string content;
    if (ProbePath(file) == PathKind::File && !posix::ReadWhole(path, &content)) return false;
    return ReplaceFile(path, posix::ProfileUpdate(content, section, key, value));
  }

  std::string CommandLine() override {
    // Rebuilt from the arguments in the Windows form: quoted where a piece
    // holds a blank.
    std::string raw;
    if (!posix::ReadWhole("/proc/self/cmdline", &raw)) return std::string();
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
    // A link at the name is not written through: the file written is the
    // one named.
    int fd = open(UnixPath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) return nullptr;
    return std::make_unique<PosixFile>(fd);
  }

  // A program file that runs is in use, as Windows has it: unlinked, it
  // would go on running from a file nobody can see or replace.
  bool RemoveFile(const std::string& path) override {
    if (posix::FileIsRunning(UnixPath(path))) {
      errno = ETXTBSY;
      return false;
    }
    return unlink(UnixPath(path).c_str()) == 0;
  }

  bool MoveFileOver(const std::string& from, const std::string& to) override {
    return rename(UnixPath(from).c_str(), UnixPath(to).c_str()) == 0;
  }

  bool CopyFileOver(const std::string& from, const std::string& to) override {
    std::string bytes;
    if (!posix::ReadWhole(UnixPath(from), &bytes)) return false;
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

  // The counterpart of the per-user temporary folder of Windows: the help
  // file's copy there is shown by the centre and obeyed, so it must be a
  // folder nobody else can put a file, a link or a folder into. Decided once:
  // the centre deletes its copy from the same folder it wrote it to.
  std::string TempFolder() override {
    std::lock_guard<std::mutex> guard(temp_mutex_);
    if (temp_folder_.empty()) temp_folder_ = PrivateTempFolder() + "/";
    return temp_folder_;
  }

  // Every start splits the Windows command line by the program's own rules
  // and starts the program with that argument vector: no shell ever reads
  // a path or a link.
  void WinExec(const std::string& command_line, int show) override {
    std::vector<std::string> argv = posix::ArgumentVector(command_line);
    // An HTML application's page: Linux has no HTML application host, so
    // the page goes to the user's browser, as any other link does.
    if (!argv.empty() && posix::LowerCase1251(argv[0]) == "mshta.exe") {
      if (argv.size() > 1 && argv[1].find("://") != std::string::npos) ShellOpen(0, argv[1], show);
      return;
    }
    posix::StartDetached(argv, "", posix::Lookup::Windows);
  }

  // The "runas" verb is polkit's pkexec: it asks for an administrator's
  // password and runs the program as root; refused, it ends at once. A
  // process that is root already (sudo) runs the program itself, keeping
  // the environment that names the user who asked. Without pkexec nothing
  // starts, as a failed elevation starts nothing on Windows.
  bool ShellExecuteWait(uintptr_t, const std::string& verb, const std::string& file,
                        const std::string& parameters, int, uintptr_t* process) override {
    std::vector<std::string> argv = posix::ArgumentVector(parameters);
    argv.insert(argv.begin(), UnixPath(file));
    posix::Lookup lookup = posix::Lookup::Windows;
    if (verb == "runas" && geteuid() != 0) {
      argv.insert(argv.begin(), "pkexec");
      lookup = posix::Lookup::Path;
    }
    pid_t pid = 0;
    if (!posix::StartProcess(argv, "", lookup, &pid)) return false;
    std::lock_guard<std::mutex> guard(processes_mutex_);
    processes_[pid] = std::nullopt;
    *process = static_cast<uintptr_t>(pid);
    return true;
  }

  void ShellOpen(uintptr_t, const std::string& target, int) override {
    posix::StartDetached({"xdg-open", OpenerTarget(target)}, "", posix::Lookup::Path);
  }

  // A process handle is the pid of a ShellExecuteWait start; its wait status
  // is kept once read, as a handle keeps its exit code, until CloseProcess.
  bool ExitCode(uintptr_t process, uint32_t* code) override {
    posix::ReapDetached();
    std::lock_guard<std::mutex> guard(processes_mutex_);
    auto found = processes_.find(static_cast<pid_t>(process));
    if (found == processes_.end()) return false;
    if (!found->second) {
      int status = 0;
      posix::WaitResult result = posix::WaitProcess(found->first, 0, &status);
      if (result == posix::WaitResult::Running) {
        *code = 259;  // still running, as the system says it
        return true;
      }
      if (result == posix::WaitResult::Gone) return false;
      found->second = status;
    }
    int status = *found->second;
    *code = WIFEXITED(status) ? static_cast<uint32_t>(WEXITSTATUS(status)) : 1;
    return true;
  }

  void CloseProcess(uintptr_t process) override {
    std::lock_guard<std::mutex> guard(processes_mutex_);
    auto found = processes_.find(static_cast<pid_t>(process));
    if (found == processes_.end()) return;
    if (!found->second) posix::Detach(found->first);
    processes_.erase(found);
  }

  bool RunAndWaitProcess(const std::string& command_line, const std::string& folder, uint32_t,
                         int, int32_t wait_ms) override {
    if (RunsSystemKill(command_line)) return true;
    pid_t pid = 0;
    if (!posix::StartProcess(posix::ArgumentVector(command_line), UnixPath(folder),
                             posix::Lookup::Windows, &pid)) {
      return false;
    }
    int status = 0;
    switch (posix::WaitProcess(pid, wait_ms, &status)) {
      case posix::WaitResult::Ended:
        return true;
      case posix::WaitResult::Gone:
        // Reaped elsewhere, which can only happen once it has ended.
        return true;
      case posix::WaitResult::Running:
        break;
    }
    posix::Detach(pid);
    return false;
  }

  void WinExecForUser(const std::string& command_line, int show) override {
    posix::DesktopUser user = posix::AskingUser();
    if (!user.other) {
      WinExec(command_line, show);
      return;
    }
    std::vector<std::string> argv = posix::ArgumentVector(command_line);
    if (argv.empty()) return;
    // As WinExec finds it, then started by the user's own rights.
    if (argv[0].find('/') == std::string::npos) argv[0] = "./" + argv[0];
    posix::RunAsUser(user, argv, 0);
  }

  uint32_t SystemMajorVersion() override { return 10; }

  void Sleep(uint32_t ms) override {
    struct timespec t {static_cast<time_t>(ms / 1000), static_cast<long>(ms % 1000) * 1000000L};
    nanosleep(&t, nullptr);
  }

  // Window classes are the session's rendezvous of the class names. A
  // handle is a small number standing for a class name, never a pointer.
  // Root working for a user (an elevated install) looks in that user's
  // session too, where their centre and agent are.
  uintptr_t FindWindowByClass(const std::string& class_name) override {
    uid_t user = posix::kThisUser;
    if (!posix::ClassHeld(class_name)) {
      posix::DesktopUser asking = posix::AskingUser();
      if (!asking.other || !posix::ClassHeld(class_name, asking.uid)) return 0;
      user = asking.uid;
    }
    std::lock_guard<std::mutex> guard(classes_mutex_);
    Window window{class_name, user};
    auto known = std::find(classes_.begin(), classes_.end(), window);
    if (known == classes_.end()) known = classes_.insert(classes_.end(), window);
    return static_cast<uintptr_t>(known - classes_.begin()) + 1;
  }

  void BringToForeground(uintptr_t window) override {
    Window found;
    if (WindowOf(window, &found)) {
      posix::SendClassRequest(found.class_name, posix::ClassRequest::Raise, kRaiseBudgetMs, 0,
                              posix::ActivationToken(false), found.user);
    }
  }

  void SendCloseRequest(uintptr_t window, uint32_t timeout_ms) override {
    Window found;
    if (!WindowOf(window, &found)) return;
    int32_t wait = static_cast<int32_t>(std::min<uint32_t>(timeout_ms, INT32_MAX));
    posix::SendClassRequest(found.class_name, posix::ClassRequest::Close,
                            std::min(wait, kRaiseBudgetMs), wait, "", found.user);
  }

  // A desktop entry in place of a shell link, in the link's folder. The
  // program has two kinds of shortcut, the centre's and the agent's start
  // (its argument "/agent"); each has the one file name the desktop knows it
  // by, whatever the link was called, so that the package and a self-install
  // leave the same files. Desktop entries are UTF-8.
  //
  // Written whole or not at all (a new file renamed over the old). A
  // launcher on a desktop is executable and marked trusted, or desktops
  // offer it as an unknown script. Root writing into a user's folder (their
  // desktop, for a install they asked for) writes as that user: no link of
  // theirs is followed, and the file is theirs. A menu entry of a
  // self-install brings the icon it names into the icon theme beside it.
  bool CreateShortcut(const std::string& target, const std::string& arguments, const std::string&,
                      const std::string& link_path, const std::string& description,
                      const std::string&, int, int) override {
    std::string link = UnixPath(link_path);
    std::string folder = link.substr(0, link.find_last_of('/') + 1);
    bool agent = arguments == "/agent";
    std::string path = folder + (agent ? "lumcenter-agent.desktop" : "lumcenter.desktop");
    std::string text =
        posix::DesktopEntry(UnixPath(target), arguments, Cp1251ToUtf8(description), agent);
    posix::DesktopUser owner = posix::ThisUser();
    struct stat st {};
    if (geteuid() == 0 && stat(folder.c_str(), &st) == 0 && st.st_uid != 0) {
      posix::DesktopUser user;
      if (posix::UserById(st.st_uid, &user)) owner = user;
    }
    const std::string in = WithoutTrailingSlashes(folder);
    bool desktop = in == CommonFolder("Common Desktop") || in == UserFolder("Desktop");
    bool ok;
    {
      posix::FileAccessAs as(owner);
      ok = ReplaceFile(path, text, desktop ? 0755 : 0644);
    }
    if (ok && desktop) {
      posix::RunAsUser(owner, {"gio", "set", path, "metadata::trusted", "true"}, kHelperBudgetMs);
    }
    if (ok && folder.compare(0, sizeof kLocalApplications - 1, kLocalApplications) == 0) {
      InstallIcons(kLocalIconTheme);
    }
    return ok;
  }

  // Linked into the executable by the build (there is no resource section).
  std::string ProgramResource(const std::string& name) override {
    return posix::LinkedResource(name);
  }

  // The modules look for the notification sound as the Windows folder's
  // "Media\Notify.wav" (then "Media\Уведомление.wav") and play the first
  // that exists. Linux has no such files: its notification sound is the
  // desktop sound theme's event "message-new-instant". So the Windows folder
  // here holds names only, under a path that no real file can have, and its
  // "Media\Notify.wav" is that event: it exists while a sound can be played
  // at all, and playing it plays the event. Any other path is a sound file.
  std::string WindowsFolder() override { return kWindowsFolder; }

  void PlaySoundFile(const std::string& path) override {
    if (UnixPath(path) == kNotifySound) posix::PlaySoundEvent("message-new-instant");
    else posix::PlaySoundFromFile(UnixPath(path));
  }

  // A dialog in the desktop build. Where none can be shown the answer is No:
  // on Linux a question nobody saw must not install anything.
  int AskYesNo(const std::string& text, const std::string& caption) override {
    return posix::AskQuestion(text, caption);
  }

 private:
  static constexpr char kWindowsFolder[] = "/dev/null/Windows";  // under a device: never a folder
  static constexpr char kNotifySound[] = "/dev/null/Windows/Media/Notify.wav";

  // A raise never holds the sender up for long.
  static constexpr int32_t kRaiseBudgetMs = 1000;
  // Nor does a desktop helper an installer runs.
  static constexpr int32_t kHelperBudgetMs = 5000;

  // The program's icons, under the names the desktop entries give, in an
  // icon theme's folder.
  static void InstallIcons(const std::string& theme) {
    const std::pair<const char*, const char*> icons[] = {{"APPICON", "lumcenter"},
                                                         {"RSSICON", "lumcenter-news"}};
    for (const auto& [resource, name] : icons) {
      for (const auto& [size, png] : posix::IconImagesAsPng(posix::LinkedResource(resource))) {
        std::string folder = theme + "/" + std::to_string(size) + "x" + std::to_string(size) + "/apps";
        for (size_t slash = folder.find('/', 1); slash != std::string::npos; slash = folder.find('/', slash + 1)) {
          mkdir(folder.substr(0, slash).c_str(), 0755);
        }
        mkdir(folder.c_str(), 0755);
        ReplaceFile(folder + "/" + name + ".png", png, 0644);
      }
    }
  }

  struct Window {
    std::string class_name;
    uid_t user = posix::kThisUser;
    bool operator==(const Window&) const = default;
  };

  bool WindowOf(uintptr_t window, Window* found) {
    std::lock_guard<std::mutex> guard(classes_mutex_);
    if (window == 0 || window > classes_.size()) return false;
    *found = classes_[window - 1];
    return true;
  }

  // The system's kill command, "taskkill /F /IM <image>": ends the processes
  // whose program file has that name, as an elevated one ends every user's.
  // Waits a while for them to be gone, as the command does.
  static bool RunsSystemKill(const std::string& command_line) {
    std::vector<std::string> argv = posix::ArgumentVector(command_line);
    if (argv.empty() || posix::LowerCase1251(argv[0]) != "taskkill.exe") return false;
    for (size_t i = 1; i + 1 < argv.size(); ++i) {
      if (posix::LowerCase1251(argv[i]) == "/im") posix::EndProcessesOfImage(argv[i + 1], 2000);
    }
    return true;
  }

  std::mutex temp_mutex_;
  std::string temp_folder_;
  std::mutex processes_mutex_;
  std::map<pid_t, std::optional<int>> processes_;  // pid -> wait status once ended
  std::mutex classes_mutex_;
  std::vector<Window> classes_;  // handle - 1 -> class name and whose
};

}  // namespace

OsApi& NativeOs() {
  static PosixOs os;
  return os;
}

}  // namespace lum
