// The Linux counterparts of the installer's kill command and of a deleted
// program file in use, and of the user-dirs file that names the desktop.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/posix/desktop_user.h"
#include "platform/posix/process_posix.h"
#include "platform/posix/running_images.h"
#include "test_env.h"

namespace lum::posix {
namespace {

std::string Unix(std::string path) {
  for (char& c : path) {
    if (c == '\\') c = '/';
  }
  return path;
}

void CopyProgram(const std::string& from, const std::string& to) {
  ASSERT_EQ(system(("cp '" + from + "' '" + to + "'").c_str()), 0);
}

bool Alive(pid_t pid) {
  int status = 0;
  return WaitProcess(pid, 0, &status) == WaitResult::Running;
}

class RunningImages : public ::testing::Test {
 protected:
  void TearDown() override {
    for (pid_t pid : started_) {
      kill(pid, SIGKILL);
      int status = 0;
      WaitProcess(pid, -1, &status);
    }
  }
  pid_t Start(const std::vector<std::string>& argv) {
    pid_t pid = 0;
    EXPECT_TRUE(StartProcess(argv, "", Lookup::Path, &pid));
    started_.push_back(pid);
    return pid;
  }
  // Waits until the process runs its own program, not the starter's.
  void AwaitExec(pid_t pid, const std::string& name) {
    for (int i = 0; i < 500; ++i) {
      char buffer[4096];
      ssize_t n = readlink(("/proc/" + std::to_string(pid) + "/exe").c_str(), buffer, sizeof buffer);
      if (n > 0 && std::string(buffer, n).find(name) != std::string::npos) return;
      usleep(10000);
    }
    FAIL() << "never ran " << name;
  }
  test::TempFolder folder_;
  std::vector<pid_t> started_;
};

TEST_F(RunningImages, EndsExactlyTheProgramsOfThatFileNameAlsoWhenTheFileIsGone) {
  const std::string dir = Unix(folder_.path());
  const std::string image = dir + "/LumImage.exe";
  const std::string longer = dir + "/LumImage.exe.old";
  const std::string script = dir + "/script";
  CopyProgram("/bin/sleep", image);
  CopyProgram("/bin/sleep", longer);
  // A script of that name runs its interpreter's file, not one of its own.
  std::string script_dir = dir + "/s";
  mkdir(script_dir.c_str(), 0755);
  FILE* f = fopen((script_dir + "/LumImage.exe").c_str(), "w");
  fputs("#!/bin/sh\nexec sleep 30\n", f);
  fclose(f);
  chmod((script_dir + "/LumImage.exe").c_str(), 0755);

  pid_t target = Start({image, "30"});
  pid_t other = Start({longer, "30"});
  pid_t interpreted = Start({"/bin/sh", script_dir + "/LumImage.exe"});
  AwaitExec(target, "LumImage.exe");
  AwaitExec(other, "LumImage.exe.old");
  EXPECT_TRUE(FileIsRunning(image));
  EXPECT_FALSE(FileIsRunning(script_dir + "/LumImage.exe"));

  // Deleted under it, the copy still runs and is still found.
  ASSERT_EQ(unlink(image.c_str()), 0);
  EXPECT_EQ(EndProcessesOfImage("LumImage.exe", 5000), 1);
  int status = 0;
  EXPECT_EQ(WaitProcess(target, 5000, &status), WaitResult::Ended);
  EXPECT_TRUE(WIFSIGNALED(status));
  EXPECT_TRUE(Alive(other));
  EXPECT_TRUE(Alive(interpreted));
  EXPECT_EQ(EndProcessesOfImage("LumImage", 0), 0);
  EXPECT_TRUE(Alive(other));
}

TEST(UserDirs, TheDesktopAsXdgUserDirReadsIt) {
  const std::string home = "/home/ivan";
  EXPECT_EQ(UserDirsEntry("# comment\nXDG_DESKTOP_DIR=\"$HOME/Рабочий стол\"\n", "DESKTOP", home),
            "/home/ivan/Рабочий стол");
  EXPECT_EQ(UserDirsEntry("XDG_DESKTOP_DIR=\"/srv/desk/\"\n", "DESKTOP", home), "/srv/desk");
  EXPECT_EQ(UserDirsEntry("XDG_DESKTOP_DIR=\"$HOME\"\n", "DESKTOP", home), home);
  // Relative, unquoted, another key or commented out: no folder.
  EXPECT_EQ(UserDirsEntry("XDG_DESKTOP_DIR=\"Desktop\"\n", "DESKTOP", home), "");
  EXPECT_EQ(UserDirsEntry("XDG_DESKTOP_DIR=$HOME/Desktop\n", "DESKTOP", home), "");
  EXPECT_EQ(UserDirsEntry("XDG_DESKTOPX_DIR=\"$HOME/x\"\n#XDG_DESKTOP_DIR=\"$HOME/y\"\n", "DESKTOP", home), "");
  // The last line that sets it wins, as for the shell that reads the file.
  EXPECT_EQ(UserDirsEntry("XDG_DESKTOP_DIR=\"$HOME/a\"\nXDG_DESKTOP_DIR=\"$HOME/b\"\n", "DESKTOP", home),
            "/home/ivan/b");
}

}  // namespace
}  // namespace lum::posix
