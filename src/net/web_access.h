// The program's two network operations. Both block the caller until the
// exchange is over and tell of failure only by what they leave behind.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace lum {

constexpr char kUserAgent[] = "Mozilla/4.0 (compatible; MSIE 6.0; Windows NT)";

// An answer larger than this is cut here: a server that sends without end
// must not take all the memory.
constexpr size_t kMaxResponseBody = 16u << 20;

// The time-out bounds each wait for data; the whole exchange gets this many
// time-outs, so that a server that drips its answer cannot block the window
// (or the installer) for ever.
constexpr uint32_t kExchangeTimeouts = 4;

// A download may take longer than four waits of the installer's short
// time-out on a slow line: it gets at least this long.
constexpr uint32_t kMinDownloadSeconds = 120;

// A download larger than this is cut, and a cut download is no file: the
// elevated installer must not fill the disk under Program Files.
constexpr int64_t kMaxDownloadBytes = int64_t{64} << 20;

// Where a request goes, after the URL rules.
struct HttpTarget {
  std::string host;
  uint16_t port = 80;
  std::string path;
  bool secure = false;  // follows the port alone: 443 is secure
};

// The URL rules: "https://" means port 443; a full URL's path and explicit
// port replace the caller's; a bare host name keeps the caller's port and
// path.
HttpTarget ResolveHttpTarget(const std::string& url, uint16_t port, const std::string& path);

// One exchange; the body of the answer, whatever its status, or "" on any
// failure. The body is taken in pieces of 1024 bytes; a piece holding a NUL
// contributes what stands before it. The exchange ends after
// kExchangeTimeouts time-outs with what had arrived by then.
std::string HttpRequest(const std::string& url, uint16_t port, const std::string& verb,
                        const std::string& path, const std::string& user,
                        const std::string& password, const std::string& headers,
                        const std::string& body, uint32_t access_type, const std::string& proxy,
                        const std::optional<std::string>& referrer, uint32_t timeout_seconds);

// The window toolkit's message pump, when a download should keep windows
// alive.
class MessagePump {
 public:
  virtual ~MessagePump() = default;
  virtual void ProcessPending() = 0;
};

// A progress bar that follows a download.
class ProgressControl {
 public:
  virtual ~ProgressControl() = default;
  virtual void Show() = 0;
  virtual void Hide() = 0;
  virtual int Max() = 0;
  virtual void SetPosition(int position) = 0;
};

// Fetches url into target. With a progress control and an "http://" URL an
// announced length is checked and a short or long transfer tried again, up
// to three times. The target is replaced only by a successful answer whose
// bytes all arrived (as many as announced, where a length was announced) and
// that stayed within kMaxDownloadBytes; otherwise the old file stays.
void DownloadFile(const std::string& url, const std::string& target, MessagePump* pump,
                  ProgressControl* progress, const std::string& headers,
                  uint32_t timeout_seconds);

}  // namespace lum
