#include "toolkit/browser.h"

#include "toolkit/backend.h"

namespace lum {

Browser::Browser(Control& parent) : Control(&parent, ControlKind::Browser) { Attached(); }

void Browser::SetSilent(bool silent) {
  silent_ = silent;
  if (peer_) backend::BrowserSetSilent(*this);
}

bool Browser::Navigate(const std::string& url) {
  CreateHandle();
  if (!peer_ || !backend::BrowserNavigate(*this, url)) return false;
  // The window's own text shows where the control was sent, for anyone who
  // looks at the windows from outside; the control covers it.
  if (peer_) SetText(url);
  return true;
}

bool Browser::HasControl() {
  CreateHandle();
  return peer_ && backend::BrowserHasControl(*this);
}

std::string Browser::LocationUrl() const {
  return peer_ ? backend::BrowserLocation(*this) : std::string();
}

bool Browser::SetElementHtml(const std::string& id, const std::string& html) {
  return peer_ && backend::BrowserSetElementHtml(*this, id, html);
}

void Browser::DoBeforeNavigate(const std::string& url, bool& cancel) {
  SafeCall(OnBeforeNavigate, *this, url, cancel);
}

}  // namespace lum
