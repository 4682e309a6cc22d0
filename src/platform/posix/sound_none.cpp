// A build without a desktop plays no sound.
#include "platform/posix/sound.h"

namespace lum::posix {

bool SoundPlayable() { return false; }
void PlaySoundEvent(const char*) {}
void PlaySoundFromFile(const std::string&) {}

}  // namespace lum::posix
