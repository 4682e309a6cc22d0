// The process facts and text rules that the run-mode decision takes from the
// real backend.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/run_mode.h"
#include "platform/os.h"

#ifdef _WIN32
#include <windows.h>
#endif

namespace lum {
namespace {

TEST(SystemText, LowerCasingFindsSetupInAnyLetterCase) {
  EXPECT_EQ(Os().LowerCase("C:\\Temp\\LumSETUP.EXE"), "c:\\temp\\lumsetup.exe");
  EXPECT_EQ(Os().LowerCase(""), "");
}

TEST(SystemText, OwnPathAndCommandLineNameThisProgram) {
  std::string path = OwnPath();
  ASSERT_FALSE(path.empty());
  EXPECT_NE(Os().LowerCase(path).find("integration_tests"), std::string::npos) << path;
  EXPECT_EQ(Os().ProbePath(path), PathKind::File);
  EXPECT_EQ(Os().ProbePath(OwnFolder(path)), PathKind::Folder);
  std::vector<std::string> pieces = SplitCommandLine(Os().CommandLine());
  ASSERT_FALSE(pieces.empty());
  EXPECT_NE(Os().LowerCase(pieces[0]).find("integration_tests"), std::string::npos);
  // The test runner passes its options: the first argument is one of them,
  // as the C runtime split it from the same command line.
  const std::vector<std::string> argv = ::testing::internal::GetArgvs();
  ASSERT_GT(argv.size(), 1u);
  EXPECT_EQ(OwnFirstArgument(), argv[1]);
  EXPECT_EQ(OwnRunMode(), RunMode::Centre);
}

#ifdef _WIN32
TEST(SystemText, RunsUnderTheCodePageTheHarnessChose) {
  const char* expected = std::getenv("LUM_EXPECT_CODEPAGE");
  if (!expected) GTEST_SKIP() << "no code page requested";
  EXPECT_EQ(GetACP(), static_cast<UINT>(std::atoi(expected)));
}
#endif

}  // namespace
}  // namespace lum
