// What the tests need around the program: temporary folders, files read and
// written byte for byte, and the shell-folder values pointed at test folders
// (environment variables on Linux, the prefix's registry under Wine).
#pragma once

#include <optional>
#include <string>

namespace lum::test {

// A fresh folder, removed with everything in it at the end.
class TempFolder {
 public:
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  // The folder in the program's own form (no trailing separator).
  const std::string& path() const { return path_; }
  // A file in it, in the program's own form: folder + "\" + name.
  std::string File(const std::string& name) const { return path_ + "\\" + name; }

 private:
  std::string path_;
};

// True when the Windows build runs under Wine rather than on Windows.
bool UnderWine();

// Files addressed by the program's own path form.
bool WriteBytes(const std::string& path, const std::string& bytes);
std::optional<std::string> ReadBytes(const std::string& path);
bool Exists(const std::string& path);

// Held by every shell-folder override for its whole life. Under Wine the
// values live in the prefix's registry, which all test processes share, and
// ctest runs them side by side: without it one test's override would show
// through in another. On Linux the values are the process's own environment
// and it does nothing.
class ShellFolderLock {
 public:
  ShellFolderLock();
  ~ShellFolderLock();
  ShellFolderLock(const ShellFolderLock&) = delete;
  ShellFolderLock& operator=(const ShellFolderLock&) = delete;

 private:
  void* handle_ = nullptr;
};

// Points the per-user "AppData" folder somewhere else, or removes it, for the
// life of the object; the old value comes back afterwards. On Linux the
// folder is the program's own under the config folder, so the config folder
// is a new one whose "lumora" leads to the folder given.
class AppDataOverride {
 public:
  explicit AppDataOverride(const std::optional<std::string>& folder);
  ~AppDataOverride();
  AppDataOverride(const AppDataOverride&) = delete;
  AppDataOverride& operator=(const AppDataOverride&) = delete;
  // The folder as the program names it, "" when removed.
  const std::string& folder() const { return folder_; }

 private:
  ShellFolderLock lock_;
  std::string folder_;
  std::string config_;
  std::optional<std::string> saved_;
  std::optional<std::string> saved_home_;
};

// Sets the common desktop folder for the life of the object.
class CommonDesktopOverride {
 public:
  explicit CommonDesktopOverride(const std::string& folder);
  ~CommonDesktopOverride();
  CommonDesktopOverride(const CommonDesktopOverride&) = delete;
  CommonDesktopOverride& operator=(const CommonDesktopOverride&) = delete;

 private:
  ShellFolderLock lock_;
  std::optional<std::string> saved_;
};

#ifdef _WIN32
// Stores "AppData" as a REG_EXPAND_SZ value for the life of the object.
class AppDataExpandOverride {
 public:
  explicit AppDataExpandOverride(const std::string& value);
  ~AppDataExpandOverride();

 private:
  ShellFolderLock lock_;
  std::optional<std::string> saved_;
};
#endif

}  // namespace lum::test
