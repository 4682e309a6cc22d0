// The user a program run for someone else works for. An installer started
// through pkexec or sudo runs as root, but the desktop it puts a launcher on,
// the centre and agent it replaces and the centre it starts afterwards are
// those of the user who asked (pkexec and sudo name them in PKEXEC_UID and
// SUDO_UID). Everything else is this process's own user.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace lum::posix {

struct DesktopUser {
  uid_t uid = 0;
  gid_t gid = 0;
  std::string name;
  std::string home;
  bool other = false;  // not this process's user: root working for them
};

DesktopUser AskingUser();
// This process's own user, with the home its environment gives.
DesktopUser ThisUser();
// A user of the machine by uid (their home from the password database);
// false when there is none.
bool UserById(uid_t uid, DesktopUser* user);

// A folder of the XDG user-dirs file's text (~/.config/user-dirs.dirs), as
// xdg-user-dir reads it: the line XDG_<key>_DIR="..." whose value is
// "$HOME/..." or an absolute path. "" when the file does not name it.
std::string UserDirsEntry(const std::string& content, const std::string& key,
                          const std::string& home);

// The user's desktop folder: their user-dirs file's DESKTOP entry, else
// $XDG_DESKTOP_DIR (this process's user only), else ~/Desktop.
std::string DesktopFolder(const DesktopUser& user);

// Starts argv as the user, with their home and groups, without waiting for
// it; as it is when the user is this process's own. wait_ms: how long to
// wait for it to end (0: not at all, detached). False when it did not start
// or, when waited for, did not end in time.
bool RunAsUser(const DesktopUser& user, const std::vector<std::string>& argv, int32_t wait_ms);

// For its lifetime, files are opened, made and renamed with the user's
// rights (the file-system ids of this thread): root writing into a folder
// of the user's follows no link the user planted and makes files that are
// theirs.
class FileAccessAs {
 public:
  explicit FileAccessAs(const DesktopUser& user);
  ~FileAccessAs();
  FileAccessAs(const FileAccessAs&) = delete;
  FileAccessAs& operator=(const FileAccessAs&) = delete;

 private:
  bool switched_ = false;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
};

// The whole of a file as bytes; false when it cannot be read.
bool ReadWhole(const std::string& path, std::string* content);

}  // namespace lum::posix
