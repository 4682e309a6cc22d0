#include "platform/os.h"

namespace lum {

namespace {
OsApi* g_current = nullptr;
}

OsApi& Os() { return g_current ? *g_current : NativeOs(); }

ScopedOs::ScopedOs(OsApi& replacement) : previous_(g_current) { g_current = &replacement; }

ScopedOs::~ScopedOs() { g_current = previous_; }

}  // namespace lum
