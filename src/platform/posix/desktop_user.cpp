#include "platform/posix/desktop_user.h"

#include <pwd.h>
#include <sys/fsuid.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>

#include "platform/posix/process_posix.h"

extern char** environ;

namespace lum::posix {

namespace {

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value ? value : "";
}

// A uid named by an environment variable, or -1.
long UidFrom(const char* variable) {
  std::string text = Env(variable);
  if (text.empty() || text.size() > 10) return -1;
  char* end = nullptr;
  long uid = std::strtol(text.c_str(), &end, 10);
  return *end == '\0' && uid >= 0 ? uid : -1;
}

bool PasswordEntry(uid_t uid, DesktopUser* user) {
  struct passwd entry {};
  struct passwd* found = nullptr;
  char buffer[4096];
  if (getpwuid_r(uid, &entry, buffer, sizeof buffer, &found) != 0 || !found) return false;
  user->uid = found->pw_uid;
  user->gid = found->pw_gid;
  user->name = found->pw_name;
  user->home = found->pw_dir ? found->pw_dir : "";
  return true;
}

// The user's own runtime folder, when it is theirs alone.
std::string RuntimeFolderOf(const DesktopUser& user) {
  std::string folder = "/run/user/" + std::to_string(user.uid);
  struct stat st {};
  if (lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == user.uid &&
      (st.st_mode & 077) == 0) {
    return folder;
  }
  return std::string();
}

// This process's environment as the user's session would have it: their
// home and name; none of root's own folders, nor the elevation's marks.
std::vector<std::string> EnvironmentOf(const DesktopUser& user) {
  static const char* const kDropped[] = {"HOME=", "USER=", "LOGNAME=", "XDG_RUNTIME_DIR=",
                                         "XDG_CONFIG_HOME=", "XDG_DATA_HOME=", "XDG_CACHE_HOME=",
                                         "XDG_STATE_HOME=", "TMPDIR=", "DBUS_SESSION_BUS_ADDRESS=",
                                         "SUDO_", "PKEXEC_UID=", "MAIL="};
  std::vector<std::string> env;
  for (char** entry = environ; *entry; ++entry) {
    bool dropped = false;
    for (const char* prefix : kDropped) dropped = dropped || std::strncmp(*entry, prefix, std::strlen(prefix)) == 0;
    if (!dropped) env.push_back(*entry);
  }
  env.push_back("HOME=" + user.home);
  env.push_back("USER=" + user.name);
  env.push_back("LOGNAME=" + user.name);
  std::string runtime = RuntimeFolderOf(user);
  if (!runtime.empty()) {
    env.push_back("XDG_RUNTIME_DIR=" + runtime);
    struct stat st {};
    if (stat((runtime + "/bus").c_str(), &st) == 0) {
      env.push_back("DBUS_SESSION_BUS_ADDRESS=unix:path=" + runtime + "/bus");
      return env;
    }
  }
  // No session bus of theirs: none is started for them behind their back.
  env.push_back("DBUS_SESSION_BUS_ADDRESS=disabled:");
  return env;
}

}  // namespace

bool ReadWhole(const std::string& path, std::string* content) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  content->assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  return !in.bad();
}

DesktopUser AskingUser() {
  DesktopUser user;
  if (geteuid() == 0) {
    for (const char* variable : {"PKEXEC_UID", "SUDO_UID"}) {
      long uid = UidFrom(variable);
      if (uid > 0 && PasswordEntry(static_cast<uid_t>(uid), &user)) {
        user.other = true;
        return user;
      }
    }
  }
  return ThisUser();
}

bool UserById(uid_t uid, DesktopUser* user) {
  if (uid == geteuid()) {
    *user = ThisUser();
    return true;
  }
  if (!PasswordEntry(uid, user)) return false;
  user->other = true;
  return true;
}

DesktopUser ThisUser() {
  DesktopUser user;
  if (!PasswordEntry(geteuid(), &user)) {
    user.uid = geteuid();
    user.gid = getegid();
  }
  // This process's own user: its environment is theirs.
  std::string home = Env("HOME");
  if (!home.empty()) user.home = home;
  user.other = false;
  return user;
}

std::string UserDirsEntry(const std::string& content, const std::string& key,
                          const std::string& home) {
  const std::string name = "XDG_" + key + "_DIR";
  std::string found;
  size_t begin = 0;
  while (begin < content.size()) {
    size_t end = content.find('\n', begin);
    if (end == std::string::npos) end = content.size();
    std::string line = content.substr(begin, end - begin);
    begin = end + 1;
    size_t at = line.find_first_not_of(" \t");
    if (at == std::string::npos || line.compare(at, name.size(), name) != 0) continue;
    at += name.size();
    at = line.find_first_not_of(" \t", at);
    if (at == std::string::npos || line[at] != '=') continue;
    at = line.find_first_not_of(" \t", at + 1);
    if (at == std::string::npos || line[at] != '"') continue;
    std::string value;
    bool closed = false;
    for (size_t i = at + 1; i < line.size(); ++i) {
      if (line[i] == '\\' && i + 1 < line.size()) {
        value += line[++i];
      } else if (line[i] == '"') {
        closed = true;
        break;
      } else {
        value += line[i];
      }
    }
    if (!closed) continue;
    std::string path;
    if (value == "$HOME" || value.compare(0, 6, "$HOME/") == 0) {
      path = home + value.substr(5);
    } else if (!value.empty() && value[0] == '/') {
      path = value;
    } else {
      continue;  // neither under the home nor absolute: not a folder
    }
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    found = path;  // a later line wins, as the shell that reads it would have it
  }
  return found;
}

std::string DesktopFolder(const DesktopUser& user) {
  std::string config = user.other ? std::string() : Env("XDG_CONFIG_HOME");
  if (config.empty() && !user.home.empty()) config = user.home + "/.config";
  std::string content;
  if (!config.empty()) {
    // Read with the user's rights: a root installer reads no file the user
    // could not, through a link of theirs.
    FileAccessAs as(user);
    ReadWhole(config + "/user-dirs.dirs", &content);
  }
  std::string folder = UserDirsEntry(content, "DESKTOP", user.home);
  if (folder.empty() && !user.other) folder = Env("XDG_DESKTOP_DIR");
  if (folder.empty() && !user.home.empty()) folder = user.home + "/Desktop";
  return folder;
}

bool RunAsUser(const DesktopUser& user, const std::vector<std::string>& argv, int32_t wait_ms) {
  if (argv.empty()) return false;
  std::vector<std::string> command = argv;
  std::vector<std::string> env;
  const std::vector<std::string>* environment = nullptr;
  if (user.other) {
    command = {"setpriv", "--reuid=" + std::to_string(user.uid), "--regid=" + std::to_string(user.gid),
               "--init-groups", "--"};
    command.insert(command.end(), argv.begin(), argv.end());
    env = EnvironmentOf(user);
    environment = &env;
  } else if (Env("DBUS_SESSION_BUS_ADDRESS").empty()) {
    // No session bus here: a desktop helper must not start one of its own
    // that outlives the installer.
    struct stat st {};
    std::string runtime = Env("XDG_RUNTIME_DIR");
    if (runtime.empty() || stat((runtime + "/bus").c_str(), &st) != 0) {
      for (char** entry = environ; *entry; ++entry) env.push_back(*entry);
      env.push_back("DBUS_SESSION_BUS_ADDRESS=disabled:");
      environment = &env;
    }
  }
  pid_t pid = 0;
  if (!StartProcess(command, "", Lookup::Path, &pid, environment)) return false;
  if (wait_ms == 0) {
    Detach(pid);
    return true;
  }
  int status = 0;
  if (WaitProcess(pid, wait_ms, &status) == WaitResult::Running) {
    Detach(pid);
    return false;
  }
  return true;
}

FileAccessAs::FileAccessAs(const DesktopUser& user) {
  if (!user.other || geteuid() != 0) return;
  uid_ = geteuid();
  gid_ = getegid();
  setfsgid(user.gid);
  setfsuid(user.uid);
  switched_ = true;
}

FileAccessAs::~FileAccessAs() {
  if (!switched_) return;
  setfsuid(uid_);
  setfsgid(gid_);
}

}  // namespace lum::posix
