// A top-level window.
#pragma once

#include <string>

#include "toolkit/control.h"

namespace lum {

class Button;

using CloseHandler = Handler<Form&, bool&>;  // clear the flag to refuse

enum class Key : unsigned char { Enter, Tab };

class Form final : public Control {
 public:
  explicit Form(Component* owner = nullptr);
  ~Form() override;

  // The window class is registered under this name when the window is made;
  // other processes find the window by it. Set it before that.
  const std::string& ClassName() const { return class_name_; }
  void SetClassName(const std::string& name) { class_name_ = name; }

  // The client area excludes caption and frame; setting it sizes the window
  // by what the current style adds around it.
  Size ClientSize() const override;
  void SetClientSize(int width, int height);
  Rect FrameInsets() const;  // what caption and frame take on each side

  // Icon resource of the program, by name; a missing one leaves none.
  const std::string& Icon() const { return icon_; }
  void SetIcon(const std::string& resource);

  // Style. A style change keeps the outer size, so the client size follows.
  bool MaximizeBox() const { return maximize_box_; }
  void SetMaximizeBox(bool on);
  // Fixed size: the size is both minimum and maximum, the borders do not
  // react to the mouse, "Size" is greyed in the system menu; minimising stays.
  bool FixedSize() const { return fixed_size_; }
  void SetFixedSize(bool on);
  // Off: a borderless popup without caption, system menu, frame or boxes.
  bool Caption() const { return caption_; }
  void SetCaption(bool on);
  bool ToolWindow() const { return tool_window_; }  // no taskbar button
  void SetToolWindow(bool on);
  bool Topmost() const { return topmost_; }
  void SetTopmost(bool on);

  // A window region with rounded corners; right and bottom exclusive.
  struct RoundRegion {
    Rect rect;
    int corner_width = 0;
    int corner_height = 0;
    bool operator==(const RoundRegion&) const = default;
  };
  const RoundRegion* Region() const { return has_region_ ? &region_ : nullptr; }
  void SetRoundRegion(const Rect& rect, int corner_width, int corner_height);

  // Halves rounded down, also when the window is larger than the screen.
  void CenterOnScreen();
  // Where CenterOnScreen puts the window at its present size.
  Point CentredPosition() const;
  // Above its siblings and shown, without taking the activation.
  void RaiseNoActivate();
  // Asks for a close through the message queue, as another program would.
  void PostClose();

  // Enter pressed in any control under the default button's parent clicks
  // it while that parent is shown; a focused push button clicks itself.
  Button* DefaultButton() const { return default_button_; }
  void SetDefaultButton(Button* button);

  // Enter and Tab, whatever control they were pressed in; false when the key
  // is not the form's to handle.
  bool HandleKey(Control& target, Key key, bool shift = false);
  Control* NextTabStop(const Control* from, bool backward);

  CloseHandler OnClose;
  // The user or another program asked the window to close. An accepted
  // close of the main form posts the quit message; other forms hide.
  void DoCloseRequest();
  void ForgetControl(const Control& control);

 private:
  void SetStyle(bool& field, bool on);

  std::string class_name_ = "LumForm";
  std::string icon_;
  bool maximize_box_ = true;
  bool fixed_size_ = false;
  bool caption_ = true;
  bool tool_window_ = false;
  bool topmost_ = false;
  bool has_region_ = false;
  RoundRegion region_;
  Button* default_button_ = nullptr;
};

}  // namespace lum
