#include "net/servers.h"

#include "platform/os.h"
#include "settings/credentials.h"

#ifndef LUM_BILLING_HOST
#define LUM_BILLING_HOST "stat.lumora.example"
#endif
#ifndef LUM_NEWS_HOST
#define LUM_NEWS_HOST "news.lumora.example"
#endif
#ifndef LUM_MAKER_HOST
#define LUM_MAKER_HOST "www.lumora.example"
#endif

namespace lum {

namespace {

// Only the test and demo builds read the overrides. In the build that ships
// the hosts are constants: any process of the user can set a variable, and
// none may send the subscriber's password, or the installer's download, to
// a host of its choosing.
ServerAddress FromEnvironment([[maybe_unused]] const char* variable, const char* built_in) {
#if LUM_SERVER_OVERRIDES
  std::string value = Os().EnvironmentVariable(variable);
  if (!value.empty()) return ParseServerAddress(value);
#endif
  return ParseServerAddress(built_in);
}

}  // namespace

ServerAddress ParseServerAddress(const std::string& text) {
  ServerAddress address;
  size_t colon = text.rfind(':');
  address.host = text.substr(0, colon);
  if (colon != std::string::npos) {
    int32_t port = ParseInteger(text.substr(colon + 1));
    if (port > 0 && port <= 65535) address.port = static_cast<uint16_t>(port);
  }
  return address;
}

ServerAddress BillingServer() { return FromEnvironment("LUMCENTER_BILLING_SERVER", LUM_BILLING_HOST); }
ServerAddress NewsServer() { return FromEnvironment("LUMCENTER_NEWS_SERVER", LUM_NEWS_HOST); }
ServerAddress MakerServer() { return FromEnvironment("LUMCENTER_MAKER_SERVER", LUM_MAKER_HOST); }

std::string ServerRoot(const ServerAddress& server) {
  std::string root = "http://" + server.host;
  if (server.port != 80) root += ":" + std::to_string(server.port);
  return root;
}

}  // namespace lum
