// libcurl, opened for the length of each exchange and closed after it. The
// agent exchanges once in a quarter of an hour and sits idle between: the
// library and what it pulls in (the secure-connection, HTTP/2, directory and
// authentication libraries) are not kept mapped all day for that.
#pragma once

namespace lum::posix {

// Holds the library open while it lives; false when it cannot be opened,
// which fails the exchange as a network failure does. Nestable.
class CurlUse {
 public:
  CurlUse();
  ~CurlUse();
  CurlUse(const CurlUse&) = delete;
  CurlUse& operator=(const CurlUse&) = delete;
  explicit operator bool() const { return ok_; }

 private:
  bool ok_;
};

}  // namespace lum::posix
