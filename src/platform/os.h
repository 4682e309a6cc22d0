// The one seam between the program and the operating system.
//
// Every module reaches the system through Os(): small operations named after
// what they do. The backend (win32 or posix) is chosen at link time; a test
// swaps in a fake or a fault-injecting wrapper with ScopedOs. Texts are 8-bit
// Windows-1251 strings, paths use "\" as the program's own code builds them.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

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

// One HTTP exchange as the program describes it; the URL rules have already
// picked host, port and path.
struct HttpCall {
  std::string host;
  uint16_t port = 80;
  std::string verb;
  std::string path;
  std::string user;
  std::string password;
  std::string headers;  // extra lines, each ended by CR LF
  std::string body;
  uint32_t access_type = 0;  // 0: the system's configured proxy settings
  std::string proxy;
  bool has_referrer = false;
  std::string referrer;
  uint32_t timeout_seconds = 30;  // each wait for data
  // The whole exchange, from connecting to the last byte: a server that
  // drips data within the time-out must not hold the caller for ever. What
  // arrived before the bound is the body.
  uint32_t exchange_seconds = 120;
};

// Fetching a full URL, as a download does.
struct UrlCall {
  std::string url;
  std::string headers;
  uint32_t timeout_seconds = 1;
  uint32_t exchange_seconds = 4;  // as HttpCall's
};

struct UrlAnswer {
  int64_t length = -1;  // announced length, or -1
  int status = 0;       // HTTP status, or 0 when there was none
};

// Receives the answer's body as it is read; false stops the transfer.
using BodySink = std::function<bool(std::string_view piece)>;

// A file being written; closed (and kept) when destroyed.
class WritableFile {
 public:
  virtual ~WritableFile() = default;
  virtual bool Write(std::string_view bytes) = 0;
  // Flushes and closes; false when anything was lost.
  virtual bool Close() = 0;
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

  // A variable of the process's environment, or "".
  virtual std::string EnvironmentVariable(const std::string& name) = 0;

  // Sends one request and hands the body to `sink` piece by piece. False
  // when no answer could be had (no connection, refused, not sent); a read
  // that fails after that just ends the body.
  virtual bool HttpExchange(const HttpCall& call, const BodySink& sink) = 0;

  // Opens a full URL and hands its body to `sink`; `answer` gets what the
  // server said of it before the body.
  virtual void UrlFetch(const UrlCall& call, UrlAnswer* answer, const BodySink& sink) = 0;

  // Files: create or replace for writing (others may read), delete, and
  // move one file over another.
  virtual std::unique_ptr<WritableFile> CreateFileForWrite(const std::string& path) = 0;
  virtual bool RemoveFile(const std::string& path) = 0;
  virtual bool MoveFileOver(const std::string& from, const std::string& to) = 0;
  virtual bool CopyFileOver(const std::string& from, const std::string& to) = 0;
  virtual bool CreateFolder(const std::string& path) = 0;
  virtual bool SetCurrentFolder(const std::string& path) = 0;
  virtual std::string TempFolder() = 0;  // ends in the separator

  // Processes. A process handle is opaque; 0 is none.
  virtual void WinExec(const std::string& command_line, int show) = 0;
  // As WinExec, as the user who asked this process to run: where an
  // installer runs elevated for someone (Linux: pkexec, sudo), what it starts
  // for them runs as them, never as the administrator.
  virtual void WinExecForUser(const std::string& command_line, int show) {
    WinExec(command_line, show);
  }
  // The shell's action `verb` ("" for the default) on a file, with a process
  // handle to wait on when the shell gives one. False when the shell failed.
  virtual bool ShellExecuteWait(uintptr_t owner, const std::string& verb, const std::string& file,
                                const std::string& parameters, int show, uintptr_t* process) = 0;
  virtual void ShellOpen(uintptr_t owner, const std::string& target, int show) = 0;
  virtual bool ExitCode(uintptr_t process, uint32_t* code) = 0;
  virtual void CloseProcess(uintptr_t process) = 0;
  // Starts a command line; waits up to wait_ms (-1: no limit) for its end.
  // False when it did not start or did not end in time.
  virtual bool RunAndWaitProcess(const std::string& command_line, const std::string& folder,
                                 uint32_t creation_flags, int show, int32_t wait_ms) = 0;
  virtual uint32_t SystemMajorVersion() = 0;
  virtual void Sleep(uint32_t ms) = 0;

  // Other programs' top-level windows, by class name; 0 when none.
  virtual uintptr_t FindWindowByClass(const std::string& class_name) = 0;
  virtual void BringToForeground(uintptr_t window) = 0;
  // A close request that waits for the window to handle it, at most
  // timeout_ms.
  virtual void SendCloseRequest(uintptr_t window, uint32_t timeout_ms) = 0;

  // A shell link file; false when none was written.
  virtual bool CreateShortcut(const std::string& target, const std::string& arguments,
                              const std::string& folder, const std::string& link_path,
                              const std::string& description, const std::string& icon_file,
                              int icon_index, int show) = 0;

  // A resource of the program's own (RCDATA), as bytes; "" when missing.
  virtual std::string ProgramResource(const std::string& name) = 0;

  // The Windows folder (no trailing separator), and a sound file played
  // without waiting for it.
  virtual std::string WindowsFolder() = 0;
  virtual void PlaySoundFile(const std::string& path) = 0;

  // The one question the program ever asks; the button pressed (IDYES 6,
  // IDNO 7), 0 when no box could be shown.
  virtual int AskYesNo(const std::string& text, const std::string& caption) = 0;
};

// The operations in force for this process.
OsApi& Os();

// A file (not a folder) stands at the path.
bool FileExists(const std::string& path);

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
  std::string EnvironmentVariable(const std::string& name) override {
    return inner_.EnvironmentVariable(name);
  }
  bool HttpExchange(const HttpCall& call, const BodySink& sink) override {
    return inner_.HttpExchange(call, sink);
  }
  void UrlFetch(const UrlCall& call, UrlAnswer* answer, const BodySink& sink) override {
    inner_.UrlFetch(call, answer, sink);
  }
  std::unique_ptr<WritableFile> CreateFileForWrite(const std::string& path) override {
    return inner_.CreateFileForWrite(path);
  }
  bool RemoveFile(const std::string& path) override { return inner_.RemoveFile(path); }
  bool MoveFileOver(const std::string& from, const std::string& to) override {
    return inner_.MoveFileOver(from, to);
  }
  bool CopyFileOver(const std::string& from, const std::string& to) override {
    return inner_.CopyFileOver(from, to);
  }
  bool CreateFolder(const std::string& path) override { return inner_.CreateFolder(path); }
  bool SetCurrentFolder(const std::string& path) override { return inner_.SetCurrentFolder(path); }
  std::string TempFolder() override { return inner_.TempFolder(); }
  void WinExec(const std::string& command_line, int show) override { inner_.WinExec(command_line, show); }
  void WinExecForUser(const std::string& command_line, int show) override {
    inner_.WinExecForUser(command_line, show);
  }
  bool ShellExecuteWait(uintptr_t owner, const std::string& verb, const std::string& file,
                        const std::string& parameters, int show, uintptr_t* process) override {
    return inner_.ShellExecuteWait(owner, verb, file, parameters, show, process);
  }
  void ShellOpen(uintptr_t owner, const std::string& target, int show) override {
    inner_.ShellOpen(owner, target, show);
  }
  bool ExitCode(uintptr_t process, uint32_t* code) override { return inner_.ExitCode(process, code); }
  void CloseProcess(uintptr_t process) override { inner_.CloseProcess(process); }
  bool RunAndWaitProcess(const std::string& command_line, const std::string& folder,
                         uint32_t creation_flags, int show, int32_t wait_ms) override {
    return inner_.RunAndWaitProcess(command_line, folder, creation_flags, show, wait_ms);
  }
  uint32_t SystemMajorVersion() override { return inner_.SystemMajorVersion(); }
  void Sleep(uint32_t ms) override { inner_.Sleep(ms); }
  uintptr_t FindWindowByClass(const std::string& class_name) override {
    return inner_.FindWindowByClass(class_name);
  }
  void BringToForeground(uintptr_t window) override { inner_.BringToForeground(window); }
  void SendCloseRequest(uintptr_t window, uint32_t timeout_ms) override {
    inner_.SendCloseRequest(window, timeout_ms);
  }
  bool CreateShortcut(const std::string& target, const std::string& arguments,
                      const std::string& folder, const std::string& link_path,
                      const std::string& description, const std::string& icon_file,
                      int icon_index, int show) override {
    return inner_.CreateShortcut(target, arguments, folder, link_path, description, icon_file,
                                 icon_index, show);
  }
  int AskYesNo(const std::string& text, const std::string& caption) override {
    return inner_.AskYesNo(text, caption);
  }
  std::string WindowsFolder() override { return inner_.WindowsFolder(); }
  std::string ProgramResource(const std::string& name) override {
    return inner_.ProgramResource(name);
  }
  void PlaySoundFile(const std::string& path) override { inner_.PlaySoundFile(path); }

 protected:
  OsApi& inner_;
};

}  // namespace lum
