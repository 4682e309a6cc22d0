// The loopback fake servers, as the tests see them: started by the test run
// (a CTest fixture writes the port to the file named by
// LUM_FAKE_ISP_PORT_FILE), steered through their control page and read back
// through their request log.
#pragma once

#include <cstdint>
#include <string>

#include "platform/os.h"

namespace lum::test {

class FakeIsp {
 public:
  // Reads the port; 0 when the servers are not running.
  FakeIsp();
  uint16_t port() const { return port_; }
  std::string host_port() const { return "127.0.0.1:" + std::to_string(port_); }
  std::string Url(const std::string& path) const { return "http://" + host_port() + path; }

  // GET of a path on the fake servers through the program's own client.
  std::string Get(const std::string& path, uint32_t timeout_seconds = 10) const;

  // Sets control keys ("news=cp1251", "reset=1") and clears the log.
  void Control(const std::string& query) const;

  // The request log (JSON) since the last Control.
  std::string Log() const;

  // How many logged requests have a path starting with `prefix`.
  int CountRequests(const std::string& prefix) const;

 private:
  uint16_t port_ = 0;
};

// Points the three server settings at the fake servers for the life of the
// object.
class UseFakeServers : public ForwardingOs {
 public:
  explicit UseFakeServers(const FakeIsp& isp);
  ~UseFakeServers() override;
  std::string EnvironmentVariable(const std::string& name) override;

 private:
  std::string address_;
  ScopedOs scope_;
};

}  // namespace lum::test
