// The seam over the Windows API, with the 8-bit forms of the calls.
#include <windows.h>

#include <vector>

#include "platform/os.h"

namespace lum {

namespace {

class Win32Os final : public OsApi {
 public:
  RegValue QueryRegistryValue(RegRoot root, const std::string& subkey,
                              const std::string& name) override {
    RegValue result;
    HKEY key = nullptr;
    HKEY base = root == RegRoot::CurrentUser ? HKEY_CURRENT_USER : HKEY_LOCAL_MACHINE;
    if (RegOpenKeyExA(base, subkey.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return result;
    DWORD type = 0;
    DWORD size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
      result.type = type;
      std::vector<BYTE> buffer(size + 1);
      DWORD got = size;
      if (RegQueryValueExA(key, name.c_str(), nullptr, &type, buffer.data(), &got) ==
          ERROR_SUCCESS) {
        result.found = true;
        result.type = type;
        result.data.assign(reinterpret_cast<const char*>(buffer.data()), got);
      }
    }
    RegCloseKey(key);
    return result;
  }

  PathKind ProbePath(const std::string& path) override {
    DWORD attributes = GetFileAttributesA(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return PathKind::None;
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) ? PathKind::Folder : PathKind::File;
  }

  ProfileRead GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def, uint32_t size,
                               const std::string& file) override {
    std::vector<char> buffer(size + 1, '\0');
    DWORD count = GetPrivateProfileStringA(section.c_str(), key.c_str(), def.c_str(),
                                           buffer.data(), size, file.c_str());
    ProfileRead read;
    read.count = count;
    read.text.assign(buffer.data());
    return read;
  }

  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) override {
    return WritePrivateProfileStringA(section.c_str(), key.c_str(), value.c_str(),
                                      file.c_str()) != FALSE;
  }

  std::string CommandLine() override {
    const char* line = GetCommandLineA();
    return line ? line : "";
  }

  std::string ModulePath() override {
    char path[MAX_PATH + 1] = {};
    DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return std::string(path, length);
  }

  std::string LowerCase(const std::string& text) override {
    std::string out = text;
    if (!out.empty()) CharLowerBuffA(out.data(), static_cast<DWORD>(out.size()));
    return out;
  }
};

}  // namespace

OsApi& NativeOs() {
  static Win32Os os;
  return os;
}

}  // namespace lum
