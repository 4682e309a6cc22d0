// One centre and one agent per session, between real processes: a class
// held by another process is found and refused, its death frees it, requests
// reach the owner (past senders that say nothing sensible) and a close
// request's sender waits for the answer, and of racing claims one wins.
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "install/installer.h"
#include "platform/os.h"
#include "platform/posix/instance_rendezvous.h"
#include "test_env.h"

namespace lum {
namespace {

using posix::ClassRequest;

// Reads one byte from a pipe, waiting at most ten seconds.
std::optional<char> ReadByte(int fd, int timeout_ms = 10000) {
  pollfd ready{fd, POLLIN, 0};
  char c = 0;
  if (poll(&ready, 1, timeout_ms) != 1 || read(fd, &c, 1) != 1) return std::nullopt;
  return c;
}

class Rendezvous : public ::testing::Test {
 protected:
  // The session's runtime folder is a test folder of its own.
  void SetUp() override {
    const char* saved = std::getenv("XDG_RUNTIME_DIR");
    if (saved) saved_ = saved;
    setenv("XDG_RUNTIME_DIR", runtime_.path().c_str(), 1);
  }
  void TearDown() override {
    // An owner that a failed check left running must not outlive the test.
    for (pid_t owner : owners_) {
      if (waitpid(owner, nullptr, WNOHANG) == 0) {
        kill(owner, SIGKILL);
        waitpid(owner, nullptr, 0);
      }
    }
    if (saved_) setenv("XDG_RUNTIME_DIR", saved_->c_str(), 1);
    else unsetenv("XDG_RUNTIME_DIR");
  }

  // A child process that claims `name`, says 'y' or 'n' on its report pipe,
  // then reports every request it takes: 'R', 'C', or 'N' for nothing
  // sensible ('T' and the token's line for a raise with a token); before answering a close it pauses and reports 'A'. It ends
  // after a close, or when killed.
  pid_t StartOwner(const std::string& name, int* report) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    pid_t child = fork();
    if (child != 0) {
      close(fds[1]);
      *report = fds[0];
      if (child > 0) owners_.push_back(child);
      return child;
    }
    close(fds[0]);
    int listen_fd = posix::ClaimWindowClass(name);
    if (write(fds[1], listen_fd >= 0 ? "y" : "n", 1) != 1 || listen_fd < 0) _exit(1);
    for (;;) {
      pollfd ready{listen_fd, POLLIN, 0};
      if (poll(&ready, 1, -1) != 1) continue;
      int reply = -1;
      std::string token;
      ClassRequest request = posix::TakeClassRequest(listen_fd, &reply, &token);
      char kind = request == ClassRequest::Raise ? (token.empty() ? 'R' : 'T')
                  : request == ClassRequest::Close ? 'C' : 'N';
      if (write(fds[1], &kind, 1) != 1) _exit(1);
      token += '\n';
      if (kind == 'T' && write(fds[1], token.data(), token.size()) != static_cast<ssize_t>(token.size()))
        _exit(1);
      if (request == ClassRequest::Close) {
        usleep(300000);
        if (write(fds[1], "A", 1) != 1) _exit(1);
        posix::AnswerClassRequest(reply);
        _exit(0);
      }
      posix::AnswerClassRequest(reply);
    }
  }

  // A raw connection to the class's socket.
  int Connect(const std::string& name) {
    std::string path = runtime_.path() + "/lumcenter/" + name + ".sock";
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strcpy(address.sun_path, path.c_str());
    int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd >= 0 && connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
      close(fd);
      return -1;
    }
    return fd;
  }

  test::TempFolder runtime_;
  std::optional<std::string> saved_;
  std::vector<pid_t> owners_;
};

TEST_F(Rendezvous, AClassHeldByAnotherProcessIsFoundAndRefusedUntilThatProcessEnds) {
  int report = -1;
  pid_t owner = StartOwner(kAgentWindowClass, &report);
  ASSERT_GT(owner, 0);
  ASSERT_EQ(ReadByte(report), 'y');

  EXPECT_TRUE(posix::ClassHeld(kAgentWindowClass));
  EXPECT_FALSE(posix::ClassHeld(kMainWindowClass));
  EXPECT_NE(NativeOs().FindWindowByClass(kAgentWindowClass), 0u);
  EXPECT_EQ(NativeOs().FindWindowByClass(kMainWindowClass), 0u);
  EXPECT_EQ(posix::ClaimWindowClass(kAgentWindowClass), -1);

  kill(owner, SIGKILL);
  waitpid(owner, nullptr, 0);
  close(report);
  EXPECT_FALSE(posix::ClassHeld(kAgentWindowClass));
  EXPECT_EQ(NativeOs().FindWindowByClass(kAgentWindowClass), 0u);

  // Free again: ours now, and held while we keep it (for us too).
  int mine = posix::ClaimWindowClass(kAgentWindowClass);
  ASSERT_GE(mine, 0);
  EXPECT_TRUE(posix::ClassHeld(kAgentWindowClass));
  EXPECT_EQ(posix::ClaimWindowClass(kAgentWindowClass), -1);
  posix::ReleaseWindowClass(mine);
  EXPECT_FALSE(posix::ClassHeld(kAgentWindowClass));
}

TEST_F(Rendezvous, RequestsReachTheOwnerPastSilentAndGarbageSendersAndACloseIsAwaited) {
  int report = -1;
  pid_t owner = StartOwner(kMainWindowClass, &report);
  ASSERT_GT(owner, 0);
  ASSERT_EQ(ReadByte(report), 'y');

  // One sender that connects and says nothing, one that sends a flood of
  // junk without a line end: neither may hold the owner up.
  int silent = Connect(kMainWindowClass);
  ASSERT_GE(silent, 0);
  int garbage = Connect(kMainWindowClass);
  ASSERT_GE(garbage, 0);
  std::string junk(4096, 'x');
  ASSERT_GT(send(garbage, junk.data(), junk.size(), MSG_NOSIGNAL), 0);
  EXPECT_EQ(ReadByte(report), 'N');
  EXPECT_EQ(ReadByte(report), 'N');

  uintptr_t window = NativeOs().FindWindowByClass(kMainWindowClass);
  ASSERT_NE(window, 0u);
  NativeOs().BringToForeground(window);
  EXPECT_EQ(ReadByte(report), 'R');
  NativeOs().BringToForeground(window + 100);  // unknown: nothing is sent

  NativeOs().SendCloseRequest(window, 5000);
  // The owner took the close and answered before the sender went on.
  EXPECT_EQ(ReadByte(report, 0), 'C');
  EXPECT_EQ(ReadByte(report, 0), 'A');

  int status = 0;
  ASSERT_EQ(waitpid(owner, &status, 0), owner);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  EXPECT_FALSE(posix::ClassHeld(kMainWindowClass));
  close(silent);
  close(garbage);
  close(report);
}

// The raise carries the sender's user act (its startup id or event time),
// which the owner needs for the window manager to let it take the focus.
TEST_F(Rendezvous, ARaiseCarriesTheSendersTokenAndOnlyASoundOne) {
  int report = -1;
  pid_t owner = StartOwner(kMainWindowClass, &report);
  ASSERT_GT(owner, 0);
  ASSERT_EQ(ReadByte(report), 'y');
  auto token_line = [&] {
    std::string line;
    while (auto c = ReadByte(report)) {
      if (*c == '\n') break;
      line += *c;
    }
    return line;
  };

  const std::string longest = "launcher-1234_TIME5678" + std::string(200 - 22, 'x');
  ASSERT_TRUE(posix::SendClassRequest(kMainWindowClass, ClassRequest::Raise, 1000, 0, "_TIME4242"));
  EXPECT_EQ(ReadByte(report), 'T');
  EXPECT_EQ(token_line(), "_TIME4242");
  ASSERT_TRUE(posix::SendClassRequest(kMainWindowClass, ClassRequest::Raise, 1000, 0, longest));
  EXPECT_EQ(ReadByte(report), 'T');
  EXPECT_EQ(token_line(), longest);
  // A token the owner would not take goes unsent: the raise goes bare.
  for (const std::string& bad : {longest + "y", std::string("two words"), std::string("tab\there")}) {
    ASSERT_TRUE(posix::SendClassRequest(kMainWindowClass, ClassRequest::Raise, 1000, 0, bad));
    EXPECT_EQ(ReadByte(report), 'R') << bad;
  }
  // Sent as it is by someone else, such a line is no request.
  for (const std::string& line : {"raise " + longest + "y\n", std::string("raise a\x01b\n"),
                                  std::string("raise \n")}) {
    int raw = Connect(kMainWindowClass);
    ASSERT_GE(raw, 0);
    ASSERT_EQ(send(raw, line.data(), line.size(), MSG_NOSIGNAL), static_cast<ssize_t>(line.size()));
    EXPECT_EQ(ReadByte(report), 'N') << line;
    close(raw);
  }
  kill(owner, SIGKILL);
  waitpid(owner, nullptr, 0);
  close(report);
}

TEST_F(Rendezvous, OfProcessesClaimingAtOnceExactlyOneWins) {
  constexpr int kRacers = 8;
  for (int round = 0; round < 3; ++round) {
    const std::string name = "RaceClass" + std::to_string(round);
    // Every racer waits at the start pipe, then holds what it got until
    // the end pipe closes.
    int start[2], results[2], end[2];
    ASSERT_EQ(pipe(start), 0);
    ASSERT_EQ(pipe(results), 0);
    ASSERT_EQ(pipe(end), 0);
    pid_t racers[kRacers];
    for (pid_t& racer : racers) {
      racer = fork();
      ASSERT_GE(racer, 0);
      if (racer == 0) {
        close(start[1]);
        close(end[1]);
        char c;
        if (read(start[0], &c, 1) < 0) _exit(1);
        int fd = posix::ClaimWindowClass(name);
        if (write(results[1], fd >= 0 ? "y" : "n", 1) != 1) _exit(1);
        if (read(end[0], &c, 1) < 0) _exit(1);
        _exit(0);
      }
    }
    close(start[0]);
    close(start[1]);  // go
    close(results[1]);
    close(end[0]);
    int winners = 0, answers = 0;
    for (int i = 0; i < kRacers; ++i) {
      std::optional<char> c = ReadByte(results[0]);
      if (!c) break;
      ++answers;
      winners += *c == 'y';
    }
    close(end[1]);
    for (pid_t racer : racers) waitpid(racer, nullptr, 0);
    close(results[0]);
    EXPECT_EQ(answers, kRacers) << "round " << round;
    EXPECT_EQ(winners, 1) << "round " << round;
  }
}

}  // namespace
}  // namespace lum
