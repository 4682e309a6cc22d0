// Window objects: their properties live here, in portable code, and are
// mirrored to a peer of the backend linked into the build (real windows, or
// none at all for tests). Setting a property before the system window exists
// only stores it; creating the window applies everything stored.
#pragma once

#include <string>
#include <type_traits>
#include <utility>
#include <vector>

#include "toolkit/handler.h"
#include "toolkit/types.h"

namespace lum {

struct Peer;  // the backend's side of an object; each backend defines it
class Canvas;
class Control;
class Form;
class PaintBox;

using NotifyHandler = Handler<Control&>;
using PaintHandler = Handler<PaintBox&, Canvas&>;

// Runs a handler. Nothing a handler throws may reach the window system, so
// it stops here: the event is simply over.
template <class H, class... A>
void SafeCall(const H& handler, A&&... args) {
  try {
    handler(std::forward<A>(args)...);
  } catch (...) {
  }
}

// Owns other objects; freeing it frees them, newest first.
class Component {
 public:
  explicit Component(Component* owner);
  virtual ~Component();
  Component(const Component&) = delete;
  Component& operator=(const Component&) = delete;

  Component* Owner() const { return owner_; }

  // Ties the life of any heap object (a record of the program's) to this one.
  template <class T>
  T& Adopt(T* object) {
    adopted_.push_back({object, [](void* p) { delete static_cast<T*>(p); }});
    return *object;
  }

 protected:
  // Frees what this object owns. Called first by destructors, while the
  // owner's own members are still alive for the owned objects to look at.
  void FreeOwned();

 private:
  struct Adopted {
    void* object;
    void (*free)(void*);
  };
  Component* owner_;
  std::vector<Component*> owned_;
  std::vector<Adopted> adopted_;
};

enum class ControlKind : unsigned char {
  Form, Panel, Label, Edit, ComboBox, Button, PaintBox, Browser
};
enum class Align : unsigned char { None, Client };

// What changed, for the backend to mirror.
enum class Change : unsigned char {
  Bounds, Visible, Enabled, Text, Font, Colors, Cursor, ZOrder,
  Style, Icon, Region, Items, ItemIndex, Masked, Default
};

class Control : public Component {
 public:
  ~Control() override;

  ControlKind Kind() const { return kind_; }
  Control* Parent() const { return parent_; }
  Form& TopForm();
  const Form& TopForm() const;
  // Children in creation order, and the same children front first.
  const std::vector<Control*>& Children() const { return children_; }
  const std::vector<Control*>& ZOrder() const { return zorder_; }
  bool IsWithin(const Control& ancestor) const;  // itself or a descendant

  // A control's position is relative to its parent's client area, a form's
  // is on the screen. Sizes are outer sizes.
  int Left() const { return bounds_.left; }
  int Top() const { return bounds_.top; }
  int Width() const { return bounds_.Width(); }
  int Height() const { return bounds_.Height(); }
  const Rect& Bounds() const { return bounds_; }
  void SetBounds(int left, int top, int width, int height);
  void SetPosition(int left, int top) { SetBounds(left, top, Width(), Height()); }
  void SetSize(int width, int height) { SetBounds(Left(), Top(), width, height); }
  virtual Size ClientSize() const { return {Width(), Height()}; }

  // A child aligned to fill its parent keeps the parent's margin from the
  // parent's client edges; a negative margin makes it overhang them.
  Align GetAlign() const { return align_; }
  void SetAlign(Align align);
  int Margin() const { return margin_; }
  void SetMargin(int margin);

  bool Visible() const { return visible_; }
  void SetVisible(bool visible);
  void Show() { SetVisible(true); }
  void Hide() { SetVisible(false); }
  bool Showing() const;  // visible, and so is every parent
  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);

  // The caption of a form or a control (a form's title).
  const std::string& Text() const { return text_; }
  void SetText(const std::string& text);

  // A new control takes its parent's font and colours once, when created.
  const Font& GetFont() const { return font_; }
  void SetFont(const Font& font);
  Color GetColor() const { return color_; }
  void SetColor(Color color);
  Color FontColor() const { return font_color_; }
  void SetFontColor(Color color);
  bool Transparent() const { return transparent_; }
  void SetTransparent(bool transparent);
  Cursor GetCursor() const { return cursor_; }
  void SetCursor(Cursor cursor);

  void BringToFront();

  bool TabStop() const { return tab_stop_; }
  void SetTabStop(bool tab_stop) { tab_stop_ = tab_stop; }
  bool CanFocus() const { return tab_stop_ && enabled_ && Showing(); }
  void SetFocus();
  bool Focused() const;

  // The system window: created with every child, hidden ones staying hidden.
  bool HandleAllocated() const { return peer_ != nullptr; }
  void CreateHandle();
  WindowHandle Handle() const;

  NotifyHandler OnResize;

  // For the backend.
  Peer* peer_ = nullptr;
  void PeerBoundsChanged(const Rect& bounds);  // the system moved or sized it

 protected:
  Control(Control* parent, ControlKind kind) : Control(parent, parent, kind) {}
  Control(Component* owner, Control* parent, ControlKind kind);
  void Changed(Change what);
  void StoreVisible(bool visible) { visible_ = visible; }
  void Attached();  // the most derived constructor's last step
  void Realign();
  virtual void AutoSize() {}

  Rect bounds_;
  std::string text_;

 private:
  void StoreBounds(const Rect& bounds, bool mirror);

  ControlKind kind_;
  Control* parent_;
  std::vector<Control*> children_;
  std::vector<Control*> zorder_;
  Align align_ = Align::None;
  int margin_ = 0;
  bool visible_ = true;
  bool enabled_ = true;
  bool transparent_ = false;
  bool tab_stop_ = false;
  Cursor cursor_ = Cursor::Default;
  Font font_;
  Color color_ = SysColor(kColorBtnFace);
  Color font_color_ = SysColor(kColorWindowText);
};

// A child container.
class Panel final : public Control {
 public:
  enum class Edge : unsigned char { None, Raised };
  explicit Panel(Control& parent);
  Edge GetEdge() const { return edge_; }
  void SetEdge(Edge edge);

 private:
  Edge edge_ = Edge::None;
};

// Static text that reports clicks. With automatic size (the default) it
// takes the size of its text; otherwise a longer text is cut at its edge.
class Label final : public Control {
 public:
  explicit Label(Control& parent);
  bool AutoSizing() const { return auto_size_; }
  void SetAutoSize(bool auto_size);
  NotifyHandler OnClick;
  void DoClick();  // the system reported a click

 protected:
  void AutoSize() override;

 private:
  bool auto_size_ = true;
};

// Single-line edit. Horizontal scrolling is decided when the window is made.
class Edit final : public Control {
 public:
  explicit Edit(Control& parent);
  bool Masked() const { return masked_; }
  void SetMasked(bool masked);
  bool HorizontalScroll() const { return hscroll_; }
  void SetHorizontalScroll(bool on) { hscroll_ = on; }
  NotifyHandler OnChange;
  void PeerTextChanged(const std::string& text);  // the user typed

 private:
  bool masked_ = false;
  bool hscroll_ = true;
};

// Drop-down list: a choice among the items, no typing.
class ComboBox final : public Control {
 public:
  explicit ComboBox(Control& parent);
  const std::vector<std::string>& Items() const { return items_; }
  void AddItem(const std::string& item);
  void ClearItems();
  int ItemIndex() const { return item_index_; }  // -1: none chosen
  void SetItemIndex(int index);
  // Whether the opened list's height is cut to whole entries.
  bool IntegralHeight() const { return integral_height_; }
  void SetIntegralHeight(bool on) { integral_height_ = on; }
  NotifyHandler OnChange;
  void PeerItemChosen(int index);  // the user chose an entry

 private:
  std::vector<std::string> items_;
  int item_index_ = -1;
  bool integral_height_ = true;
};

class Button final : public Control {
 public:
  explicit Button(Control& parent);
  NotifyHandler OnClick;
  void DoClick();
  bool IsDefault() const;
};

// Creates an object owned by `owner`: `auto& label = lum::Make<lum::Label>(panel);`
template <class T, class O, class... A>
T& Make(O& owner, A&&... args) {
  if constexpr (std::is_base_of_v<Control, T>)  // a panel in a panel is not a copy
    return *new T(static_cast<Control&>(owner), std::forward<A>(args)...);
  else
    return *new T(owner, std::forward<A>(args)...);
}

// Draws what its handler paints.
class PaintBox final : public Control {
 public:
  explicit PaintBox(Control& parent);
  PaintHandler OnPaint;
  void Invalidate();                 // paint again soon
  void DoPaint(Canvas& canvas);      // the system asks for a paint
};

// What a paint handler draws into.
class Canvas {
 public:
  explicit Canvas(void* context) : context_(context) {}
  void* Context() const { return context_; }  // the system's device context
  // Loads an icon resource at the size asked for and draws it at (x, y) at
  // its own size; the icon is freed again at once.
  void DrawIconResource(const std::string& resource, int load_width, int load_height,
                        int x, int y);

 private:
  void* context_;
};

}  // namespace lum
