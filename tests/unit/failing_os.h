// A system on which every call fails the way the real one reports failure:
// nothing found, nothing written, nothing started. The fault-injection tests
// answer a broken call with it; the fuzz targets run on it, so that a module
// that reaches the system by mistake changes nothing outside the process.
#pragma once

#include "platform/os.h"

namespace lum::test {

class FailingOs : public OsApi {
 public:
  RegValue QueryRegistryValue(RegRoot, const std::string&, const std::string&) override { return {}; }
  PathKind ProbePath(const std::string&) override { return PathKind::None; }
  // The profile read fails as the platform's does: nothing copied.
  ProfileRead GetProfileString(const std::string&, const std::string&, const std::string&, uint32_t,
                               const std::string&) override {
    return {};
  }
  bool WriteProfileString(const std::string&, const std::string&, const std::string&,
                          const std::string&) override {
    return false;
  }
  std::string CommandLine() override { return ""; }
  std::string ModulePath() override { return ""; }
  std::string LowerCase(const std::string&) override { return ""; }
  std::string EnvironmentVariable(const std::string&) override { return ""; }
  bool HttpExchange(const HttpCall&, const BodySink&) override { return false; }
  void UrlFetch(const UrlCall&, UrlAnswer* answer, const BodySink&) override {
    if (answer) *answer = UrlAnswer{};
  }
  std::unique_ptr<WritableFile> CreateFileForWrite(const std::string&) override { return nullptr; }
  bool RemoveFile(const std::string&) override { return false; }
  bool MoveFileOver(const std::string&, const std::string&) override { return false; }
  bool CopyFileOver(const std::string&, const std::string&) override { return false; }
  bool CreateFolder(const std::string&) override { return false; }
  bool SetCurrentFolder(const std::string&) override { return false; }
  std::string TempFolder() override { return ""; }
  void WinExec(const std::string&, int) override {}
  bool ShellExecuteWait(uintptr_t, const std::string&, const std::string&, const std::string&, int,
                        uintptr_t* process) override {
    if (process) *process = 0;
    return false;
  }
  void ShellOpen(uintptr_t, const std::string&, int) override {}
  bool ExitCode(uintptr_t, uint32_t*) override { return false; }
  void CloseProcess(uintptr_t) override {}
  bool RunAndWaitProcess(const std::string&, const std::string&, uint32_t, int, int32_t) override {
    return false;
  }
  uint32_t SystemMajorVersion() override { return 0; }
  void Sleep(uint32_t) override {}
  uintptr_t FindWindowByClass(const std::string&) override { return 0; }
  void BringToForeground(uintptr_t) override {}
  void SendCloseRequest(uintptr_t, uint32_t) override {}
  bool CreateShortcut(const std::string&, const std::string&, const std::string&, const std::string&,
                      const std::string&, const std::string&, int, int) override {
    return false;
  }
  std::string ProgramResource(const std::string&) override { return ""; }
  std::string WindowsFolder() override { return ""; }
  void PlaySoundFile(const std::string&) override {}
  int AskYesNo(const std::string&, const std::string&) override { return 0; }
};

}  // namespace lum::test
