#include "test_env.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#ifdef _WIN32
#include <windows.h>
#else
#include <ftw.h>
#include <unistd.h>
#endif

namespace lum::test {

namespace {

#ifdef _WIN32
const char kShellFolders[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::optional<std::string> RegGet(HKEY root, const char* name) {
  HKEY key;
  if (RegOpenKeyExA(root, kShellFolders, 0, KEY_READ, &key) != ERROR_SUCCESS) return std::nullopt;
  char buffer[1024];
  DWORD size = sizeof buffer - 1;
  DWORD type = 0;
  std::optional<std::string> result;
  if (RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buffer), &size) ==
          ERROR_SUCCESS && type == REG_SZ) {
    buffer[size] = 0;
    result = std::string(buffer);
  }
  RegCloseKey(key);
  return result;
}

void RegPut(HKEY root, const char* name, const std::optional<std::string>& value,
            DWORD type = REG_SZ) {
  HKEY key;
  if (RegCreateKeyExA(root, kShellFolders, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                      nullptr) != ERROR_SUCCESS) {
    return;
  }
  if (value) {
    RegSetValueExA(key, name, 0, type, reinterpret_cast<const BYTE*>(value->c_str()),
                   static_cast<DWORD>(value->size() + 1));
  } else {
    RegDeleteValueA(key, name);
  }
  RegCloseKey(key);
}

void RemoveTree(const std::string& path) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((path + "\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::string name = data.cFileName;
      if (name == "." || name == "..") continue;
      std::string child = path + "\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) RemoveTree(child);
      else DeleteFileA(child.c_str());
    } while (FindNextFileA(find, &data));
    FindClose(find);
  }
  RemoveDirectoryA(path.c_str());
}
#else
std::string Native(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

std::optional<std::string> EnvGet(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::optional<std::string>(value) : std::nullopt;
}

void EnvPut(const char* name, const std::optional<std::string>& value) {
  if (value) setenv(name, value->c_str(), 1);
  else unsetenv(name);
}

// Native tests never see the home of the person running them: home and XDG
// folders point into a folder of their own from the first moment.
struct IsolatedHome {
  std::string root;
  IsolatedHome() {
    std::string base = EnvGet("TMPDIR").value_or("/tmp") + "/lum-home-XXXXXX";
    if (mkdtemp(base.data())) root = base;
    for (const char* name : {"HOME", "XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_DESKTOP_DIR",
                             "XDG_CONFIG_DIRS", "XDG_DATA_DIRS", "XDG_CACHE_HOME"}) {
      unsetenv(name);
    }
    if (!root.empty()) setenv("HOME", root.c_str(), 1);
  }
  ~IsolatedHome() {
    if (!root.empty()) {
      nftw(root.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); },
           16, FTW_DEPTH | FTW_PHYS);
    }
  }
};
IsolatedHome g_isolated_home;
#endif

}  // namespace

TempFolder::TempFolder() {
#ifdef _WIN32
  char temp[MAX_PATH + 1];
  GetTempPathA(MAX_PATH, temp);
  static unsigned counter = 0;
  for (int attempt = 0; attempt < 1000; ++attempt) {
    std::string candidate = std::string(temp) + "lumtest-" + std::to_string(GetCurrentProcessId()) +
                            "-" + std::to_string(++counter);
    if (CreateDirectoryA(candidate.c_str(), nullptr)) {
      path_ = candidate;
      break;
    }
  }
#else
  std::string base = EnvGet("TMPDIR").value_or("/tmp") + "/lumtest-XXXXXX";
  if (mkdtemp(base.data())) path_ = base;
#endif
}

TempFolder::~TempFolder() {
  if (path_.empty()) return;
#ifdef _WIN32
  RemoveTree(path_);
#else
  nftw(path_.c_str(), [](const char* p, const struct stat*, int, struct FTW*) { return remove(p); },
       16, FTW_DEPTH | FTW_PHYS);
#endif
}

bool UnderWine() {
#ifdef _WIN32
  HMODULE ntdll = GetModuleHandleA("ntdll.dll");
  return ntdll && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
#ifdef _WIN32
  FILE* f = std::fopen(path.c_str(), "wb");
#else
  FILE* f = std::fopen(Native(path).c_str(), "wb");
#endif
  if (!f) return false;
  bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

std::optional<std::string> ReadBytes(const std::string& path) {
#ifdef _WIN32
  FILE* f = std::fopen(path.c_str(), "rb");
#else
  FILE* f = std::fopen(Native(path).c_str(), "rb");
#endif
  if (!f) return std::nullopt;
  std::string bytes;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, f)) > 0) bytes.append(buffer, n);
  std::fclose(f);
  return bytes;
}

bool Exists(const std::string& path) {
#ifdef _WIN32
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
#else
  return access(Native(path).c_str(), F_OK) == 0;
#endif
}

#ifdef _WIN32
ShellFolderLock::ShellFolderLock()
    : handle_(CreateMutexA(nullptr, FALSE, "Local\\LumCenterTestShellFolders")) {
  // An abandoned mutex (a test that died holding it) is ours all the same.
  if (handle_) WaitForSingleObject(static_cast<HANDLE>(handle_), INFINITE);
}

ShellFolderLock::~ShellFolderLock() {
  if (!handle_) return;
  ReleaseMutex(static_cast<HANDLE>(handle_));
  CloseHandle(static_cast<HANDLE>(handle_));
}
#else
ShellFolderLock::ShellFolderLock() = default;
ShellFolderLock::~ShellFolderLock() = default;
#endif

AppDataOverride::AppDataOverride(const std::optional<std::string>& folder) {
#ifdef _WIN32
  saved_ = RegGet(HKEY_CURRENT_USER, "AppData");
  RegPut(HKEY_CURRENT_USER, "AppData", folder);
  folder_ = folder.value_or("");
#else
  saved_ = EnvGet("XDG_CONFIG_HOME");
  saved_home_ = EnvGet("HOME");
  if (folder) {
    std::string base = EnvGet("TMPDIR").value_or("/tmp") + "/lum-config-XXXXXX";
    if (mkdtemp(base.data())) config_ = base;
    if (!config_.empty() && symlink(folder->c_str(), (config_ + "/lumora").c_str()) == 0)
      folder_ = config_ + "/lumora";
    EnvPut("XDG_CONFIG_HOME", config_);
  } else {
    EnvPut("XDG_CONFIG_HOME", std::nullopt);
    EnvPut("HOME", std::nullopt);
  }
#endif
}

AppDataOverride::~AppDataOverride() {
#ifdef _WIN32
  RegPut(HKEY_CURRENT_USER, "AppData", saved_);
#else
  EnvPut("XDG_CONFIG_HOME", saved_);
  EnvPut("HOME", saved_home_);
  if (!config_.empty()) {
    unlink((config_ + "/lumora").c_str());
    rmdir(config_.c_str());
  }
#endif
}

CommonDesktopOverride::CommonDesktopOverride(const std::string& folder) {
#ifdef _WIN32
  saved_ = RegGet(HKEY_LOCAL_MACHINE, "Common Desktop");
  RegPut(HKEY_LOCAL_MACHINE, "Common Desktop", folder);
#else
  saved_ = EnvGet("XDG_DESKTOP_DIR");
  EnvPut("XDG_DESKTOP_DIR", folder);
#endif
}

CommonDesktopOverride::~CommonDesktopOverride() {
#ifdef _WIN32
  RegPut(HKEY_LOCAL_MACHINE, "Common Desktop", saved_);
#else
  EnvPut("XDG_DESKTOP_DIR", saved_);
#endif
}

#ifdef _WIN32
AppDataExpandOverride::AppDataExpandOverride(const std::string& value) {
  saved_ = RegGet(HKEY_CURRENT_USER, "AppData");
  RegPut(HKEY_CURRENT_USER, "AppData", value, REG_EXPAND_SZ);
}

AppDataExpandOverride::~AppDataExpandOverride() { RegPut(HKEY_CURRENT_USER, "AppData", saved_); }
#endif

}  // namespace lum::test
