#include <SDL.h>

#include "platform/audio.h"
#include "platform/mixer.h"

namespace plat {
namespace {
constexpr int kOutputRate = 48000;
constexpr int kOutputFrames = 256;  // about 5 ms per callback keeps latency low
}  // namespace

// ---- device

struct CAudioDevice::SOutput {
    SDL_AudioDeviceID id = 0;
    ~SOutput() {
        if (id)
            SDL_CloseAudioDevice(id);
        SDL_QuitSubSystem(SDL_INIT_AUDIO);
    }
};

namespace {
void Callback(void* user, Uint8* stream, int len) {
    static_cast<CMixer*>(user)->Mix(reinterpret_cast<float*>(stream),
                                    static_cast<size_t>(len) / (2 * sizeof(float)));
}
}  // namespace

CAudioDevice::CAudioDevice() = default;

CAudioDevice::~CAudioDevice() {
    m_pOutput.reset();
}

void CAudioDevice::OpenOutput() {
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0)
        return;  // no sound system at all: the device plays silently
    m_pOutput = std::make_unique<SOutput>();
    SDL_AudioSpec want{}, have{};
    want.freq = kOutputRate;
    want.format = AUDIO_F32SYS;
    want.channels = 2;
    want.samples = kOutputFrames;
    want.callback = Callback;
    // The mixer must exist before the callback can run; its rate follows the card.
    auto mixer = std::make_shared<CMixer>(kOutputRate);
    want.userdata = mixer.get();
    SDL_AudioDeviceID id =
        SDL_OpenAudioDevice(nullptr, 0, &want, &have, SDL_AUDIO_ALLOW_FREQUENCY_CHANGE);
    if (id && have.freq != kOutputRate) {
        SDL_CloseAudioDevice(id);
        mixer = std::make_shared<CMixer>(have.freq);
        want.freq = have.freq;
        want.userdata = mixer.get();
        id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0);
    }
    m_pMixer = mixer;
    m_pOutput->id = id;
    if (id)
        SDL_PauseAudioDevice(id, 0);
}

}  // namespace plat
