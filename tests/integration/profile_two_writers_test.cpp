// The centre writes "auth" and the agent "lastlink" into the same settings
// file, each from its own process: neither may ever undo the other's write.
#include <dirent.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <string>

#include "settings/settings_file.h"
#include "test_env.h"

namespace lum {
namespace {

constexpr int kWrites = 1000;

// Writes key=<prefix><n> for n = 1..kWrites. Before each write the key must
// still hold the previous value: nobody else writes it, so anything else is a
// write of the other process that carried an old copy of the file over ours.
// Ends the process with the number of such losses (at most 255).
[[noreturn]] void Writer(const std::string& file, const std::string& key, const std::string& prefix,
                         int start_fd) {
  char go = 0;
  if (read(start_fd, &go, 1) < 0) _exit(255);
  int lost = 0;
  for (int n = 1; n <= kWrites; ++n) {
    if (ReadIniValue(file, "Settings", key, "<none>") != prefix + std::to_string(n - 1)) ++lost;
    WriteIniValue(file, "Settings", key, prefix + std::to_string(n));
  }
  _exit(lost > 255 ? 255 : lost);
}

TEST(SettingsFileOnLinux, TwoProcessesWritingDifferentKeysNeverLoseEachOthersWrites) {
  test::TempFolder folder;
  const std::string file = folder.File("Corvalin.ini");
  ASSERT_TRUE(test::WriteBytes(file, "[Other]\nkeep=1\n[Settings]\nauth=a0\nlastlink=http://news/0\n"));

  // Both writers wait at a closed-on-start pipe, so that they run side by side.
  int start[2];
  ASSERT_EQ(pipe(start), 0);
  pid_t centre = fork();
  ASSERT_GE(centre, 0);
  if (centre == 0) {
    close(start[1]);
    Writer(file, "auth", "a", start[0]);
  }
  pid_t agent = fork();
  ASSERT_GE(agent, 0);
  if (agent == 0) {
    close(start[1]);
    Writer(file, "lastlink", "http://news/", start[0]);
  }
  close(start[0]);
  close(start[1]);

  int centre_status = 0, agent_status = 0;
  ASSERT_EQ(waitpid(centre, &centre_status, 0), centre);
  ASSERT_EQ(waitpid(agent, &agent_status, 0), agent);
  ASSERT_TRUE(WIFEXITED(centre_status));
  ASSERT_TRUE(WIFEXITED(agent_status));
  EXPECT_EQ(WEXITSTATUS(centre_status), 0) << "auth writes undone by the other writer";
  EXPECT_EQ(WEXITSTATUS(agent_status), 0) << "lastlink writes undone by the other writer";

  EXPECT_EQ(ReadIniValue(file, "Settings", "auth", "<none>"), "a" + std::to_string(kWrites));
  EXPECT_EQ(ReadIniValue(file, "Settings", "lastlink", "<none>"),
            "http://news/" + std::to_string(kWrites));
  EXPECT_EQ(ReadIniValue(file, "Other", "keep", "<none>"), "1");
  // Well formed: each section and entry once, nothing else, and no temporary
  // copy left beside it.
  EXPECT_EQ(test::ReadBytes(file).value_or(""),
            "[Other]\nkeep=1\n[Settings]\nauth=a1000\nlastlink=http://news/1000\n");
  DIR* dir = opendir(folder.path().c_str());
  ASSERT_NE(dir, nullptr);
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    EXPECT_TRUE(name == "." || name == ".." || name == "Corvalin.ini" || name == "Corvalin.ini.lock")
        << name;
  }
  closedir(dir);
}

}  // namespace
}  // namespace lum
