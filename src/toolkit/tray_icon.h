// An icon in the notification area. Its mouse messages arrive at the owner
// form's window; it adds itself again when the taskbar is rebuilt.
#pragma once

#include <string>

#include "toolkit/control.h"

namespace lum {

class TrayIcon;

// The mouse messages the icon reports, as the system numbers them.
constexpr int kMouseMove = 0x200;
constexpr int kMouseLeftDown = 0x201;
constexpr int kMouseLeftUp = 0x202;
constexpr int kMouseLeftDoubleClick = 0x203;
constexpr int kMouseRightDown = 0x204;
constexpr int kMouseRightUp = 0x205;

using TrayMouseHandler = Handler<TrayIcon&, int>;

class TrayIcon final : public Component {
 public:
  explicit TrayIcon(Form& owner);
  ~TrayIcon() override;

  Form& OwnerForm() const { return form_; }
  // Icon resource, loaded at the small icon size (16 x 16). Without an
  // image the icon stays out of the notification area even when active.
  const std::string& Icon() const { return icon_; }
  void SetIcon(const std::string& resource);
  const std::string& Tip() const { return tip_; }
  void SetTip(const std::string& tip);
  bool Active() const { return active_; }
  void SetActive(bool active);

  TrayMouseHandler OnMouse;
  void DoMouse(int message);
  void DoTaskbarCreated();  // the notification area was rebuilt empty

  Peer* peer_ = nullptr;

 private:
  Form& form_;
  std::string icon_;
  std::string tip_;
  bool active_ = false;
};

}  // namespace lum
