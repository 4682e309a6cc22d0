// The portable part of the process-wide operations.
#include "toolkit/app.h"

#include "toolkit/form.h"

namespace lum {

namespace {
Form* g_main_form = nullptr;
}

void SetMainForm(Form* form) { g_main_form = form; }
Form* MainForm() { return g_main_form; }

bool RaiseTopLevelWindow(const std::string& class_name) {
  WindowHandle window = FindTopLevelWindow(class_name);
  if (!window) return false;
  SetForegroundWindow(window);
  return true;
}

}  // namespace lum
