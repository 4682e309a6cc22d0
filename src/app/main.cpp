// Program entry: the installer's two forms run and end here; the centre and
// the agent build their windows and run the message loop.
#include "app/run_mode.h"
#include "install/installer.h"
#include "ui/center_form.h"

int main() {
  switch (lum::OwnRunMode()) {
    case lum::RunMode::Deploy:
      lum::Deploy(false);
      break;
    case lum::RunMode::Setup:
      lum::RunSetup();
      break;
    case lum::RunMode::Agent:
    case lum::RunMode::Centre:
      return lum::RunWindows();
  }
  return 0;
}
