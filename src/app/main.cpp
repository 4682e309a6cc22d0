// Program entry: the installer's two forms run and end here; the centre and
// the agent build their windows and run the message loop.
#include "app/run_mode.h"
#include "install/installer.h"
#include "ui/center_form.h"

#ifdef _WIN32
#include <cstdlib>

// The library's verbose handler drags in a symbol demangler (about 45 KB)
// to print a message nobody sees in a windowed program.
namespace __gnu_cxx {
void __verbose_terminate_handler() { std::abort(); }
}  // namespace __gnu_cxx
#endif

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
