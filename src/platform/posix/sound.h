// System sounds on Linux: the desktop's sound theme (libcanberra in the
// desktop build; none in a build without a desktop).
#pragma once

#include <string>

namespace lum::posix {

// A sound can be played at all: a sound output opens.
bool SoundPlayable();
// Both return at once; the sound plays on, or nothing happens.
void PlaySoundEvent(const char* event_id);
void PlaySoundFromFile(const std::string& path);

}  // namespace lum::posix
