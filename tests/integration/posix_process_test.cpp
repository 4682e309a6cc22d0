// Process starts of the Linux backend: a command line becomes an argument
// vector and no shell reads it, started programs are reaped, and a wait
// ends also when the process is not ours to wait for.
#include <dirent.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "platform/os.h"
#include "platform/posix/process_posix.h"
#include "test_env.h"

namespace lum {
namespace {

std::string Unix(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

// Waits (at most ten seconds) for a file that a started program writes.
std::optional<std::string> AwaitFile(const std::string& path) {
  for (int i = 0; i < 1000; ++i) {
    if (auto bytes = test::ReadBytes(path)) return bytes;
    usleep(10000);
  }
  return std::nullopt;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t begin = 0;
  while (begin < text.size()) {
    size_t end = text.find('\n', begin);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(begin, end - begin));
    begin = end + 1;
  }
  return lines;
}

// Our children by state: 'Z' zombies, anything else still running.
std::vector<char> ChildStates() {
  std::vector<char> states;
  DIR* proc = opendir("/proc");
  if (!proc) return states;
  while (dirent* entry = readdir(proc)) {
    std::string stat = test::ReadBytes(std::string("/proc/") + entry->d_name + "/stat").value_or("");
    size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 4 > stat.size()) continue;
    char state = stat[close + 2];
    if (std::atol(stat.c_str() + close + 4) == getpid()) states.push_back(state);
  }
  closedir(proc);
  return states;
}

class ProcessStarts : public ::testing::Test {
 protected:
  void SetUp() override {
    // A folder name a shell would expand, split and run.
    folder_ = temp_.File("we $HOME `id` ;x");
    ASSERT_EQ(Os().CreateFolder(folder_), true);
    // Records its folder, its name and its arguments, one a line, into
    // $REC_OUT (atomically, so that a waiting test never reads half).
    recorder_ = folder_ + "\\rec";
    ASSERT_TRUE(test::WriteBytes(recorder_,
                                 "#!/bin/sh\n"
                                 "printf '%s\\n' \"$PWD\" \"$0\" \"$@\" > \"$REC_OUT.part\"\n"
                                 "mv \"$REC_OUT.part\" \"$REC_OUT\"\n"
                                 "exit ${REC_EXIT:-0}\n"));
    ASSERT_EQ(chmod(Unix(recorder_).c_str(), 0755), 0);
  }
  void TearDown() override { unsetenv("REC_OUT"); }

  // Where the next recorder started writes.
  std::string Expect(const std::string& name) {
    std::string out = Unix(temp_.File(name));
    setenv("REC_OUT", out.c_str(), 1);
    return out;
  }
  std::string Marker(const std::string& name) { return Unix(temp_.File(name)); }
  void ExpectNoMarkers() {
    for (const char* name : {"pwned1", "pwned2", "pwned3"}) {
      EXPECT_FALSE(test::Exists(Marker(name))) << name << ": a shell ran part of the text";
    }
  }
  std::string Cwd() {
    char buffer[4096];
    return getcwd(buffer, sizeof buffer) ? buffer : "";
  }

  test::TempFolder temp_;
  std::string folder_;
  std::string recorder_;
};

TEST_F(ProcessStarts, QuotesDollarsBackticksAndSemicolonsInCommandLinesAreData) {
  std::string out = Expect("winexec.out");
  Os().WinExec("\"" + recorder_ + "\" plain \"two words\" \"$(touch " + Marker("pwned1") +
                   ")\" \"`touch " + Marker("pwned2") + "`\" a;touch${IFS}" + Marker("pwned3") +
                   " C:\\x\\y",
               1);
  auto record = AwaitFile(out);
  ASSERT_TRUE(record.has_value()) << "the program did not start";
  EXPECT_EQ(Lines(*record),
            (std::vector<std::string>{Cwd(), Unix(recorder_), "plain", "two words",
                                      "$(touch " + Marker("pwned1") + ")",
                                      "`touch " + Marker("pwned2") + "`",
                                      "a;touch${IFS}" + Marker("pwned3"), "C:/x/y"}));

  // The same for a start that waits, in a folder whose name holds them too,
  // and for the elevated start of the installer.
  out = Expect("wait.out");
  EXPECT_TRUE(Os().RunAndWaitProcess("\"" + recorder_ + "\" \"$(touch " + Marker("pwned1") + ")\"",
                                     folder_, 0x10, 0, -1));
  EXPECT_EQ(Lines(test::ReadBytes(out).value_or("<not run>")),
            (std::vector<std::string>{Unix(folder_), Unix(recorder_),
                                      "$(touch " + Marker("pwned1") + ")"}));

  out = Expect("elevated.out");
  setenv("REC_EXIT", "7", 1);
  uintptr_t process = 0;
  bool started = Os().ShellExecuteWait(0, "runas", recorder_, "/deploy `touch " + Marker("pwned2") + "`",
                                       1, &process);
  unsetenv("REC_EXIT");
  ASSERT_TRUE(started);
  uint32_t code = 259;
  for (int i = 0; i < 1000 && code == 259; ++i) {
    ASSERT_TRUE(Os().ExitCode(process, &code));
    if (code == 259) usleep(10000);
  }
  EXPECT_EQ(code, 7u);
  Os().CloseProcess(process);
  EXPECT_EQ(Lines(test::ReadBytes(out).value_or("<not run>")),
            (std::vector<std::string>{Cwd(), Unix(recorder_), "/deploy", "`touch",
                                      Marker("pwned2") + "`"}));
  ExpectNoMarkers();
}

TEST_F(ProcessStarts, LinksAndFilesReachTheDesktopsOpenerAsOneArgument) {
  // A recording opener first on PATH.
  ASSERT_EQ(symlink(Unix(recorder_).c_str(), (Unix(folder_) + "/xdg-open").c_str()), 0);
  std::string path = std::getenv("PATH") ? std::getenv("PATH") : "/usr/bin:/bin";
  setenv("PATH", (Unix(folder_) + ":" + path).c_str(), 1);

  const std::string link = "http://news.example/$(touch " + Marker("pwned1") + ")`touch " +
                           Marker("pwned2") + "`;touch " + Marker("pwned3") + "?a=\"1\"&b=2";
  std::string out = Expect("link.out");
  Os().ShellOpen(0, link, 5);
  auto record = AwaitFile(out);

  std::string file_out = Expect("file.out");
  Os().ShellOpen(0, "C:\\docs\\a b.txt", 5);
  auto file_record = AwaitFile(file_out);
  setenv("PATH", path.c_str(), 1);

  ASSERT_TRUE(record.has_value()) << "the opener did not start";
  EXPECT_EQ(Lines(*record), (std::vector<std::string>{Cwd(), Unix(folder_) + "/xdg-open", link}));
  ASSERT_TRUE(file_record.has_value());
  EXPECT_EQ(Lines(*file_record).back(), "C:/docs/a b.txt");
  ExpectNoMarkers();
}

// A program started for the user's act (the centre from the tray) gets it as
// its startup id, so that its window may take the focus; one that started
// us is never passed on.
TEST_F(ProcessStarts, ProgramsStartedForTheUsersActGetItAsTheirStartupId) {
  std::string script = folder_ + "\\startup-id";
  ASSERT_TRUE(test::WriteBytes(script, "#!/bin/sh\nprintf '%s' \"${DESKTOP_STARTUP_ID-unset}\" > \"$REC_OUT.part\"\n"
                                       "mv \"$REC_OUT.part\" \"$REC_OUT\"\n"));
  ASSERT_EQ(chmod(Unix(script).c_str(), 0755), 0);
  setenv("DESKTOP_STARTUP_ID", "ours-from-our-launcher_TIME1", 1);
  static std::string given;
  posix::SetActivationSource([](bool for_start) { return for_start ? given : std::string("raise-only"); });
  struct Restore {
    ~Restore() {
      posix::SetActivationSource(nullptr);
      unsetenv("DESKTOP_STARTUP_ID");
    }
  } restore;

  for (auto [token, seen] : {std::pair<std::string, std::string>{"_TIME4242", "_TIME4242"},
                             {"", "unset"},
                             {"not one", "unset"},
                             {std::string(201, 'x'), "unset"}}) {
    given = token;
    std::string out = Expect("startup-" + std::to_string(token.size()) + ".out");
    Os().WinExec("\"" + script + "\"", 1);
    EXPECT_EQ(AwaitFile(out).value_or("<not run>"), seen) << token;
  }
}

TEST_F(ProcessStarts, StartedProgramsThatNobodyWaitsForAreReaped) {
  for (int i = 0; i < 5; ++i) Os().WinExec("true", 1);
  // Until every child has ended (or is a zombie).
  for (int i = 0; i < 1000; ++i) {
    std::vector<char> states = ChildStates();
    if (std::count_if(states.begin(), states.end(), [](char s) { return s != 'Z'; }) == 0) break;
    usleep(10000);
  }
  // Any later start reaps the ended ones.
  ASSERT_TRUE(Os().RunAndWaitProcess("true", "", 0, 0, -1));
  std::vector<char> states = ChildStates();
  EXPECT_EQ(std::count(states.begin(), states.end(), 'Z'), 0) << "zombies left behind";
}

TEST_F(ProcessStarts, AWaitForAProcessReapedElsewhereEnds) {
  // With SIGCHLD ignored the kernel reaps every child itself, and a wait for
  // one fails with ECHILD. Run in a child of our own, which we end should
  // that wait never return.
  pid_t tester = fork();
  ASSERT_GE(tester, 0);
  if (tester == 0) {
    signal(SIGCHLD, SIG_IGN);
    NativeOs().RunAndWaitProcess("true", "", 0, 0, -1);
    uintptr_t process = 0;
    uint32_t code = 259;
    if (NativeOs().ShellExecuteWait(0, "", "true", "", 1, &process)) {
      while (NativeOs().ExitCode(process, &code) && code == 259) usleep(10000);
    }
    _exit(0);
  }
  int status = 0;
  pid_t done = 0;
  for (int i = 0; i < 1000 && done == 0; ++i) {
    done = waitpid(tester, &status, WNOHANG);
    if (done == 0) usleep(10000);
  }
  if (done == 0) {
    kill(tester, SIGKILL);
    waitpid(tester, &status, 0);
  }
  EXPECT_EQ(done, tester) << "the wait kept going after the process was gone";
}

}  // namespace
}  // namespace lum
