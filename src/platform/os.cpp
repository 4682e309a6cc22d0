#include "platform/os.h"

namespace lum {

namespace {
OsApi* g_current = nullptr;
}

OsApi& Os() { return g_current ? *g_current : NativeOs(); }

bool FileExists(const std::string& path) { return Os().ProbePath(path) == PathKind::File; }

ScopedOs::ScopedOs(OsApi& replacement) : previous_(g_current) { g_current = &replacement; }

ScopedOs::~ScopedOs() { g_current = previous_; }

}  // namespace lum
