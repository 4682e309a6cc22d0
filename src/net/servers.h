// The three servers the program talks to. Their host names are constants of
// the build. In the test and demo builds (LUM_SERVER_OVERRIDES) each can be
// pointed elsewhere at run time by an environment variable holding "host" or
// "host:port" (the demo and the tests point them at servers on this
// machine); the release build has the constants alone.
#pragma once

#include <cstdint>
#include <string>

namespace lum {

struct ServerAddress {
  std::string host;
  uint16_t port = 80;
};

ServerAddress BillingServer();  // LUMCENTER_BILLING_SERVER
ServerAddress NewsServer();     // LUMCENTER_NEWS_SERVER
ServerAddress MakerServer();    // LUMCENTER_MAKER_SERVER

// "http://host" with ":port" when the port is not 80; no trailing "/".
std::string ServerRoot(const ServerAddress& server);

// Reads "host" or "host:port"; a missing or unusable port means 80.
ServerAddress ParseServerAddress(const std::string& text);

}  // namespace lum
