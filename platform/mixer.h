// The mixer behind plat::CAudioDevice; shared by the device, its buffers and
// the output callback.
#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

namespace plat {

struct CVoice {
    std::vector<float> arrSample;
    uint32_t dwNativeRate = 0;
    bool bPositional = false;
    bool bVoice = false;  // follows the voices' level, not the effects'
    // Set by the user-interface thread under the mixer's lock.
    long nVolume = 0;
    long nPan = 0;
    uint32_t dwFrequency = 0;
    bool bPlaying = false;
    bool bLooping = false;
    bool bFading = false;  // stopped, ramping down to silence
    // Mix state.
    double dPos = 0;
    double dStep = 0;
    float fGainL = 0;
    float fGainR = 0;
    float fFade = 1;  // linear fade-out after a stop
};

// The player's two levels, linear, the master level folded into each; set
// from the user-interface thread, read by every mixer at every call.
struct SOutputGains {
    std::atomic<float> fVoices{1.0f};
    std::atomic<float> fEffects{1.0f};
};
SOutputGains& OutputGains();

class CMixer {
public:
    explicit CMixer(int rate);
    int Rate() const { return m_nRate; }
    CVoice* Add(std::unique_ptr<CVoice> voice);
    void Remove(CVoice* voice);
    // Interleaved stereo; called from the output thread or offline.
    void Mix(float* out, size_t frames);
    std::mutex& Lock() { return m_mutex; }
    // Paused: the output fades to silence and every voice stays where it is.
    void SetPaused(bool bPaused);
    bool Paused();

private:
    void MixVoice(CVoice& v, float* out, size_t frames, float fBus);
    void ApplyPause(float* out, size_t frames, bool bPaused);
    int m_nRate;
    float m_fFadeStep;  // a stop fades out over 2 ms
    float m_fSmooth;    // per-frame one-pole coefficient for parameter changes
    static constexpr size_t kSubBlock = 64;
    float m_fBlockSmooth;
    float m_fRelease;  // limiter release coefficient
    float m_fLimit = 1.0f;
    float m_fPauseStep;         // a pause fades over 10 ms
    float m_fPauseGain = 1.0f;  // the pause gain: 1 playing, 0 paused
    bool m_bPaused = false;     // under m_mutex
    std::mutex m_mutex;
    std::vector<std::unique_ptr<CVoice>> m_arrVoice;
};

}  // namespace plat
