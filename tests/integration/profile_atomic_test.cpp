// A writer killed at any moment never leaves a half-written settings file.
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <random>

#include "settings/settings_file.h"
#include "test_env.h"

namespace lum {
namespace {

TEST(SettingsFileOnLinux, AWriterKilledMidWayLeavesOldOrNewNeverHalf) {
  test::TempFolder folder;
  const std::string file = folder.File("Corvalin.ini");
  // Big values make each write long enough to be caught in the middle.
  const std::string a(3000, 'a'), b(3000, 'b');
  WriteIniValue(file, "Settings", "auth", a);
  for (int k = 0; k < 300; ++k) WriteIniValue(file, "Settings", "pad" + std::to_string(k), a);

  std::mt19937 rng(7);
  for (int round = 0; round < 15; ++round) {
    pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      for (int i = 0;; ++i) WriteIniValue(file, "Settings", "auth", i % 2 ? a : b);
    }
    usleep(std::uniform_int_distribution<int>(2000, 30000)(rng));
    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    std::string value = ReadIniValue(file, "Settings", "auth", "<lost>");
    EXPECT_TRUE(value == a || value == b) << "round " << round << ": " << value.substr(0, 20);
    EXPECT_EQ(ReadIniValue(file, "Settings", "pad299", "<lost>"), a);
  }
}

}  // namespace
}  // namespace lum
