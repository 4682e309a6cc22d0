// Portable half of the window objects: properties, ownership, alignment.
#include "toolkit/control.h"

#include <algorithm>
#include <utility>

#include "toolkit/backend.h"
#include "toolkit/form.h"

namespace lum {

namespace {

template <class T>
void Erase(std::vector<T*>& list, const T* item) {
  list.erase(std::remove(list.begin(), list.end(), item), list.end());
}

}  // namespace

// --- Component ---

Component::Component(Component* owner) : owner_(owner) {
  if (owner_) owner_->owned_.push_back(this);
}

Component::~Component() {
  FreeOwned();
  if (owner_) Erase(owner_->owned_, static_cast<Component*>(this));
}

void Component::FreeOwned() {
  // Each owned object takes itself off the list as it goes.
  while (!owned_.empty()) delete owned_.back();
  while (!adopted_.empty()) {
    Adopted a = adopted_.back();
    adopted_.pop_back();
    a.free(a.object);
  }
}

// --- Control ---

Control::Control(Component* owner, Control* parent, ControlKind kind)
    : Component(owner), kind_(kind), parent_(parent) {
  visible_ = kind != ControlKind::Form;  // forms appear when shown
  if (!parent_) return;
  parent_->children_.push_back(this);
  parent_->zorder_.push_back(this);  // a new child starts at the back
  font_ = parent_->font_;
  font_color_ = parent_->font_color_;
  color_ = parent_->color_;
}

Control::~Control() {
  FreeOwned();
  if (parent_) {
    TopForm().ForgetControl(*this);
    Erase(parent_->children_, this);
    Erase(parent_->zorder_, this);
  }
  if (peer_) backend::DestroyPeer(*this);
}

void Control::Attached() {
  AutoSize();
  if (parent_ && parent_->peer_) CreateHandle();
}

const Form& Control::TopForm() const {
  const Control* c = this;
  while (c->parent_) c = c->parent_;
  return *static_cast<const Form*>(c);  // only forms stand without a parent
}

Form& Control::TopForm() { return const_cast<Form&>(std::as_const(*this).TopForm()); }

bool Control::IsWithin(const Control& ancestor) const {
  for (const Control* c = this; c; c = c->parent_)
    if (c == &ancestor) return true;
  return false;
}

void Control::Changed(Change what) {
  if (peer_) backend::Sync(*this, what);
}

void Control::SetBounds(int left, int top, int width, int height) {
  Rect r{left, top, left + width, top + height};
  if (align_ == Align::Client && parent_) {
    Size c = parent_->ClientSize();
    int m = parent_->margin_;
    r = Rect{m, m, c.width - m, c.height - m};
  }
  StoreBounds(r, true);
}

void Control::StoreBounds(const Rect& r, bool mirror) {
  if (r == bounds_) return;
  bool resized = r.Width() != bounds_.Width() || r.Height() != bounds_.Height();
  bounds_ = r;
  if (mirror) Changed(Change::Bounds);
  if (resized) {
    Realign();
    SafeCall(OnResize, *this);
  }
}

void Control::PeerBoundsChanged(const Rect& bounds) { StoreBounds(bounds, false); }

void Control::Realign() {
  for (Control* child : children_)
    if (child->align_ == Align::Client) child->SetBounds(0, 0, 0, 0);
}

void Control::SetAlign(Align align) {
  align_ = align;
  if (align_ == Align::Client) SetBounds(0, 0, 0, 0);
}

void Control::SetMargin(int margin) {
  if (margin == margin_) return;
  margin_ = margin;
  Realign();
}

bool Control::Showing() const {
  for (const Control* c = this; c; c = c->parent_)
    if (!c->visible_) return false;
  return true;
}

void Control::SetVisible(bool visible) {
  if (visible == visible_) return;
  visible_ = visible;
  if (visible && !peer_ && (!parent_ || parent_->peer_)) {
    CreateHandle();  // made with the new state, nothing to mirror
    if (!parent_) Changed(Change::Visible);  // a form appears through its peer
    return;
  }
  Changed(Change::Visible);
}

void Control::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Changed(Change::Enabled);
}

void Control::SetText(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  Changed(Change::Text);
  AutoSize();
}

void Control::SetFont(const Font& font) {
  if (font == font_) return;
  font_ = font;
  Changed(Change::Font);
  AutoSize();
}

void Control::SetColor(Color color) {
  color_ = color;
  Changed(Change::Colors);
}

void Control::SetFontColor(Color color) {
  font_color_ = color;
  Changed(Change::Colors);
}

void Control::SetTransparent(bool transparent) {
  transparent_ = transparent;
  Changed(Change::Colors);
}

void Control::SetCursor(Cursor cursor) {
  cursor_ = cursor;
  Changed(Change::Cursor);
}

void Control::BringToFront() {
  if (!parent_) return;
  std::vector<Control*>& z = parent_->zorder_;
  Erase(z, this);
  z.insert(z.begin(), this);
  Changed(Change::ZOrder);
}

void Control::SetFocus() {
  if (peer_ && CanFocus()) backend::Focus(*this);
}

bool Control::Focused() const { return peer_ && backend::HasFocus(*this); }

void Control::CreateHandle() {
  if (peer_) return;
  if (parent_ && !parent_->peer_) {
    parent_->CreateHandle();  // which makes this one among its children
    return;
  }
  backend::CreatePeer(*this);
  for (Control* child : children_) child->CreateHandle();
  if (!children_.empty()) Changed(Change::ZOrder);
}

WindowHandle Control::Handle() const { return peer_ ? backend::HandleOf(*this) : 0; }

// --- Panel ---

Panel::Panel(Control& parent) : Control(&parent, ControlKind::Panel) { Attached(); }

void Panel::SetEdge(Edge edge) {
  edge_ = edge;
  Changed(Change::Style);
}

// --- Label ---

Label::Label(Control& parent) : Control(&parent, ControlKind::Label) { Attached(); }

void Label::SetAutoSize(bool auto_size) {
  auto_size_ = auto_size;
  AutoSize();
}

void Label::AutoSize() {
  if (!auto_size_) return;
  Size s = backend::MeasureText(GetFont(), text_);
  SetSize(s.width, s.height);
}

void Label::DoClick() { SafeCall(OnClick, *this); }

// --- Edit ---

Edit::Edit(Control& parent) : Control(&parent, ControlKind::Edit) {
  SetTabStop(true);
  Attached();
}

void Edit::SetMasked(bool masked) {
  if (masked == masked_) return;
  masked_ = masked;
  Changed(Change::Masked);
}

void Edit::PeerTextChanged(const std::string& text) {
  if (text == text_) return;
  text_ = text;
  SafeCall(OnChange, *this);
}

// --- ComboBox ---

ComboBox::ComboBox(Control& parent) : Control(&parent, ControlKind::ComboBox) {
  SetTabStop(true);
  Attached();
}

void ComboBox::AddItem(const std::string& item) {
  items_.push_back(item);
  Changed(Change::Items);
}

void ComboBox::ClearItems() {
  items_.clear();
  item_index_ = -1;
  Changed(Change::Items);
}

void ComboBox::SetItemIndex(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size())) index = -1;
  item_index_ = index;
  Changed(Change::ItemIndex);
}

void ComboBox::PeerItemChosen(int index) {
  if (index < -1 || index >= static_cast<int>(items_.size()) || index == item_index_) return;
  item_index_ = index;
  SafeCall(OnChange, *this);
}

// --- Button ---

Button::Button(Control& parent) : Control(&parent, ControlKind::Button) {
  SetTabStop(true);
  Attached();
}

void Button::DoClick() { SafeCall(OnClick, *this); }

bool Button::IsDefault() const {
  return TopForm().DefaultButton() == this;
}

// --- PaintBox ---

PaintBox::PaintBox(Control& parent) : Control(&parent, ControlKind::PaintBox) { Attached(); }

void PaintBox::Invalidate() {
  if (peer_) backend::Invalidate(*this);
}

void PaintBox::DoPaint(Canvas& canvas) { SafeCall(OnPaint, *this, canvas); }

void Canvas::DrawIconResource(const std::string& resource, int load_width, int load_height,
                              int x, int y) {
  backend::DrawIconResource(*this, resource, load_width, load_height, x, y);
}

}  // namespace lum
