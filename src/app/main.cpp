// Program entry. The installer forms, the centre and the agent are built on
// top of the mode decided here.
#include "app/run_mode.h"

int main() {
  switch (lum::OwnRunMode()) {
    case lum::RunMode::Deploy:
    case lum::RunMode::Setup:
    case lum::RunMode::Agent:
    case lum::RunMode::Centre:
      break;
  }
  return 0;
}
