// The fuzz targets run on a system that refuses everything: what a target
// needs of the system it puts in place itself, and nothing else can leave
// the process.
#include "failing_os.h"

namespace lum {

OsApi& NativeOs() {
  static test::FailingOs os;
  return os;
}

}  // namespace lum
