// Command lines and addresses: the splitter and the run-mode decision on any
// command line and own path, and the URL rules of HttpRequest with the body
// it collects, on any address and on addresses made from known parts.
#include <fuzzer/FuzzedDataProvider.h>

#include <vector>

#include "app/run_mode.h"
#include "fuzz_support.h"
#include "net/web_access.h"
#include "platform/os.h"
#include "platform/posix/profile_text.h"

namespace {

using lum::fuzz::Contains;
using lum::fuzz::Without;

std::string Separators() {
  std::string all;
  for (char c = 1; c <= 32; ++c) all.push_back(c);
  return all;
}

// Pieces joined as a command line, quoted where they hold a separator (and
// sometimes where they need not be), split back as they were.
void CheckSplitRoundTrip(FuzzedDataProvider& in) {
  std::vector<std::string> pieces(in.ConsumeIntegralInRange<size_t>(0, 6));
  std::string line;
  for (std::string& piece : pieces) {
    piece = Without(in.ConsumeRandomLengthString(24), std::string("\"\0", 2));
    if (piece.empty()) piece = "x";
    bool quote = in.ConsumeBool() || piece.find_first_of(Separators()) != std::string::npos;
    if (!line.empty()) line += in.ConsumeBool() ? "\t " : " ";
    line += quote ? "\"" + piece + "\"" : piece;
  }
  FUZZ_CHECK(lum::SplitCommandLine(line) == pieces);
  FUZZ_CHECK(lum::FirstArgument(line) == (pieces.size() > 1 ? pieces[1] : ""));
}

// Any command line and own path, through the system seam.
class Process : public lum::ForwardingOs {
 public:
  Process() : ForwardingOs(lum::NativeOs()) {}
  std::string CommandLine() override { return command_line; }
  std::string ModulePath() override { return module_path; }
  std::string LowerCase(const std::string& text) override { return lum::posix::LowerCase1251(text); }
  std::string command_line, module_path;
};

void CheckRunMode(FuzzedDataProvider& in) {
  Process process;
  lum::ScopedOs use(process);
  process.module_path = in.ConsumeRandomLengthString(300);
  process.command_line = in.ConsumeRemainingBytesAsString();

  const std::vector<std::string> pieces = lum::SplitCommandLine(process.command_line);
  const std::string nul_cut = process.command_line.substr(0, process.command_line.find('\0'));
  FUZZ_CHECK(lum::SplitCommandLine(nul_cut) == pieces);
  if (!Contains(nul_cut, "\"")) {
    for (const std::string& piece : pieces) {
      FUZZ_CHECK(!piece.empty() && piece.find_first_of(Separators()) == std::string::npos);
    }
  }

  const std::string first = lum::OwnFirstArgument();
  const lum::RunMode mode = lum::OwnRunMode();
  const bool setup = Contains(lum::posix::LowerCase1251(process.module_path), "setup");
  FUZZ_CHECK((mode == lum::RunMode::Deploy) == (first == "/deploy"));
  FUZZ_CHECK((mode == lum::RunMode::Setup) == (first != "/deploy" && setup));
  FUZZ_CHECK((mode == lum::RunMode::Agent) == (first == "/agent" && !setup));
  FUZZ_CHECK(lum::IsAgent(first) == (first == "/agent"));

  // Letter case of the own path does not matter; of the argument it does.
  std::string upper = process.module_path;
  for (char& c : upper) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  process.module_path = upper;
  FUZZ_CHECK(lum::OwnRunMode() == mode);

  const std::string folder = lum::OwnFolder(upper);
  FUZZ_CHECK(upper.compare(0, folder.size(), folder) == 0);
  FUZZ_CHECK(folder.empty() || Contains("\\/:", folder.substr(folder.size() - 1)));
  FUZZ_CHECK(upper.find_first_of("\\/:", folder.size()) == std::string::npos);
}

// One exchange against a server that answers with the given body, in
// pieces of the given sizes.
class Server : public lum::ForwardingOs {
 public:
  Server() : ForwardingOs(lum::NativeOs()) {}
  bool HttpExchange(const lum::HttpCall& call, const lum::BodySink& sink) override {
    calls.push_back(call);
    if (!answers) return false;
    size_t at = 0;
    for (size_t k = 0; at < body.size(); ++k) {
      size_t n = std::min(body.size() - at, pieces.empty() ? body.size() : pieces[k % pieces.size()]);
      if (!sink(std::string_view(body).substr(at, n))) break;
      at += n;
    }
    return true;
  }
  std::vector<lum::HttpCall> calls;
  bool answers = true;
  std::string body;
  std::vector<size_t> pieces;
};

// The NUL rule: each 1024-byte piece of the stream up to its first NUL.
std::string CollectedBody(const std::string& body) {
  std::string out;
  for (size_t at = 0; at < body.size(); at += 1024) {
    std::string piece = body.substr(at, 1024);
    out += piece.substr(0, piece.find('\0'));
  }
  return out;
}

void CheckAnyAddress(FuzzedDataProvider& in) {
  Server server;
  lum::ScopedOs use(server);
  const uint16_t port = in.ConsumeIntegral<uint16_t>();
  const std::string path = in.ConsumeRandomLengthString(64);
  const std::string url = in.ConsumeRandomLengthString(2000);
  server.answers = in.ConsumeBool();
  for (size_t i = in.ConsumeIntegralInRange<size_t>(0, 4); i > 0; --i) {
    server.pieces.push_back(in.ConsumeIntegralInRange<size_t>(1, 3000));
  }
  server.body = in.ConsumeRemainingBytesAsString();

  const lum::HttpTarget target = lum::ResolveHttpTarget(url, port, path);
  FUZZ_CHECK(target.secure == (target.port == 443));
  FUZZ_CHECK(Contains(url, target.host));
  const size_t scheme = url.find("://");
  const std::string rest = scheme == std::string::npos ? url : url.substr(scheme + 3);
  if (Contains(rest, "/")) {
    FUZZ_CHECK(!Contains(target.host, "/") && !Contains(target.host, ":"));
    FUZZ_CHECK(target.path.size() <= 1024 && target.path[0] == '/');
  } else {
    FUZZ_CHECK(target.path == path);
    FUZZ_CHECK(target.port == (url.compare(0, 8, "https://") == 0 ? 443 : port));
    FUZZ_CHECK(target.host == rest);
  }

  const std::string result =
      lum::HttpRequest(url, port, "GET", path, "", "", "", "", 0, "", std::nullopt, 30);
  FUZZ_CHECK(server.calls.size() == 1);
  FUZZ_CHECK(server.calls[0].host == target.host && server.calls[0].port == target.port &&
             server.calls[0].path == target.path);
  FUZZ_CHECK(result == (server.answers ? CollectedBody(server.body) : ""));
}

// An address made of known parts gives those parts back.
void CheckKnownAddress(FuzzedDataProvider& in) {
  static const char* const kSchemes[] = {"", "http://", "https://"};
  const std::string scheme = kSchemes[in.ConsumeIntegralInRange<int>(0, 2)];
  const std::string host = Without(in.ConsumeRandomLengthString(64), "/:");
  const bool with_port = in.ConsumeBool();
  const uint16_t port = in.ConsumeIntegral<uint16_t>();
  const uint16_t caller_port = in.ConsumeIntegral<uint16_t>();
  const std::string path = ("/" + in.ConsumeRemainingBytesAsString()).substr(0, 1024);
  // Without a scheme, the first "://" anywhere would be taken for one.
  if (Contains(host, "://") || (scheme.empty() && Contains(path, "://"))) return;
  const std::string url = scheme + host + (with_port ? ":" + std::to_string(port) : "") + path;
  const lum::HttpTarget target = lum::ResolveHttpTarget(url, caller_port, "/caller");
  FUZZ_CHECK(target.host == host);
  FUZZ_CHECK(target.path == path);
  FUZZ_CHECK(target.port == (with_port ? port : scheme == "https://" ? 443 : caller_port));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  FuzzedDataProvider in(data + 1, size - 1);
  switch (data[0] % 4) {
    case 0: CheckSplitRoundTrip(in); break;
    case 1: CheckRunMode(in); break;
    case 2: CheckAnyAddress(in); break;
    default: CheckKnownAddress(in); break;
  }
  return 0;
}
