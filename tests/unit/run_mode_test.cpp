#include "app/run_mode.h"

#include <gtest/gtest.h>

namespace lum {
namespace {

using Pieces = std::vector<std::string>;

TEST(CommandLine, SplitsAtRunsOfControlsAndBlanksOutsideQuotes) {
  EXPECT_EQ(SplitCommandLine("a.exe  /agent\t\tx"), (Pieces{"a.exe", "/agent", "x"}));
  EXPECT_EQ(SplitCommandLine("\"C:\\Program Files\\LumCenter.exe\" /agent"),
            (Pieces{"C:\\Program Files\\LumCenter.exe", "/agent"}));
  EXPECT_EQ(SplitCommandLine("a\x01\x1f" "b"), (Pieces{"a", "b"}));
  EXPECT_EQ(SplitCommandLine("  lead trail  "), (Pieces{"lead", "trail"}));
  EXPECT_EQ(SplitCommandLine(""), Pieces{});
}

TEST(CommandLine, OuterQuotesGoOnlyFromLongerPiecesThatBeginAndEndWithThem) {
  EXPECT_EQ(SplitCommandLine("x \"/agent\""), (Pieces{"x", "/agent"}));
  EXPECT_EQ(SplitCommandLine("x \""), (Pieces{"x", "\""}));
  EXPECT_EQ(SplitCommandLine("x \"\""), (Pieces{"x", ""}));
  // Quotes inside a piece keep the blank and stay in the piece.
  EXPECT_EQ(SplitCommandLine("x a\"b c\"d"), (Pieces{"x", "a\"b c\"d"}));
  EXPECT_EQ(SplitCommandLine("x \"a\"b\""), (Pieces{"x", "a\"b"}));
}

TEST(CommandLine, CyrillicBytesAreNotSeparators) {
  // 0xA0 (no-break space in Windows-1251) and letters are above 32.
  EXPECT_EQ(SplitCommandLine("prog Центр\xA0x"), (Pieces{"prog", "Центр\xA0x"}));
}

TEST(CommandLine, FirstArgumentIsTheSecondPiece) {
  EXPECT_EQ(FirstArgument("LumCenter.exe"), "");
  EXPECT_EQ(FirstArgument("LumCenter.exe /agent more"), "/agent");
  EXPECT_EQ(FirstArgument("\"C:\\a b\\LumCenter.exe\" \"/agent\""), "/agent");
}

TEST(OwnPath, FolderEndsAtTheLastSeparatorOfAnyKind) {
  EXPECT_EQ(OwnFolder("C:\\Program Files\\Lumora\\LumCenter.exe"), "C:\\Program Files\\Lumora\\");
  EXPECT_EQ(OwnFolder("C:LumCenter.exe"), "C:");
  EXPECT_EQ(OwnFolder("/opt/lum/LumCenter"), "/opt/lum/");
  EXPECT_EQ(OwnFolder("LumCenter.exe"), "");
}

TEST(RunModeDecision, FollowsTheTableInOrder) {
  const std::string plain = "c:\\program files\\lumora\\lumcenter.exe";
  const std::string setup = "c:\\downloads\\lumsetup.exe";
  EXPECT_EQ(DecideRunMode("", plain), RunMode::Centre);
  EXPECT_EQ(DecideRunMode("/agent", plain), RunMode::Agent);
  EXPECT_EQ(DecideRunMode("/deploy", plain), RunMode::Deploy);
  EXPECT_EQ(DecideRunMode("/deploy", setup), RunMode::Deploy);
  EXPECT_EQ(DecideRunMode("", setup), RunMode::Setup);
  EXPECT_EQ(DecideRunMode("/agent", setup), RunMode::Setup);
  EXPECT_EQ(DecideRunMode("/other", setup), RunMode::Setup);
  // A folder name counts as much as the file name.
  EXPECT_EQ(DecideRunMode("/agent", "c:\\setup files\\lumcenter.exe"), RunMode::Setup);
}

TEST(RunModeDecision, ArgumentsCompareWholeAndCaseSensitively) {
  const std::string plain = "c:\\lum\\lumcenter.exe";
  EXPECT_EQ(DecideRunMode("/AGENT", plain), RunMode::Centre);
  EXPECT_EQ(DecideRunMode("/agent ", plain), RunMode::Centre);
  EXPECT_EQ(DecideRunMode("-agent", plain), RunMode::Centre);
  EXPECT_EQ(DecideRunMode("/Deploy", plain), RunMode::Centre);
  EXPECT_FALSE(IsAgent("/agentx"));
  EXPECT_TRUE(IsAgent("/agent"));
}

TEST(RunModeDecision, FromACommandLineAndAPath) {
  auto decide = [](const std::string& line, const std::string& lowered) {
    return DecideRunMode(FirstArgument(line), lowered);
  };
  EXPECT_EQ(decide("\"c:\\lum\\lumcenter.exe\" \"/agent\"", "c:\\lum\\lumcenter.exe"), RunMode::Agent);
  EXPECT_EQ(decide("lumcenter.exe /agent /deploy", "c:\\lum\\lumcenter.exe"), RunMode::Agent);
  EXPECT_EQ(decide("lumcenter.exe /deploy /agent", "c:\\lum\\lumcenter.exe"), RunMode::Deploy);
}

}  // namespace
}  // namespace lum

#include "platform/os.h"

namespace lum {
namespace {

// The process's own command line and path, as the system would report them.
class StartedAs : public ForwardingOs {
 public:
  StartedAs(std::string line, std::string path)
      : ForwardingOs(NativeOs()), line_(std::move(line)), path_(std::move(path)) {}
  std::string CommandLine() override { return line_; }
  std::string ModulePath() override { return path_; }

 private:
  std::string line_, path_;
};

TEST(OwnRunMode, SetupIsFoundAfterTheSystemLowerCasesThePath) {
  StartedAs setup("\"C:\\Temp\\LumSETUP.exe\" /agent", "C:\\Temp\\LumSETUP.exe");
  ScopedOs use(setup);
  EXPECT_EQ(OwnRunMode(), RunMode::Setup);
  EXPECT_EQ(OwnFirstArgument(), "/agent");
}

TEST(OwnRunMode, AgentAndCentreFromTheOwnCommandLine) {
  {
    StartedAs agent("\"C:\\Program Files\\Lumora\\LumCenter.exe\" /agent",
                    "C:\\Program Files\\Lumora\\LumCenter.exe");
    ScopedOs use(agent);
    EXPECT_EQ(OwnRunMode(), RunMode::Agent);
  }
  StartedAs centre("LumCenter.exe /AGENT", "C:\\Lumora\\LumCenter.exe");
  ScopedOs use(centre);
  EXPECT_EQ(OwnRunMode(), RunMode::Centre);
}

}  // namespace
}  // namespace lum
