// The one seam between the program and the operating system.
//
// Every module reaches the system through Os(): small operations named after
// what they do. The backend (win32 or posix) is chosen at link time; a test
// swaps in a fake or a fault-injecting wrapper with ScopedOs. Texts are 8-bit
// Windows-1251 strings, paths use "\" as the program's own code builds them.
#pragma once

#include <cstdint>
#include <string>

namespace lum {

enum class RegRoot { CurrentUser, LocalMachine };

// Registry value types the program cares about.
constexpr uint32_t kRegSz = 1;
constexpr uint32_t kRegExpandSz = 2;

struct RegValue {
  bool found = false;  // key opened and value queried
  uint32_t type = 0;
  std::string data;    // the raw bytes as stored
};

enum class PathKind { None, File, Folder };

struct ProfileRead {
  uint32_t count = 0;  // characters copied, as the platform reports them
  std::string text;    // the buffer's content
};

class OsApi {
 public:
  virtual ~OsApi() = default;

  // Reads one registry value: opens root\subkey for reading, asks for the
  // value's type and size, reads it and closes the key.
  virtual RegValue QueryRegistryValue(RegRoot root, const std::string& subkey,
                                      const std::string& name) = 0;

  // What stands at a path: nothing, a file or a folder.
  virtual PathKind ProbePath(const std::string& path) = 0;

  // The private-profile pair: read a value into a buffer of `size` bytes, or
  // the default when section or key is missing; write key=value.
  virtual ProfileRead GetProfileString(const std::string& section, const std::string& key,
                                       const std::string& def, uint32_t size,
                                       const std::string& file) = 0;
  virtual bool WriteProfileString(const std::string& section, const std::string& key,
                                  const std::string& value, const std::string& file) = 0;

  // The process's own command line and the full path of its own file.
  virtual std::string CommandLine() = 0;
  virtual std::string ModulePath() = 0;

  // Lower-cases by the system's rules for its 8-bit code page.
  virtual std::string LowerCase(const std::string& text) = 0;
};

// The operations in force for this process.
OsApi& Os();

// The backend linked into this build.
OsApi& NativeOs();

// Puts another implementation in place for the life of the object.
class ScopedOs {
 public:
  explicit ScopedOs(OsApi& replacement);
  ~ScopedOs();
  ScopedOs(const ScopedOs&) = delete;
  ScopedOs& operator=(const ScopedOs&) = delete;

 private:
  OsApi* previous_;
};

// Passes every call on to another implementation; a test overrides only what
// it wants to record or break.
class ForwardingOs : public OsApi {
 public:
  explicit ForwardingOs(OsApi& inner) : inner_(inner) {}
  RegValue QueryRegistryValue(RegRoot root, const std::string& subkey,
                              const std::string& name) override {
    return inner_.QueryRegistryValue(root, subkey, name);
  }
  PathKind ProbePath(const std::string& path) override { return inner_.ProbePath(path); }
  ProfileRead GetProfileString(const std::string& section, const std::string& key,
                               const std::string& def, uint32_t size,
                               const std::string& file) override {
    return inner_.GetProfileString(section, key, def, size, file);
  }
  bool WriteProfileString(const std::string& section, const std::string& key,
                          const std::string& value, const std::string& file) override {
    return inner_.WriteProfileString(section, key, value, file);
  }
  std::string CommandLine() override { return inner_.CommandLine(); }
  std::string ModulePath() override { return inner_.ModulePath(); }
  std::string LowerCase(const std::string& text) override { return inner_.LowerCase(text); }

 protected:
  OsApi& inner_;
};

}  // namespace lum
