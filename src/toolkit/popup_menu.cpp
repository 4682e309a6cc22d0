#include "toolkit/popup_menu.h"

#include "toolkit/backend.h"
#include "toolkit/form.h"

namespace lum {

PopupMenu::PopupMenu(Form& owner) : Component(&owner), form_(owner) {}

int PopupMenu::Add(const std::string& text, MenuHandler on_click, bool is_default) {
  items_.push_back(MenuItem{text, on_click, is_default});
  return static_cast<int>(items_.size()) - 1;
}

void PopupMenu::Popup(Point at) {
  form_.CreateHandle();  // the menu's owner window
  int chosen = backend::MenuTrack(*this, at);
  if (chosen >= 0) DoItem(chosen);
}

void PopupMenu::DoItem(int index) {
  if (index < 0 || index >= static_cast<int>(items_.size())) return;
  MenuHandler handler = items_[index].on_click;  // the handler may change the items
  SafeCall(handler, *this, index);
}

}  // namespace lum
