// 32 looping voices with moving pan, volume and pitch, rendered offline by
// our mixer and by the OpenAL loopback device; prints ns per output frame
// for each and the ratio ours / OpenAL.
#ifdef DORUZORO_BENCH_OPENAL
#include <AL/al.h>
#include <AL/alc.h>
#include <AL/alext.h>
#endif
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/audio.h"
#include "wave_builder.h"

namespace {

constexpr int kRate = 48000;
constexpr int kVoices = 32;
constexpr size_t kBlock = 256;  // frames per render call, as the card pulls them
double g_dOurs = 0, g_dOpenAl = 0;

// The moving parameters of voice i at block n, the same for both mixers:
// pan as -1..1, volume in hundredths of a decibel, pitch as a factor.
struct Schedule {
    double pan, volumeMb, pitch;
};

Schedule ScheduleAt(long n, int i) {
    const double ph = 0.01 * n + i;
    return {0.9 * std::sin(ph), -1500 + 1500 * std::sin(ph * 0.7), 1.0 + 0.5 * std::sin(ph * 1.3)};
}

std::string Pcm(int i) {
    return wavetest::Sine16(200 + 37 * i, 22050, 22050, 0.3);
}

void BM_OurMixer(benchmark::State& state) {
    auto dev = plat::CAudioDevice::OpenOffline(kRate);
    std::vector<std::unique_ptr<plat::CAudioBuffer>> v;
    for (int i = 0; i < kVoices; ++i) {
        const std::string pcm = Pcm(i);
        v.push_back(dev->CreateBuffer(16, 22050, reinterpret_cast<const uint8_t*>(pcm.data()),
                                      pcm.size(), false));
        v.back()->Play(true);
    }
    std::vector<float> out(kBlock * 2);
    long n = 0, frames = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (int i = 0; i < kVoices; ++i) {
            const Schedule at = ScheduleAt(n, i);
            v[i]->SetPan(static_cast<long>(10000 * at.pan));
            v[i]->SetVolume(static_cast<long>(at.volumeMb));
            v[i]->SetFrequency(static_cast<uint32_t>(22050 * at.pitch));
        }
        dev->Render(out.data(), kBlock);
        benchmark::DoNotOptimize(out.data());
        ++n;
        frames += kBlock;
    }
    const double ns =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
    g_dOurs = ns / frames;
    state.counters["ns_per_frame"] = g_dOurs;
}

#ifdef DORUZORO_BENCH_OPENAL
void BM_OpenAlLoopback(benchmark::State& state) {
    auto open = reinterpret_cast<LPALCLOOPBACKOPENDEVICESOFT>(
        alcGetProcAddress(nullptr, "alcLoopbackOpenDeviceSOFT"));
    auto render = reinterpret_cast<LPALCRENDERSAMPLESSOFT>(
        alcGetProcAddress(nullptr, "alcRenderSamplesSOFT"));
    ALCdevice* dev = open ? open(nullptr) : nullptr;
    if (!dev || !render) {
        state.SkipWithError("no OpenAL loopback device");
        return;
    }
    const ALCint attrs[] = {ALC_FORMAT_CHANNELS_SOFT,
                            ALC_STEREO_SOFT,
                            ALC_FORMAT_TYPE_SOFT,
                            ALC_FLOAT_SOFT,
                            ALC_FREQUENCY,
                            kRate,
                            ALC_HRTF_SOFT,
                            ALC_FALSE,
                            0};
    ALCcontext* ctx = alcCreateContext(dev, attrs);
    alcMakeContextCurrent(ctx);
    // Compare like with like: ask for its cubic resampler when it has one.
    ALint resampler = -1;
    auto getStringi = reinterpret_cast<LPALGETSTRINGISOFT>(alGetProcAddress("alGetStringiSOFT"));
    if (getStringi) {
        const ALint count = alGetInteger(AL_NUM_RESAMPLERS_SOFT);
        for (ALint r = 0; r < count; ++r) {
            const char* name = getStringi(AL_RESAMPLER_NAME_SOFT, r);
            if (name && std::strstr(name, "ubic"))
                resampler = r;
        }
    }
    ALuint src[kVoices], buf[kVoices];
    alGenSources(kVoices, src);
    alGenBuffers(kVoices, buf);
    for (int i = 0; i < kVoices; ++i) {
        const std::string pcm = Pcm(i);
        alBufferData(buf[i], AL_FORMAT_MONO16, pcm.data(), static_cast<ALsizei>(pcm.size()), 22050);
        alSourcei(src[i], AL_BUFFER, static_cast<ALint>(buf[i]));
        alSourcei(src[i], AL_LOOPING, AL_TRUE);
        alSourcei(src[i], AL_SOURCE_RELATIVE, AL_TRUE);
        if (resampler >= 0)
            alSourcei(src[i], AL_SOURCE_RESAMPLER_SOFT, resampler);
        alSourcePlay(src[i]);
    }
    std::vector<float> out(kBlock * 2);
    long n = 0, frames = 0;
    const auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        for (int i = 0; i < kVoices; ++i) {
            const Schedule at = ScheduleAt(n, i);
            const float x = static_cast<float>(at.pan);
            alSource3f(src[i], AL_POSITION, x, 0.0f, -std::sqrt(1.0f - x * x));
            alSourcef(src[i], AL_GAIN, static_cast<float>(std::pow(10.0, at.volumeMb / 2000)));
            alSourcef(src[i], AL_PITCH, static_cast<float>(at.pitch));
        }
        render(dev, out.data(), static_cast<ALCsizei>(kBlock));
        benchmark::DoNotOptimize(out.data());
        ++n;
        frames += kBlock;
    }
    const double ns =
        std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0).count();
    g_dOpenAl = ns / frames;
    state.counters["ns_per_frame"] = g_dOpenAl;
    state.SetLabel(resampler >= 0 ? "cubic" : "default resampler");
    alDeleteSources(kVoices, src);
    alDeleteBuffers(kVoices, buf);
    alcMakeContextCurrent(nullptr);
    alcDestroyContext(ctx);
    alcCloseDevice(dev);
}
#endif

BENCHMARK(BM_OurMixer)->MinTime(1.0);
#ifdef DORUZORO_BENCH_OPENAL
BENCHMARK(BM_OpenAlLoopback)->MinTime(1.0);
#endif

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    if (g_dOurs > 0 && g_dOpenAl > 0) {
        std::printf("32 voices: ours %.1f ns/frame, OpenAL %.1f ns/frame, ratio ours/OpenAL %.2f\n",
                    g_dOurs, g_dOpenAl, g_dOurs / g_dOpenAl);
    }
    return 0;
}
