// The window's bell: tones through SDL's audio, played from the window thread. The sound device
// is opened with the first tone; without one the bell is silent.
#pragma once

#include <cstdint>

namespace ulo {

struct SdlLibrary;

// The tones' samples: 16-bit signed, one channel, this many a second.
inline constexpr int SDL_TONE_SAMPLE_RATE = 48000;

// Queues a sine tone of `frequency` Hz lasting `milliseconds` and returns without waiting for it
// to sound; the first tone opens the sound device. Tones that would wait behind more than a second
// of sound are dropped.
void playSdlTone(const SdlLibrary& sdl, std::int32_t frequency, std::int32_t milliseconds);

// Closes the sound device, if a tone opened it; the next tone tries again.
void closeSdlSound(const SdlLibrary& sdl);

} // namespace ulo
