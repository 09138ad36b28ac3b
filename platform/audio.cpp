#include <cstdio>
#include <cstring>

#include "platform/audio.h"
#include "platform/mixer.h"

namespace plat {

namespace {
int g_nOfflineRate = 0;
// Per thread: a silent re-run on one thread must not silence, or be given
// sound by, a game that plays on another.
thread_local bool g_bSilent = false;
constexpr int kOutputRate = 48000;
}  // namespace

void SetAudioOffline(int rate) {
    g_nOfflineRate = rate;
}

bool SetAudioSilent(bool silent) {
    const bool before = g_bSilent;
    g_bSilent = silent;
    return before;
}

bool AudioSilent() {
    return g_bSilent;
}

// ---- buffers

CAudioBuffer::CAudioBuffer(std::shared_ptr<CMixer> mixer, CVoice* voice)
    : m_pMixer(std::move(mixer)), m_pVoice(voice) {}

CAudioBuffer::~CAudioBuffer() {
    m_pMixer->Remove(m_pVoice);
}

bool CAudioBuffer::SetVolume(long mB) {
    if (mB < -10000 || mB > 0)
        return false;
    std::lock_guard<std::mutex> lock(m_pMixer->Lock());
    m_pVoice->nVolume = mB;
    return true;
}

bool CAudioBuffer::SetPan(long mB) {
    if (m_pVoice->bPositional || mB < -10000 || mB > 10000)
        return false;
    std::lock_guard<std::mutex> lock(m_pMixer->Lock());
    m_pVoice->nPan = mB;
    return true;
}

bool CAudioBuffer::SetFrequency(uint32_t hz) {
    if (hz != 0 && (hz < 100 || hz > 200000))
        return false;
    std::lock_guard<std::mutex> lock(m_pMixer->Lock());
    m_pVoice->dwFrequency = hz;
    return true;
}

uint32_t CAudioBuffer::GetFrequency() const {
    std::lock_guard<std::mutex> lock(m_pMixer->Lock());
    return m_pVoice->dwFrequency ? m_pVoice->dwFrequency : m_pVoice->dwNativeRate;
}

uint32_t CAudioBuffer::GetStatus() const {
    std::lock_guard<std::mutex> lock(m_pMixer->Lock());
    if (!m_pVoice->bPlaying)
        return 0;
    return kAudioPlaying | (m_pVoice->bLooping ? kAudioLooping : 0);
}

void CAudioBuffer::SetCurrentPosition(uint32_t frame) {
    std::lock_guard<std::mutex> lock(m_pMixer->Lock());
    m_pVoice->dPos = static_cast<double>(frame);
}

void CAudioBuffer::Play(bool looping) {
    std::lock_guard<std::mutex> lock(m_pMixer->Lock());
    m_pVoice->bPlaying = true;
    m_pVoice->bFading = false;
    m_pVoice->fFade = 1;
    m_pVoice->bLooping = looping;
}

void CAudioBuffer::Stop() {
    std::lock_guard<std::mutex> lock(m_pMixer->Lock());
    // A short fade-out instead of a cut, so a stop never clicks.
    if (m_pVoice->bPlaying)
        m_pVoice->bFading = true;
    m_pVoice->bPlaying = false;
}

// ---- device

std::unique_ptr<CAudioDevice> CAudioDevice::OpenOffline(int rate) {
    std::unique_ptr<CAudioDevice> dev(new CAudioDevice());
    dev->m_pMixer = std::make_shared<CMixer>(rate > 0 ? rate : kOutputRate);
    return dev;
}

std::unique_ptr<CAudioDevice> CAudioDevice::Open() {
    if (g_bSilent)
        return nullptr;
    if (g_nOfflineRate > 0)
        return OpenOffline(g_nOfflineRate);
    std::unique_ptr<CAudioDevice> dev(new CAudioDevice());
    dev->OpenOutput();
    if (!dev->m_pMixer)
        dev->m_pMixer = std::make_shared<CMixer>(kOutputRate);
    return dev;
}

int CAudioDevice::Rate() const {
    return m_pMixer->Rate();
}

void CAudioDevice::Render(float* out, size_t frames) {
    if (m_pOutput)
        return;
    m_pMixer->Mix(out, frames);
}

std::unique_ptr<CAudioBuffer> CAudioDevice::CreateBuffer(int bits, uint32_t rate,
                                                         const uint8_t* data, size_t bytes,
                                                         bool positional) {
    if ((bits != 8 && bits != 16) || rate < 100 || rate > 200000)
        return nullptr;
    const size_t frames = bits == 8 ? bytes : bytes / 2;
    if (frames == 0 || !data)
        return nullptr;
    auto v = std::make_unique<CVoice>();
    v->arrSample.resize(frames);
    for (size_t i = 0; i < frames; ++i) {
        if (bits == 8) {
            v->arrSample[i] = (static_cast<int>(data[i]) - 128) / 128.0f;
        } else {
            const int16_t s = static_cast<int16_t>(data[2 * i] | (data[2 * i + 1] << 8));
            v->arrSample[i] = s / 32768.0f;
        }
    }
    v->dwNativeRate = rate;
    v->bPositional = positional;
    CVoice* p = m_pMixer->Add(std::move(v));
    return std::unique_ptr<CAudioBuffer>(new CAudioBuffer(m_pMixer, p));
}

// ---- WAV writer for listening to offline renders

bool WriteWav(const std::string& path, const std::vector<float>& stereo, int rate) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const uint32_t dataBytes = static_cast<uint32_t>(stereo.size() * 2);
    auto u32 = [f](uint32_t v) {
        const uint8_t b[4] = {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)};
        std::fwrite(b, 1, 4, f);
    };
    auto u16 = [f](uint16_t v) {
        const uint8_t b[2] = {uint8_t(v), uint8_t(v >> 8)};
        std::fwrite(b, 1, 2, f);
    };
    std::fwrite("RIFF", 1, 4, f);
    u32(36 + dataBytes);
    std::fwrite("WAVEfmt ", 1, 8, f);
    u32(16);
    u16(1);
    u16(2);
    u32(static_cast<uint32_t>(rate));
    u32(static_cast<uint32_t>(rate) * 4);
    u16(4);
    u16(16);
    std::fwrite("data", 1, 4, f);
    u32(dataBytes);
    for (float s : stereo) {
        const float c = s > 1.0f ? 1.0f : (s < -1.0f ? -1.0f : s);
        u16(static_cast<uint16_t>(static_cast<int16_t>(c * 32767.0f)));
    }
    return std::fclose(f) == 0;
}

}  // namespace plat
