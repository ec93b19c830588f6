#include "posix/sdl_sound.hpp"

#include "posix/sdl_library.hpp"

#include <cmath>
#include <dlfcn.h>
#include <numbers>
#include <vector>

namespace ulo {
namespace {

// About a third of full scale: clearly heard, never clipped.
constexpr double AMPLITUDE = 10000.0;
constexpr Uint32 MOST_QUEUED_BYTES = SDL_TONE_SAMPLE_RATE * sizeof(Sint16);

struct SdlSound {
    bool tried = false; // the device was asked for; it stays closed when that failed
    SDL_AudioDeviceID device = 0;
};
SdlSound sound;

void ignoreAlsaReport(const char*, int, const char*, int, const char*, ...) {}

// ALSA, which SDL may play through, reports a missing sound card on standard error by itself.
// A missing card only leaves the bell silent, so those reports go nowhere. The library stays
// loaded, with the handler, for SDL to use.
void silenceAlsa() {
    void* alsa = ::dlopen("libasound.so.2", RTLD_NOW | RTLD_LOCAL);
    if (alsa == nullptr) {
        return;
    }
    using Report = void (*)(const char*, int, const char*, int, const char*, ...);
    using SetReport = int (*)(Report);
    if (auto setReport = reinterpret_cast<SetReport>(::dlsym(alsa, "snd_lib_error_set_handler"))) {
        setReport(ignoreAlsaReport);
    }
}

// Opens the default sound device once, in the tones' own format (SDL converts if the device
// wants another). A system without sound, or whose sound cannot be opened, is left silent.
bool openSound(const SdlLibrary& sdl) {
    if (sound.tried) {
        return sound.device != 0;
    }
    sound.tried = true;
    silenceAlsa();
    if (sdl.SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
        return false;
    }
    SDL_AudioSpec wanted{};
    wanted.freq = SDL_TONE_SAMPLE_RATE;
    wanted.format = AUDIO_S16SYS;
    wanted.channels = 1;
    wanted.samples = 1024;
    SDL_AudioSpec obtained{};
    sound.device = sdl.SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
    if (sound.device == 0) {
        sdl.SDL_QuitSubSystem(SDL_INIT_AUDIO);
        return false;
    }
    sdl.SDL_PauseAudioDevice(sound.device, 0);
    return true;
}

} // namespace

void playSdlTone(const SdlLibrary& sdl, std::int32_t frequency, std::int32_t milliseconds) {
    if (frequency <= 0 || milliseconds <= 0 || !openSound(sdl) ||
        sdl.SDL_GetQueuedAudioSize(sound.device) >= MOST_QUEUED_BYTES) {
        return;
    }
    const auto count = static_cast<std::size_t>(SDL_TONE_SAMPLE_RATE) *
                       static_cast<std::size_t>(milliseconds) / 1000;
    std::vector<Sint16> samples(count);
    const double step = 2.0 * std::numbers::pi * frequency / SDL_TONE_SAMPLE_RATE;
    for (std::size_t i = 0; i < count; ++i) {
        samples[i] = static_cast<Sint16>(std::lround(AMPLITUDE * std::sin(step * i)));
    }
    sdl.SDL_QueueAudio(sound.device, samples.data(),
                       static_cast<Uint32>(samples.size() * sizeof(Sint16)));
}

void closeSdlSound(const SdlLibrary& sdl) {
    if (sound.device != 0) {
        sdl.SDL_CloseAudioDevice(sound.device);
        sdl.SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
    sound = SdlSound{};
}

} // namespace ulo
