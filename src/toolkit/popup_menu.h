// A popup menu as data: each item carries its own handler.
#pragma once

#include <string>
#include <vector>

#include "toolkit/control.h"

namespace lum {

class PopupMenu;

using MenuHandler = Handler<PopupMenu&, int>;  // the menu and the item's index

struct MenuItem {
  std::string text;  // "-" is a separator line
  MenuHandler on_click;
  bool is_default = false;  // shown in bold
  bool IsSeparator() const { return text == "-"; }
};

class PopupMenu final : public Component {
 public:
  explicit PopupMenu(Form& owner);

  Form& OwnerForm() const { return form_; }
  std::vector<MenuItem>& Items() { return items_; }
  const std::vector<MenuItem>& Items() const { return items_; }
  int Add(const std::string& text, MenuHandler on_click = {}, bool is_default = false);

  // Opens the menu at a screen point and waits until it closes; the chosen
  // item's handler runs after that. The menu closes when the user clicks
  // elsewhere, also when the owner form is hidden.
  void Popup(Point at);
  void DoItem(int index);

 private:
  Form& form_;
  std::vector<MenuItem> items_;
};

}  // namespace lum
