#include "fake_isp_client.h"

#include <cstdlib>

#include "net/web_access.h"
#include "settings/credentials.h"
#include "test_env.h"

namespace lum::test {

FakeIsp::FakeIsp() {
  const char* file = std::getenv("LUM_FAKE_ISP_PORT_FILE");
  if (!file) return;
  std::string path = file;
#ifdef _WIN32
  // The Linux path as Wine shows it.
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  if (!path.empty() && path[0] == '\\') path = "Z:" + path;
#endif
  std::string digits = ReadBytes(path).value_or("");
  port_ = static_cast<uint16_t>(ParseInteger(digits));
}

std::string FakeIsp::Get(const std::string& path, uint32_t timeout_seconds) const {
  return HttpRequest("127.0.0.1", port_, "GET", path, "", "", "", "", 0, "", std::nullopt,
                     timeout_seconds);
}

void FakeIsp::Control(const std::string& query) const {
  Get("/_control?" + query);
  Get("/_log?clear=1");
}

std::string FakeIsp::Log() const { return Get("/_log"); }

int FakeIsp::CountRequests(const std::string& prefix) const {
  std::string log = Log();
  std::string needle = "\"path\": \"" + prefix;
  int count = 0;
  for (size_t at = log.find(needle); at != std::string::npos; at = log.find(needle, at + 1)) {
    ++count;
  }
  return count;
}

UseFakeServers::UseFakeServers(const FakeIsp& isp)
    : ForwardingOs(Os()), address_(isp.host_port()), scope_(*this) {}

UseFakeServers::~UseFakeServers() = default;

std::string UseFakeServers::EnvironmentVariable(const std::string& name) {
  if (name == "LUMCENTER_BILLING_SERVER" || name == "LUMCENTER_NEWS_SERVER" ||
      name == "LUMCENTER_MAKER_SERVER") {
    return address_;
  }
  return inner_.EnvironmentVariable(name);
}

}  // namespace lum::test
