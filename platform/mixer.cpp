#include "platform/mixer.h"

#include <algorithm>
#include <cmath>

namespace plat {

namespace {

float DbGain(long mB) {
    if (mB <= -10000)
        return 0.0f;  // the bottom of the range is silence
    return static_cast<float>(std::pow(10.0, mB / 2000.0));
}

void TargetGains(const CVoice& v, float fBus, float& l, float& r) {
    const float g = DbGain(v.nVolume) * fBus;
    l = r = g;
    if (v.bPositional)
        return;  // heard centred at the listener
    if (v.nPan < 0)
        r *= DbGain(v.nPan);
    if (v.nPan > 0)
        l *= DbGain(-v.nPan);
}

// Four-point cubic Hermite interpolation.
inline float Hermite(float xm1, float x0, float x1, float x2, float t) {
    const float c1 = 0.5f * (x1 - xm1);
    const float c2 = xm1 - 2.5f * x0 + 2.0f * x1 - 0.5f * x2;
    const float c3 = 0.5f * (x2 - xm1) + 1.5f * (x0 - x1);
    return ((c3 * t + c2) * t + c1) * t + x0;
}

inline float At(const std::vector<float>& s, long long i, bool loop) {
    const long long n = static_cast<long long>(s.size());
    if (loop) {
        i %= n;
        if (i < 0)
            i += n;
        return s[static_cast<size_t>(i)];
    }
    return (i < 0 || i >= n) ? 0.0f : s[static_cast<size_t>(i)];
}

}  // namespace

SOutputGains& OutputGains() {
    static SOutputGains gains;
    return gains;
}

CMixer::CMixer(int rate)
    : m_nRate(rate),
      m_fFadeStep(1.0f / (0.002f * static_cast<float>(rate))),
      m_fSmooth(static_cast<float>(1.0 - std::exp(-1.0 / (0.002 * rate)))),
      m_fBlockSmooth(1.0f - std::pow(1.0f - m_fSmooth, static_cast<float>(kSubBlock))),
      m_fRelease(static_cast<float>(1.0 - std::exp(-1.0 / (0.1 * rate)))),
      m_fPauseStep(1.0f / (0.01f * static_cast<float>(rate))) {
    m_arrVoice.reserve(1024);
}

CVoice* CMixer::Add(std::unique_ptr<CVoice> voice) {
    CVoice* p = voice.get();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_arrVoice.push_back(std::move(voice));
    return p;
}

void CMixer::Remove(CVoice* voice) {
    std::unique_ptr<CVoice> dead;  // freed outside the lock
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        auto it = std::find_if(m_arrVoice.begin(), m_arrVoice.end(),
                               [voice](const auto& p) { return p.get() == voice; });
        if (it == m_arrVoice.end())
            return;
        dead = std::move(*it);
        *it = std::move(m_arrVoice.back());
        m_arrVoice.pop_back();
    }
}

void CMixer::SetPaused(bool bPaused) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_bPaused = bPaused;
}

bool CMixer::Paused() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_bPaused;
}

void CMixer::MixVoice(CVoice& v, float* out, size_t frames, float fBus) {
    const std::vector<float>& s = v.arrSample;
    const double len = static_cast<double>(s.size());
    float tl, tr;
    TargetGains(v, fBus, tl, tr);
    const uint32_t rate = v.dwFrequency ? v.dwFrequency : v.dwNativeRate;
    const double tStep = static_cast<double>(rate) / m_nRate;
    if (v.dStep <= 0)
        v.dStep = tStep;
    // The one-pole smoothing is followed at sub-block ends and ramped
    // linearly in between: as smooth to the ear, far cheaper per frame.
    const float a = frames == kSubBlock
                        ? m_fBlockSmooth
                        : 1.0f - std::pow(1.0f - m_fSmooth, static_cast<float>(frames));
    const float inv = 1.0f / static_cast<float>(frames);
    const float dl = (tl - v.fGainL) * a * inv;
    const float dr = (tr - v.fGainR) * a * inv;
    const double ds = (tStep - v.dStep) * a * inv;
    float gl = v.fGainL, gr = v.fGainR;
    double pos = v.dPos, step = v.dStep;
    const long long n = static_cast<long long>(s.size());
    const float* base = s.data();
    // Fast path: the whole sub-block reads inside the sound, away from its ends.
    const double maxStep = std::max(step, step + ds * static_cast<double>(frames));
    if (!v.bFading && pos >= 1.0 && pos + maxStep * static_cast<double>(frames) + 3.0 < len) {
        for (size_t i = 0; i < frames; ++i) {
            const long long idx = static_cast<long long>(pos);
            const float t = static_cast<float>(pos - static_cast<double>(idx));
            const float* p = base + idx;
            const float x = Hermite(p[-1], p[0], p[1], p[2], t);
            gl += dl;
            gr += dr;
            out[2 * i] += x * gl;
            out[2 * i + 1] += x * gr;
            step += ds;
            pos += step;
        }
        frames = 0;
    }
    for (size_t i = 0; i < frames; ++i) {
        if (pos >= len) {
            if (!v.bLooping) {
                v.bPlaying = v.bFading = false;
                v.fGainL = v.fGainR = 0;
                v.fFade = 1;
                return;
            }
            pos = std::fmod(pos, len);
        }
        const long long idx = static_cast<long long>(pos);
        const float t = static_cast<float>(pos - static_cast<double>(idx));
        float x;
        if (idx >= 1 && idx + 2 < n) {
            const float* p = base + idx;
            x = Hermite(p[-1], p[0], p[1], p[2], t);
        } else {
            x = Hermite(At(s, idx - 1, v.bLooping), At(s, idx, v.bLooping),
                        At(s, idx + 1, v.bLooping), At(s, idx + 2, v.bLooping), t);
        }
        gl += dl;
        gr += dr;
        if (v.bFading) {
            v.fFade -= m_fFadeStep;
            if (v.fFade <= 0) {
                v.bFading = false;
                v.fFade = 1;
                v.fGainL = v.fGainR = 0;
                v.dPos = pos;
                return;
            }
            x *= v.fFade;
        }
        out[2 * i] += x * gl;
        out[2 * i + 1] += x * gr;
        step += ds;
        pos += step;
    }
    v.dPos = pos;
    // Settle exactly on the target once the ramp is inaudible.
    v.fGainL = std::fabs(gl - tl) < 1e-5f ? tl : gl;
    v.fGainR = std::fabs(gr - tr) < 1e-5f ? tr : gr;
    v.dStep = std::fabs(step - tStep) < 1e-9 ? tStep : step;
}

// Ramps the pause gain toward its target over the block and applies it.
void CMixer::ApplyPause(float* out, size_t frames, bool bPaused) {
    const float target = bPaused ? 0.0f : 1.0f;
    if (m_fPauseGain == target && target == 1.0f)
        return;
    for (size_t i = 0; i < frames; ++i) {
        if (m_fPauseGain < target)
            m_fPauseGain = std::min(target, m_fPauseGain + m_fPauseStep);
        else if (m_fPauseGain > target)
            m_fPauseGain = std::max(target, m_fPauseGain - m_fPauseStep);
        out[2 * i] *= m_fPauseGain;
        out[2 * i + 1] *= m_fPauseGain;
    }
}

void CMixer::Mix(float* out, size_t frames) {
    std::fill(out, out + 2 * frames, 0.0f);
    const SOutputGains& gains = OutputGains();
    const float fVoices = gains.fVoices.load(std::memory_order_relaxed);
    const float fEffects = gains.fEffects.load(std::memory_order_relaxed);
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        // Once faded out, a paused mixer moves no voice at all.
        if (m_bPaused && m_fPauseGain == 0.0f)
            return;
        for (size_t at = 0; at < frames; at += kSubBlock) {
            const size_t len = std::min(kSubBlock, frames - at);
            for (auto& v : m_arrVoice) {
                if ((v->bPlaying || v->bFading) && !v->arrSample.empty()) {
                    MixVoice(*v, out + 2 * at, len, v->bVoice ? fVoices : fEffects);
                }
            }
        }
        ApplyPause(out, frames, m_bPaused);
    }
    // A peak limiter with instant attack keeps many loud sounds from clipping.
    constexpr float kCeiling = 0.98f;
    for (size_t i = 0; i < frames; ++i) {
        float& l = out[2 * i];
        float& r = out[2 * i + 1];
        const float peak = std::max(std::fabs(l), std::fabs(r));
        if (peak * m_fLimit > kCeiling) {
            m_fLimit = kCeiling / peak;
        } else {
            m_fLimit += (1.0f - m_fLimit) * m_fRelease;
        }
        l = std::clamp(l * m_fLimit, -1.0f, 1.0f);
        r = std::clamp(r * m_fLimit, -1.0f, 1.0f);
    }
}

}  // namespace plat
