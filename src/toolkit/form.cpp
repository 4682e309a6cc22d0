// Top-level window: style, client size, keys, close requests.
#include "toolkit/form.h"

#include <vector>

#include "toolkit/app.h"
#include "toolkit/backend.h"

namespace lum {

namespace {

int HalfRoundedDown(int v) { return v >= 0 ? v / 2 : -((1 - v) / 2); }

// Tab order: creation order, depth first.
void CollectTabStops(const Control& parent, std::vector<Control*>& out) {
  for (Control* child : parent.Children()) {
    if (child->CanFocus()) out.push_back(child);
    CollectTabStops(*child, out);
  }
}

}  // namespace

Form::Form(Component* owner) : Control(owner, nullptr, ControlKind::Form) {}

Form::~Form() {
  FreeOwned();
  if (MainForm() == this) SetMainForm(nullptr);
}

Rect Form::FrameInsets() const { return backend::FrameInsets(*this); }

Size Form::ClientSize() const {
  Rect i = FrameInsets();
  return {Width() - i.left - i.right, Height() - i.top - i.bottom};
}

void Form::SetClientSize(int width, int height) {
  Rect i = FrameInsets();
  SetSize(width + i.left + i.right, height + i.top + i.bottom);
}

void Form::SetIcon(const std::string& resource) {
  icon_ = resource;
  Changed(Change::Icon);
}

void Form::SetStyle(bool& field, bool on) {
  if (field == on) return;
  field = on;
  Changed(Change::Style);
  Realign();  // the client area changed with the frame
}

void Form::SetMaximizeBox(bool on) { SetStyle(maximize_box_, on); }
void Form::SetFixedSize(bool on) { SetStyle(fixed_size_, on); }
void Form::SetCaption(bool on) { SetStyle(caption_, on); }
void Form::SetToolWindow(bool on) { SetStyle(tool_window_, on); }
void Form::SetTopmost(bool on) { SetStyle(topmost_, on); }

void Form::SetRoundRegion(const Rect& rect, int corner_width, int corner_height) {
  has_region_ = true;
  region_ = RoundRegion{rect, corner_width, corner_height};
  Changed(Change::Region);
}

Point Form::CentredPosition() const {
  Size screen = ScreenSize();
  Point origin = ScreenOrigin();
  return {origin.x + HalfRoundedDown(screen.width - Width()),
          origin.y + HalfRoundedDown(screen.height - Height())};
}

void Form::CenterOnScreen() {
  Point at = CentredPosition();
  SetPosition(at.x, at.y);
}

void Form::RaiseNoActivate() {
  CreateHandle();
  StoreVisible(true);  // the raise shows the window as well
  backend::RaiseNoActivate(*this);
}

void Form::PostClose() {
  if (peer_) backend::PostClose(*this);
}

void Form::SetDefaultButton(Button* button) {
  Button* old = default_button_;
  default_button_ = button;
  if (old && old->peer_) backend::Sync(*old, Change::Default);
  if (button && button->peer_) backend::Sync(*button, Change::Default);
}

Control* Form::NextTabStop(const Control* from, bool backward) {
  std::vector<Control*> order;
  CollectTabStops(*this, order);
  if (order.empty()) return nullptr;
  int n = static_cast<int>(order.size());
  for (int i = 0; i < n; ++i)
    if (order[i] == from) return order[(i + (backward ? n - 1 : 1)) % n];
  return backward ? order.back() : order.front();
}

bool Form::HandleKey(Control& target, Key key, bool shift) {
  if (!target.IsWithin(*this) || !target.Showing() || !target.Enabled()) return false;
  if (key == Key::Tab) {
    Control* next = NextTabStop(&target, shift);
    if (!next) return false;
    next->SetFocus();
    return true;
  }
  if (target.Kind() == ControlKind::Button) {
    static_cast<Button&>(target).DoClick();
    return true;
  }
  Button* button = default_button_;
  if (!button || !button->Enabled() || !button->Showing() || !button->Parent() ||
      !target.IsWithin(*button->Parent()))
    return false;
  button->DoClick();
  return true;
}

void Form::DoCloseRequest() {
  bool accept = true;
  SafeCall(OnClose, *this, accept);
  if (!accept) return;
  if (MainForm() == this)
    PostQuit(0);
  else
    Hide();
}

void Form::ForgetControl(const Control& control) {
  if (default_button_ == &control) default_button_ = nullptr;
}

}  // namespace lum
