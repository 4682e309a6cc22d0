#include "net/web_access.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "net/text_ops.h"
#include "platform/os.h"
#include "settings/credentials.h"

namespace lum {

namespace {

constexpr size_t kChunk = 1024;
constexpr size_t kMaxPathText = 1024;

bool StartsWith(const std::string& text, const char* prefix) {
  return text.compare(0, std::strlen(prefix), prefix) == 0;
}

uint32_t ExchangeSeconds(uint32_t timeout_seconds, uint32_t at_least) {
  uint64_t total = uint64_t{timeout_seconds} * kExchangeTimeouts;
  if (total < at_least) total = at_least;
  return total > UINT32_MAX ? UINT32_MAX : static_cast<uint32_t>(total);
}

// Collects a body in pieces of 1024 bytes as they stand in the stream, so
// that the NUL rule gives the same result whatever sizes the system reads.
class BodyCollector {
 public:
  bool Take(std::string_view data) {
    got_bytes_ = got_bytes_ || !data.empty();
    while (!data.empty()) {
      size_t n = std::min(kChunk - piece_.size(), data.size());
      piece_.append(data.substr(0, n));
      data.remove_prefix(n);
      if (piece_.size() == kChunk) Flush();
      if (full_) return false;
    }
    return true;
  }
  std::string Finish() {
    Flush();
    return got_bytes_ ? std::move(text_) : std::string();
  }

 private:
  void Flush() {
    size_t keep = piece_.find('\0');
    if (keep == std::string::npos) keep = piece_.size();
    size_t room = kMaxResponseBody - text_.size();
    text_.append(piece_, 0, std::min(keep, room));
    piece_.clear();
    full_ = text_.size() >= kMaxResponseBody;
  }

  std::string piece_;
  std::string text_;
  bool got_bytes_ = false;
  bool full_ = false;
};

}  // namespace

HttpTarget ResolveHttpTarget(const std::string& url, uint16_t port, const std::string& path) {
  HttpTarget target;
  target.port = port;
  target.path = path;
  if (StartsWith(url, "https://")) target.port = 443;
  std::string rest = url;
  size_t scheme = rest.find("://");
  if (scheme != std::string::npos) rest = rest.substr(scheme + 3);
  size_t slash = rest.find('/');
  if (slash != std::string::npos) {
    target.path = rest.substr(slash, kMaxPathText);
    rest = rest.substr(0, slash);
    size_t colon = rest.find(':');
    if (colon != std::string::npos) {
      target.port = static_cast<uint16_t>(ParseInteger(rest.substr(colon + 1, kMaxPathText)));
      rest = rest.substr(0, colon);
    }
  }
  target.host = rest;
  target.secure = target.port == 443;
  return target;
}

std::string HttpRequest(const std::string& url, uint16_t port, const std::string& verb,
                        const std::string& path, const std::string& user,
                        const std::string& password, const std::string& headers,
                        const std::string& body, uint32_t access_type, const std::string& proxy,
                        const std::optional<std::string>& referrer, uint32_t timeout_seconds) {
  HttpTarget target = ResolveHttpTarget(url, port, path);
  HttpCall call;
  call.host = target.host;
  call.port = target.port;
  call.verb = verb;
  call.path = target.path;
  call.user = user;
  call.password = password;
  call.headers = headers;
  call.body = body;
  call.access_type = access_type;
  call.proxy = proxy;
  call.has_referrer = referrer.has_value();
  call.referrer = referrer.value_or("");
  call.timeout_seconds = timeout_seconds;
  call.exchange_seconds = ExchangeSeconds(timeout_seconds, 1);
  BodyCollector collector;
  if (!Os().HttpExchange(call, [&](std::string_view piece) { return collector.Take(piece); })) {
    return std::string();
  }
  return collector.Finish();
}

void DownloadFile(const std::string& url, const std::string& target, MessagePump* pump,
                  ProgressControl* progress, const std::string& headers,
                  uint32_t timeout_seconds) {
  // The transfer goes to a file beside the target, which takes the target's
  // place only when it is whole: a failed or cut download never replaces a
  // good file.
  const std::string partial = target + ".partial";
  for (int attempt = 1;; ++attempt) {
    UrlAnswer answer;
    int64_t received = 0;
    int64_t total = 0;
    std::unique_ptr<WritableFile> file = Os().CreateFileForWrite(partial);
    bool written = file != nullptr;
    if (progress) {
      progress->Show();
      progress->SetPosition(0);
    }
    bool cut = false;
    UrlCall call{url, headers, timeout_seconds,
                 ExchangeSeconds(timeout_seconds, kMinDownloadSeconds)};
    Os().UrlFetch(call, &answer, [&](std::string_view piece) {
      if (received + static_cast<int64_t>(piece.size()) > kMaxDownloadBytes) {
        cut = true;
        return false;
      }
      // The length counts for the retry only where it would be asked for:
      // an "http://" URL with a progress control.
      if (total == 0 && progress && answer.length > 0 && StartsWith(url, "http://")) {
        total = answer.length;
      }
      received += static_cast<int64_t>(piece.size());
      if (progress && total > 0) {
        double position = std::nearbyint(static_cast<double>(progress->Max()) *
                                         static_cast<double>(received) / static_cast<double>(total));
        progress->SetPosition(static_cast<int>(position));
      }
      if (written && !file->Write(piece)) written = false;
      if (pump) pump->ProcessPending();
      return true;
    });
    if (progress && answer.length > 0 && StartsWith(url, "http://")) total = answer.length;
    if (file && !file->Close()) written = false;
    // An error page is no file to keep either.
    bool answered = answer.status == 0 || (answer.status >= 200 && answer.status < 300);
    bool whole = received > 0 && answered && !cut &&
                 (answer.length < 0 || received == answer.length);
    if (written && whole && Os().MoveFileOver(partial, target)) {
      // in place
    } else {
      Os().RemoveFile(partial);
    }
    // A download over the bound would be as large again the next time.
    if (cut || !(total > 0 && received != total && attempt < 3)) break;
  }
  if (progress) progress->Hide();
}

}  // namespace lum
