// A web page inside a form: the system's browser control, hosted in a child
// window of ours. Every navigation of the control, the program's own and the
// page's links and frames alike, passes OnBeforeNavigate first.
#pragma once

#include <string>

#include "toolkit/control.h"

namespace lum {

class Browser;

// The target URL and a cancel flag that comes in false.
using NavigateHandler = Handler<Browser&, const std::string&, bool&>;

class Browser final : public Control {
 public:
  explicit Browser(Control& parent);

  // Runs nested in message handling, also inside the program's own Navigate.
  NavigateHandler OnBeforeNavigate;

  // No script error boxes or other dialogs of the control's own.
  bool Silent() const { return silent_; }
  void SetSilent(bool silent);

  // Whether the system's browser control is there; makes the window first.
  // False when the system has none (its engine missing).
  bool HasControl();

  // Sends the control to a URL; the page loads in the background. The
  // control needs its window for this, so the window is made now when it is
  // not there yet. False when the control reports a failure.
  bool Navigate(const std::string& url);
  // The control's current URL; "" when none.
  std::string LocationUrl() const;
  // Replaces the inner HTML of the shown document's element of that id.
  // False, with nothing changed, when there is no document or no such
  // element, or the control refuses.
  bool SetElementHtml(const std::string& id, const std::string& html);

  // The control is about to navigate; for the backend.
  void DoBeforeNavigate(const std::string& url, bool& cancel);

 private:
  bool silent_ = false;
};

}  // namespace lum
