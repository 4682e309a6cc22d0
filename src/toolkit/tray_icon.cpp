#include "toolkit/tray_icon.h"

#include "toolkit/backend.h"
#include "toolkit/form.h"

namespace lum {

TrayIcon::TrayIcon(Form& owner) : Component(&owner), form_(owner) {}

TrayIcon::~TrayIcon() { backend::TrayRemove(*this); }

void TrayIcon::SetIcon(const std::string& resource) {
  icon_ = resource;
  backend::TraySync(*this);
}

void TrayIcon::SetTip(const std::string& tip) {
  tip_ = tip;
  backend::TraySync(*this);
}

void TrayIcon::SetActive(bool active) {
  if (active == active_) return;
  active_ = active;
  if (active_) form_.CreateHandle();  // its window receives the icon's messages
  backend::TraySync(*this);
}

void TrayIcon::DoMouse(int message) { SafeCall(OnMouse, *this, message); }

void TrayIcon::DoTaskbarCreated() {
  backend::TrayLost(*this);
  backend::TraySync(*this);  // an active icon comes back
}

}  // namespace lum
