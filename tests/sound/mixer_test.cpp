// What a player hears, measured on the mixer's offline render.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>

#include "platform/audio.h"
#include "wave_builder.h"

namespace {

constexpr int kRate = 48000;

struct Heard {
    double left = 0, right = 0;
};

std::vector<float> Render(plat::CAudioDevice& dev, size_t frames) {
    std::vector<float> out(frames * 2);
    dev.Render(out.data(), frames);
    return out;
}

Heard Energy(const std::vector<float>& s, size_t from = 0) {
    Heard h;
    for (size_t i = from * 2; i + 1 < s.size(); i += 2) {
        h.left += s[i] * s[i];
        h.right += s[i + 1] * s[i + 1];
    }
    return h;
}

double Db(double a, double b) {
    return 10 * std::log10(a / b);
}

// Upward zero crossings per second of the left channel.
double Pitch(const std::vector<float>& s, size_t from) {
    int n = 0;
    for (size_t i = from * 2 + 2; i < s.size(); i += 2) {
        if (s[i - 2] < 0 && s[i] >= 0)
            ++n;
    }
    return n * static_cast<double>(kRate) / (s.size() / 2 - from);
}

std::unique_ptr<plat::CAudioBuffer> Tone(plat::CAudioDevice& dev, double hz, uint32_t rate,
                                         size_t frames, bool positional = false) {
    const std::string pcm = wavetest::Sine16(hz, rate, frames, 0.25);
    return dev.CreateBuffer(16, rate, reinterpret_cast<const uint8_t*>(pcm.data()), pcm.size(),
                            positional);
}

}  // namespace

TEST(Mixer, PanAndVolumeAttenuateAsSet) {
    auto dev = plat::CAudioDevice::OpenOffline(kRate);
    auto b = Tone(*dev, 1000, 48000, 48000);
    ASSERT_TRUE(b);
    b->Play(true);
    Render(*dev, 2000);
    const Heard centre = Energy(Render(*dev, 4800));
    EXPECT_NEAR(Db(centre.left, centre.right), 0.0, 0.01);

    ASSERT_TRUE(b->SetPan(-10000));
    Render(*dev, 2000);
    const Heard left = Energy(Render(*dev, 4800));
    EXPECT_GT(left.left, 0.0);
    EXPECT_EQ(left.right, 0.0);

    ASSERT_TRUE(b->SetPan(-600));
    Render(*dev, 2000);
    const Heard six = Energy(Render(*dev, 4800));
    EXPECT_NEAR(Db(six.left, six.right), 6.0, 0.05);
    EXPECT_NEAR(Db(centre.left, six.left), 0.0, 0.05);

    ASSERT_TRUE(b->SetPan(0));
    ASSERT_TRUE(b->SetVolume(-2000));
    Render(*dev, 2000);
    const Heard quiet = Energy(Render(*dev, 4800));
    EXPECT_NEAR(Db(centre.left, quiet.left), 20.0, 0.05);
}

TEST(Mixer, OutOfRangeValuesAreRefusedAndTheOldOneStays) {
    auto dev = plat::CAudioDevice::OpenOffline(kRate);
    auto b = Tone(*dev, 1000, 22050, 100);
    ASSERT_TRUE(b);
    EXPECT_FALSE(b->SetVolume(1));
    EXPECT_FALSE(b->SetVolume(-10001));
    EXPECT_FALSE(b->SetPan(10001));
    EXPECT_FALSE(b->SetFrequency(99));
    EXPECT_FALSE(b->SetFrequency(200001));
    EXPECT_TRUE(b->SetFrequency(100));
    EXPECT_EQ(b->GetFrequency(), 100u);
    EXPECT_FALSE(b->SetFrequency(50));
    EXPECT_EQ(b->GetFrequency(), 100u);
    EXPECT_TRUE(b->SetFrequency(0));
    EXPECT_EQ(b->GetFrequency(), 22050u);
    auto p = Tone(*dev, 1000, 22050, 100, true);
    EXPECT_FALSE(p->SetPan(0));  // positional buffers have no pan control
    // Formats the mixer cannot play are refused, not misread.
    const uint8_t bytes[4] = {1, 2, 3, 4};
    EXPECT_FALSE(dev->CreateBuffer(24, 22050, bytes, 4, false));
    EXPECT_FALSE(dev->CreateBuffer(16, 0, bytes, 4, false));
    EXPECT_FALSE(dev->CreateBuffer(8, 22050, bytes, 0, false));
}

TEST(Mixer, DoublingTheRateDoublesThePitch) {
    auto dev = plat::CAudioDevice::OpenOffline(kRate);
    auto b = Tone(*dev, 500, 22050, 22050);
    b->Play(true);
    const double base = Pitch(Render(*dev, 24000), 2400);
    EXPECT_NEAR(base, 500, 5);
    ASSERT_TRUE(b->SetFrequency(44100));
    Render(*dev, 2400);
    EXPECT_NEAR(Pitch(Render(*dev, 24000), 0), 1000, 10);
}

TEST(Mixer, LoopPointIsContinuousAndStopIsQuickAndQuiet) {
    auto dev = plat::CAudioDevice::OpenOffline(kRate);
    // 100 whole cycles, so a seamless loop is a pure tone.
    auto b = Tone(*dev, 480, 48000, 10000);
    b->Play(true);
    const auto out = Render(*dev, 30000);
    float worst = 0;
    for (size_t i = 2 * 2000 + 2; i < out.size(); i += 2) {
        worst = std::max(worst, std::fabs(out[i] - out[i - 2]));
    }
    // A 480 Hz tone at 0.25 moves at most 2*pi*480/48000*0.25 per frame.
    EXPECT_LT(worst, 0.0165f);
    EXPECT_EQ(b->GetStatus(), plat::kAudioPlaying | plat::kAudioLooping);

    b->Stop();
    EXPECT_EQ(b->GetStatus(), 0u);
    const auto tail = Render(*dev, 4800);
    const Heard after = Energy(tail, 480);  // 10 ms on
    EXPECT_LT(after.left, 1e-6);
    float jump = 0;
    for (size_t i = 2; i < 480; i += 2)
        jump = std::max(jump, std::fabs(tail[i] - tail[i - 2]));
    EXPECT_LT(jump, 0.0165f);  // faded, not cut
}

TEST(Mixer, ThirtyLoudSoundsDoNotWrap) {
    auto dev = plat::CAudioDevice::OpenOffline(kRate);
    std::vector<std::unique_ptr<plat::CAudioBuffer>> voices;
    for (int i = 0; i < 30; ++i) {
        const std::string pcm = wavetest::Sine16(200, 48000, 2400, 1.0);
        voices.push_back(dev->CreateBuffer(16, 48000, reinterpret_cast<const uint8_t*>(pcm.data()),
                                           pcm.size(), false));
        voices.back()->Play(true);
    }
    const auto out = Render(*dev, 9600);
    for (float s : out)
        ASSERT_LE(std::fabs(s), 1.0f);
    // Loud, not folded over: the first half-cycle stays positive.
    EXPECT_GT(out[2 * 60], 0.5f);
    EXPECT_TRUE(plat::WriteWav(::testing::TempDir() + "thirty.wav", out, kRate));
}

TEST(Mixer, OnceSoundEndsAndReportsStopped) {
    auto dev = plat::CAudioDevice::OpenOffline(kRate);
    auto b = Tone(*dev, 1000, 48000, 480);
    b->Play(false);
    EXPECT_EQ(b->GetStatus(), plat::kAudioPlaying);
    Render(*dev, 1000);
    EXPECT_EQ(b->GetStatus(), 0u);
    EXPECT_EQ(Energy(Render(*dev, 480)).left, 0.0);
}

TEST(Mixer, RealDeviceWithoutACardPlaysSilently) {
    // SDL's dummy driver stands in for a headless machine.
    auto dev = plat::CAudioDevice::Open();
    ASSERT_TRUE(dev);
    auto b = Tone(*dev, 1000, 22050, 2205);
    ASSERT_TRUE(b);
    b->Play(true);
    EXPECT_EQ(b->GetStatus(), plat::kAudioPlaying | plat::kAudioLooping);
    b->Stop();
    EXPECT_EQ(b->GetStatus(), 0u);
}

// The player's levels scale voices and effects apart, over every device,
// on top of each buffer's own volume, which they leave as it was.
TEST(Mixer, PlayersLevelsScaleVoicesAndEffectsApart) {
    auto dev = plat::CAudioDevice::OpenOffline(kRate);
    auto other = plat::CAudioDevice::OpenOffline(kRate);
    const std::string pcm = wavetest::Sine16(1000, 48000, 48000, 0.25);
    const auto* bytes = reinterpret_cast<const uint8_t*>(pcm.data());
    auto voice = dev->CreateBuffer(16, 48000, bytes, pcm.size(), false, plat::EBus::Voices);
    auto effect = other->CreateBuffer(16, 48000, bytes, pcm.size(), true);
    voice->Play(true);
    effect->Play(true);
    ASSERT_TRUE(voice->SetVolume(-500));
    const auto level = [&](plat::CAudioDevice& d) {
        Render(d, 4800);  // past the smoothing of the change
        return Energy(Render(d, 4800)).left;
    };
    const double voiceFull = level(*dev), effectFull = level(*other);

    plat::SetOutputLevels(-600, 0, -900);
    EXPECT_NEAR(Db(voiceFull, level(*dev)), 6.0, 0.05);
    EXPECT_NEAR(Db(effectFull, level(*other)), 15.0, 0.05);
    plat::SetOutputLevels(0, -1500, 0);
    EXPECT_NEAR(Db(voiceFull, level(*dev)), 15.0, 0.05);
    EXPECT_NEAR(Db(effectFull, level(*other)), 0.0, 0.05);
    plat::SetOutputLevels(-10000, 0, 0);
    EXPECT_EQ(level(*dev), 0.0);
    plat::SetOutputLevels(0, 0, 0);
    EXPECT_NEAR(Db(voiceFull, level(*dev)), 0.0, 0.05);
    // The buffer's own volume is untouched: -500 still refuses nothing.
    EXPECT_FALSE(voice->SetVolume(1));
    EXPECT_TRUE(voice->SetVolume(-500));
}

// A paused device fades out quickly, keeps every sound where it was (a
// sound played once does not run out meanwhile) and goes on from there.
TEST(Mixer, PausedDeviceHoldsItsSoundsAndGoesOnFromThere) {
    auto dev = plat::CAudioDevice::OpenOffline(kRate);
    auto once = Tone(*dev, 1000, 48000, 24000);  // half a second
    once->Play(false);
    const auto before = Render(*dev, 4800);
    dev->SetPaused(true);
    EXPECT_TRUE(dev->Paused());
    const auto fade = Render(*dev, 4800);
    EXPECT_GT(Energy(fade).left, 0.0);        // faded, not cut
    EXPECT_LT(Energy(fade, 480).left, 1e-9);  // silent after 10 ms
    for (int i = 0; i < 20; ++i)              // two seconds paused
        EXPECT_EQ(Energy(Render(*dev, 4800)).left, 0.0);
    EXPECT_EQ(once->GetStatus(), plat::kAudioPlaying);

    dev->SetPaused(false);
    EXPECT_FALSE(dev->Paused());
    const auto after = Render(*dev, 24000);
    // About 0.4 s of the sound was left: it plays out, then ends.
    EXPECT_GT(Energy(after, 4800).left, 0.3 * Energy(before).left);
    EXPECT_EQ(Energy(after, 19200).left, 0.0);
    EXPECT_EQ(once->GetStatus(), 0u);
}
