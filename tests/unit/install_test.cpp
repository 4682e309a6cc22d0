// The installer and the process helpers against a system that records every
// call in order and answers as scripted.
#include <gtest/gtest.h>

#include <set>

#include "install/installer.h"
#include "install/process_helpers.h"
#include "platform/os.h"

namespace lum {
namespace {

class RecordingOs : public ForwardingOs {
 public:
  RecordingOs() : ForwardingOs(NativeOs()) {}

  RegValue QueryRegistryValue(RegRoot, const std::string&, const std::string& name) override {
    if (name == "ProgramFilesDir") return {true, kRegSz, "C:\\Program Files"};
    if (name == "Common Programs") return {true, kRegSz, "C:\\ProgramData\\Start Menu\\Programs"};
    if (name == "Common Desktop") return {true, kRegSz, "C:\\Users\\Public\\Desktop"};
    if (name == "Common Startup") return {true, kRegSz, "C:\\ProgramData\\Startup"};
    return {};
  }
  std::string ModulePath() override { return "D:\\Downloads\\LumSetup.exe"; }
  std::string EnvironmentVariable(const std::string& name) override {
    return name == "LUMCENTER_MAKER_SERVER" ? "maker.test:8080" : "";
  }
  PathKind ProbePath(const std::string& path) override {
    if (path == InstalledExecutable() && locked_passes-- > 0) return PathKind::File;
    return PathKind::None;
  }
  bool RemoveFile(const std::string& path) override { return Log("delete " + path); }
  bool CreateFolder(const std::string& path) override { return Log("mkdir " + path); }
  bool CopyFileOver(const std::string& from, const std::string& to) override {
    return Log("copy " + from + " -> " + to);
  }
  bool SetCurrentFolder(const std::string& path) override { return Log("cd " + path); }
  void WinExec(const std::string& line, int show) override {
    Log("winexec " + line + " show " + std::to_string(show));
  }
  // The same start; whose rights it runs with is the platform's matter.
  void WinExecForUser(const std::string& line, int show) override { WinExec(line, show); }
  uintptr_t FindWindowByClass(const std::string& name) override {
    return running.count(name) ? 42 : 0;
  }
  void SendCloseRequest(uintptr_t, uint32_t timeout_ms) override {
    Log("close within " + std::to_string(timeout_ms));
  }
  bool RunAndWaitProcess(const std::string& line, const std::string&, uint32_t flags, int show,
                         int32_t wait_ms) override {
    return Log("run " + line + " flags " + std::to_string(flags) + " show " +
               std::to_string(show) + " wait " + std::to_string(wait_ms));
  }
  void Sleep(uint32_t ms) override { Log("sleep " + std::to_string(ms)); }
  bool CreateShortcut(const std::string& target, const std::string& arguments,
                      const std::string& folder, const std::string& link,
                      const std::string& description, const std::string& icon, int index,
                      int show) override {
    return Log("link " + link + " -> " + target + " [" + arguments + "][" + folder + "][" +
               description + "][" + icon + "][" + std::to_string(index) + "][" +
               std::to_string(show) + "]");
  }
  void UrlFetch(const UrlCall& call, UrlAnswer*, const BodySink&) override {
    Log("fetch " + call.url + " timeout " + std::to_string(call.timeout_seconds));
  }
  std::unique_ptr<WritableFile> CreateFileForWrite(const std::string&) override { return nullptr; }
  int AskYesNo(const std::string& text, const std::string& caption) override {
    Log("ask " + text + " / " + caption);
    return answer;
  }
  uint32_t SystemMajorVersion() override { return major; }
  bool ShellExecuteWait(uintptr_t, const std::string& verb, const std::string& file,
                        const std::string& parameters, int show, uintptr_t* process) override {
    Log("shell [" + verb + "] " + file + " " + parameters + " show " + std::to_string(show));
    *process = shell_gives_process ? 7 : 0;
    return shell_ok;
  }
  bool ExitCode(uintptr_t, uint32_t* code) override {
    *code = exit_codes.empty() ? 0 : exit_codes.front();
    if (!exit_codes.empty()) exit_codes.erase(exit_codes.begin());
    return true;
  }
  void ShellOpen(uintptr_t owner, const std::string& target, int show) override {
    Log("open " + target + " owner " + std::to_string(owner) + " show " + std::to_string(show));
  }

  bool Log(const std::string& line) {
    calls.push_back(line);
    return true;
  }
  size_t IndexOf(const std::string& prefix) const {
    for (size_t i = 0; i < calls.size(); ++i) {
      if (calls[i].rfind(prefix, 0) == 0) return i;
    }
    return std::string::npos;
  }

  std::vector<std::string> calls;
  std::set<std::string> running;
  int locked_passes = 0;
  int answer = 6;
  uint32_t major = 10;
  bool shell_ok = true;
  bool shell_gives_process = true;
  std::vector<uint32_t> exit_codes;
};

class Installer : public ::testing::Test {
 protected:
  RecordingOs os_;
  ScopedOs use_{os_};
};

TEST_F(Installer, InstallFormRunsItsStepsInOrder) {
  Deploy(false);
  const std::vector<std::string> expected = {
      "delete C:\\Program Files\\Lumora",
      "mkdir C:\\Program Files\\Lumora",
      "delete C:\\Program Files\\Lumora\\LumCenter.exe",
      "copy D:\\Downloads\\LumSetup.exe -> C:\\Program Files\\Lumora\\LumCenter.exe",
      "delete C:\\ProgramData\\Start Menu\\Programs\\Lumora",
      "mkdir C:\\ProgramData\\Start Menu\\Programs\\Lumora",
      "link C:\\Users\\Public\\Desktop\\Центр Lumora.lnk -> C:\\Program Files\\Lumora\\LumCenter.exe [][][Центр Lumora][][0][0]",
      "link C:\\ProgramData\\Startup\\LumCenter.lnk -> C:\\Program Files\\Lumora\\LumCenter.exe [/agent][][Центр Lumora][][0][0]",
      "link C:\\ProgramData\\Start Menu\\Programs\\Lumora\\Центр Lumora.lnk -> C:\\Program Files\\Lumora\\LumCenter.exe [][][Центр Lumora][][0][0]",
      "fetch http://maker.test:8080/files/dpr/Tarvik.exe timeout 1",
      // Nothing arrived: the partial file goes, no old tool is replaced.
      "delete C:\\Program Files\\Lumora\\Tarvik.exe.partial",
  };
  EXPECT_EQ(os_.calls, expected);
}

TEST_F(Installer, RunningCopiesAreAskedToCloseWithABoundedWaitBeforeTheDelete) {
  os_.running = {kMainWindowClass, kAgentWindowClass};
  Deploy(false);
  ASSERT_GE(os_.calls.size(), 5u);
  EXPECT_EQ(os_.calls[2], "close within 3000");
  EXPECT_EQ(os_.calls[3], "close within 3000");
  EXPECT_EQ(os_.calls[4], "delete C:\\Program Files\\Lumora\\LumCenter.exe");
}

TEST_F(Installer, ALockedFileGetsAtMostThreeKillPasses) {
  os_.locked_passes = 100;
  Deploy(false);
  int kills = 0;
  for (const std::string& call : os_.calls) {
    if (call.rfind("run taskkill.exe", 0) == 0) {
      ++kills;
      EXPECT_EQ(call, "run taskkill.exe /F /IM \"LumCenter.exe\" flags 134217744 show 0 wait -1");
    }
  }
  EXPECT_EQ(kills, 3);
  // The copy is still tried, and the shortcuts written.
  EXPECT_NE(os_.IndexOf("copy "), std::string::npos);
  EXPECT_NE(os_.IndexOf("link "), std::string::npos);
}

TEST_F(Installer, AFileGoneAfterOnePassEndsTheKilling) {
  os_.locked_passes = 1;
  Deploy(false);
  size_t kill = os_.IndexOf("run taskkill.exe");
  ASSERT_NE(kill, std::string::npos);
  EXPECT_EQ(os_.calls[kill + 1], "sleep 150");
  EXPECT_EQ(os_.calls[kill + 2], "delete C:\\Program Files\\Lumora\\LumCenter.exe");
  EXPECT_EQ(os_.calls[kill + 3].substr(0, 5), "copy ");
}

TEST_F(Installer, LaunchFormStartsTheInstalledCopyByItsQuotedPath) {
  Deploy(true);
  const std::vector<std::string> expected = {
      "cd C:\\Program Files\\Lumora",
      "winexec \"C:\\Program Files\\Lumora\\LumCenter.exe\" show 5",
  };
  EXPECT_EQ(os_.calls, expected);
}

TEST_F(Installer, SetupAsksThenDeploysElevatedThenLaunches) {
  os_.exit_codes = {kStillActive, kStillActive, 0};
  RunSetup();
  ASSERT_GE(os_.calls.size(), 3u);
  EXPECT_EQ(os_.calls[0],
            "ask Установить \"Центр Lumora Верескинск\" на ваш компьютер? / Центр Lumora");
  EXPECT_EQ(os_.calls[1], "shell [runas] D:\\Downloads\\LumSetup.exe /deploy show 1");
  // Waits in 100 ms steps while the elevated copy runs.
  EXPECT_EQ(std::count(os_.calls.begin(), os_.calls.end(), "sleep 100"), 3);
  EXPECT_EQ(os_.calls.back(), "winexec \"C:\\Program Files\\Lumora\\LumCenter.exe\" show 5");
}

TEST_F(Installer, AnswerNoEndsWithNothingDone) {
  os_.answer = 7;
  RunSetup();
  EXPECT_EQ(os_.calls.size(), 1u);
}

TEST_F(Installer, AnyOtherAnswerAndARefusedElevationStillLaunch) {
  os_.answer = 0;
  os_.shell_ok = false;
  RunSetup();
  EXPECT_EQ(os_.IndexOf("sleep"), std::string::npos);
  EXPECT_EQ(os_.calls.back(), "winexec \"C:\\Program Files\\Lumora\\LumCenter.exe\" show 5");
}

TEST_F(Installer, OldSystemsUseTheDefaultActionAndNoProcessMeansOnePass) {
  os_.major = 5;
  os_.shell_gives_process = false;
  RunElevated("C:\\x.exe", "/deploy", nullptr);
  EXPECT_EQ(os_.calls[0], "shell [] C:\\x.exe /deploy show 1");
  EXPECT_EQ(os_.calls.size(), 2u);
  EXPECT_EQ(os_.calls[1], "sleep 100");
}

TEST(ProcessHelpers, CommandLinesQuoteProgramsWithBlanksOnce) {
  EXPECT_EQ(CommandLineFor("C:\\Program Files\\x.exe", "/a"), "\"C:\\Program Files\\x.exe\" /a");
  EXPECT_EQ(CommandLineFor("\"C:\\Program Files\\x.exe\"", "/a"), "\"C:\\Program Files\\x.exe\" /a");
  EXPECT_EQ(CommandLineFor("taskkill.exe", ""), "taskkill.exe");
  EXPECT_EQ(CommandLineFor("", "/a"), "");
}

TEST_F(Installer, OpenCentreAndShellRun) {
  OpenCentre();
  ShellRun("http://x/", 99);
  EXPECT_EQ(os_.calls[0], "winexec \"D:\\Downloads\\LumSetup.exe\" show 1");
  EXPECT_EQ(os_.calls[1], "open http://x/ owner 99 show 5");
}

}  // namespace
}  // namespace lum
