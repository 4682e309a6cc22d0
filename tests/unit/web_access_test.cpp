// The URL rules, the body rules and the download rules, against a scripted
// system that answers as told and records what it was asked.
#include "net/web_access.h"

#include <gtest/gtest.h>

#include <map>

#include "platform/os.h"

namespace lum {
namespace {

TEST(HttpTarget, BareHostKeepsTheCallersPortAndPath) {
  HttpTarget t = ResolveHttpTarget("billing.example", 80, "/pls/x?a=1");
  EXPECT_EQ(t.host, "billing.example");
  EXPECT_EQ(t.port, 80);
  EXPECT_EQ(t.path, "/pls/x?a=1");
  EXPECT_FALSE(t.secure);
  // No "/" after the host: a ":" is not looked for.
  t = ResolveHttpTarget("host:8080", 80, "/p");
  EXPECT_EQ(t.host, "host:8080");
  EXPECT_EQ(t.port, 80);
}

TEST(HttpTarget, FullUrlsReplacePortAndPath) {
  HttpTarget t = ResolveHttpTarget("https://news.example/new/news-rss", 80, "");
  EXPECT_EQ(t.host, "news.example");
  EXPECT_EQ(t.port, 443);
  EXPECT_EQ(t.path, "/new/news-rss");
  EXPECT_TRUE(t.secure);

  t = ResolveHttpTarget("http://news.example:8080/feed", 80, "/ignored");
  EXPECT_EQ(t.port, 8080);
  EXPECT_EQ(t.path, "/feed");
  EXPECT_FALSE(t.secure);

  // Security follows the port alone.
  EXPECT_TRUE(ResolveHttpTarget("http://h:443/", 80, "").secure);
  t = ResolveHttpTarget("https://h:8443/x", 80, "");
  EXPECT_EQ(t.port, 8443);
  EXPECT_FALSE(t.secure);
}

TEST(HttpTarget, PortTextIsReadLenientlyAndWrapsAt16Bits) {
  EXPECT_EQ(ResolveHttpTarget("http://h:81x/", 80, "").port, 81);
  EXPECT_EQ(ResolveHttpTarget("http://h:/", 80, "").port, 0);
  EXPECT_EQ(ResolveHttpTarget("http://h:65617/", 80, "").port, 81);
  EXPECT_EQ(ResolveHttpTarget("ftp://h/a/b", 21, "").path, "/a/b");
  EXPECT_EQ(ResolveHttpTarget("http://h/" + std::string(2000, 'p'), 80, "").path.size(), 1024u);
}

// Answers every exchange with the pieces it is given.
class ScriptedWeb : public ForwardingOs {
 public:
  ScriptedWeb() : ForwardingOs(NativeOs()) {}

  bool HttpExchange(const HttpCall& call, const BodySink& sink) override {
    calls.push_back(call);
    if (!answers) return false;
    for (const std::string& piece : pieces) {
      ++delivered;
      if (!sink(piece)) break;
    }
    return true;
  }
  void UrlFetch(const UrlCall& call, UrlAnswer* answer, const BodySink& sink) override {
    urls.push_back(call.url);
    size_t attempt = urls.size() - 1;
    const Download& d = downloads[std::min(attempt, downloads.size() - 1)];
    answer->length = d.length;
    answer->status = d.status;
    if (!d.body.empty()) sink(d.body);
  }
  std::unique_ptr<WritableFile> CreateFileForWrite(const std::string& path) override {
    struct MemoryFile : WritableFile {
      std::map<std::string, std::string>* files;
      std::string path;
      bool Write(std::string_view bytes) override {
        (*files)[path].append(bytes);
        return true;
      }
      bool Close() override { return true; }
    };
    auto file = std::make_unique<MemoryFile>();
    file->files = &files;
    file->path = path;
    files[path].clear();
    return file;
  }
  bool RemoveFile(const std::string& path) override { return files.erase(path) > 0; }
  bool MoveFileOver(const std::string& from, const std::string& to) override {
    if (!files.count(from)) return false;
    files[to] = files[from];
    files.erase(from);
    return true;
  }

  struct Download {
    std::string body;
    int64_t length = -1;
    int status = 200;
  };
  bool answers = true;
  std::vector<std::string> pieces;
  int delivered = 0;  // pieces handed to the reader
  std::vector<HttpCall> calls;
  std::vector<Download> downloads{Download{}};
  std::vector<std::string> urls;
  std::map<std::string, std::string> files;
};

class WebAgainstScript : public ::testing::Test {
 protected:
  std::string Get(const std::string& url = "h", uint16_t port = 80) {
    return HttpRequest(url, port, "GET", "/p", "", "", "", "", 0, "", std::nullopt, 30);
  }
  ScriptedWeb web_;
  ScopedOs use_{web_};
};

TEST_F(WebAgainstScript, TheCallCarriesWhatTheCallerPassed) {
  HttpRequest("https://b.example/login", 80, "POST", "/x", "", "", "H: 1\r\n", "a=1", 0, "",
              std::string("http://ref/"), 7);
  ASSERT_EQ(web_.calls.size(), 1u);
  const HttpCall& c = web_.calls[0];
  EXPECT_EQ(c.host, "b.example");
  EXPECT_EQ(c.port, 443);
  EXPECT_EQ(c.verb, "POST");
  EXPECT_EQ(c.path, "/login");
  EXPECT_EQ(c.headers, "H: 1\r\n");
  EXPECT_EQ(c.body, "a=1");
  EXPECT_TRUE(c.has_referrer);
  EXPECT_EQ(c.referrer, "http://ref/");
  EXPECT_EQ(c.timeout_seconds, 7u);
}

TEST_F(WebAgainstScript, PiecesAreJoinedWhateverSizesTheSystemReads) {
  std::string body(3000, 'x');
  web_.pieces = {body.substr(0, 1000), body.substr(1000, 1000), body.substr(2000)};
  EXPECT_EQ(Get(), body);
  web_.pieces = {body};
  EXPECT_EQ(Get(), body);
}

TEST_F(WebAgainstScript, ANulCutsOnlyTheRestOfIts1024BytePiece) {
  std::string body;
  for (int i = 0; i < 3000; ++i) body.push_back(static_cast<char>('A' + i % 26));
  body[9] = '\0';
  web_.pieces = {body.substr(0, 5), body.substr(5, 995), body.substr(1000)};
  std::string expected = body.substr(0, 9) + body.substr(1024);
  EXPECT_EQ(Get(), expected);
  EXPECT_EQ(Get().size(), 9u + 3000 - 1024);
}

TEST_F(WebAgainstScript, FailureAndNothingReadBothGiveEmpty) {
  web_.answers = false;
  EXPECT_EQ(Get(), "");
  web_.answers = true;
  web_.pieces = {};
  EXPECT_EQ(Get(), "");
  web_.pieces = {std::string("\0abc", 4)};
  EXPECT_EQ(Get(), "");
}

TEST_F(WebAgainstScript, AHugeAnswerIsCutAt16MiBAndTheTransferStopped) {
  std::string piece(1 << 20, 'z');
  web_.pieces.assign(40, piece);
  std::string body = Get();
  EXPECT_EQ(body.size(), kMaxResponseBody);
  // The reader is told to stop once the sixteenth piece fills the body.
  EXPECT_EQ(web_.delivered, 16);
}

class Progress : public ProgressControl {
 public:
  void Show() override { shown = true; }
  void Hide() override { shown = false; hidden_at_end = true; }
  int Max() override { return 100; }
  void SetPosition(int p) override { positions.push_back(p); }
  bool shown = false, hidden_at_end = false;
  std::vector<int> positions;
};

TEST_F(WebAgainstScript, AWholeDownloadReplacesTheTarget) {
  web_.files["C:\\T.exe"] = "old";
  web_.downloads = {{"new bytes", 9, 200}};
  DownloadFile("http://m/T.exe", "C:\\T.exe", nullptr, nullptr, "", 1);
  EXPECT_EQ(web_.files["C:\\T.exe"], "new bytes");
  EXPECT_EQ(web_.files.size(), 1u);  // nothing left beside it
  // No announced length: bytes received are enough.
  web_.urls.clear();
  web_.downloads = {{"unannounced", -1, 200}};
  DownloadFile("http://m/T.exe", "C:\\T.exe", nullptr, nullptr, "", 1);
  EXPECT_EQ(web_.files["C:\\T.exe"], "unannounced");
}

TEST_F(WebAgainstScript, ANothingShortOrErrorDownloadKeepsTheOldFile) {
  web_.files["C:\\T.exe"] = "old";
  for (const ScriptedWeb::Download& d : {ScriptedWeb::Download{"", -1, 0},
                                         ScriptedWeb::Download{"900 of 1000", 1000, 200},
                                         ScriptedWeb::Download{"<html>404</html>", 16, 404}}) {
    web_.urls.clear();
    web_.downloads = {d};
    DownloadFile("http://m/T.exe", "C:\\T.exe", nullptr, nullptr, "", 1);
    EXPECT_EQ(web_.files["C:\\T.exe"], "old") << d.body;
    EXPECT_EQ(web_.files.size(), 1u);
    // Without a progress control there is one attempt.
    EXPECT_EQ(web_.urls.size(), 1u);
  }
}

TEST_F(WebAgainstScript, WithAProgressControlAShortTransferIsTriedThreeTimes) {
  Progress progress;
  std::string nine_hundred(900, 'b');
  web_.downloads = {{nine_hundred, 1000, 200}};
  DownloadFile("http://m/T.exe", "C:\\T.exe", nullptr, &progress, "", 1);
  EXPECT_EQ(web_.urls.size(), 3u);
  EXPECT_EQ(web_.files.count("C:\\T.exe"), 0u);  // never whole: never in place
  EXPECT_FALSE(progress.shown);
  EXPECT_TRUE(progress.hidden_at_end);
  ASSERT_FALSE(progress.positions.empty());
  EXPECT_EQ(progress.positions.back(), 90);
}

TEST_F(WebAgainstScript, ASecondAttemptThatCompletesIsKept) {
  Progress progress;
  web_.downloads = {{std::string(900, 'b'), 1000, 200}, {std::string(1000, 'c'), 1000, 200}};
  DownloadFile("http://m/T.exe", "C:\\T.exe", nullptr, &progress, "", 1);
  EXPECT_EQ(web_.urls.size(), 2u);
  EXPECT_EQ(web_.files["C:\\T.exe"], std::string(1000, 'c'));
  EXPECT_EQ(progress.positions.back(), 100);
}

TEST_F(WebAgainstScript, OnlyHttpUrlsWithAProgressControlAreRetried) {
  Progress progress;
  web_.downloads = {{std::string(900, 'b'), 1000, 200}};
  DownloadFile("https://m/T.exe", "C:\\T.exe", nullptr, &progress, "", 1);
  EXPECT_EQ(web_.urls.size(), 1u);
}

TEST_F(WebAgainstScript, ProgressRoundsHalfToEven) {
  Progress progress;
  // 5 of 8 bytes of a bar of 100 is 62.5: shown as 62.
  web_.downloads = {{"12345", 8, 200}, {"12345678", 8, 200}};
  DownloadFile("http://m/T.exe", "C:\\T.exe", nullptr, &progress, "", 1);
  ASSERT_GE(progress.positions.size(), 2u);
  EXPECT_EQ(progress.positions[1], 62);
}

}  // namespace
}  // namespace lum
