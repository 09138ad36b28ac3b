// The sound player through the real file reader and the offline mixer.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "platform/msgbox.h"
#include "platform/paths.h"
#include "sound/SoundPlay.h"
#include "wave_builder.h"

namespace {

struct Message {
    std::string text, caption;
};

class SoundPlayTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetAudioOffline(48000);
        plat::SetMessageBoxHandler([this](const std::string& t, const std::string& c) {
            m_arrMsg.push_back({t, c});
        });
        m_strDir = ::testing::TempDir();
        for (auto& v : g_soundVolume.m_nCurrent)
            v = 0;
    }
    void TearDown() override { plat::SetMessageBoxHandler({}); }

    // A path in the system's own form: base + "\sound\..." .
    std::string Write(const std::string& name, const std::string& bytes) {
        std::ofstream(m_strDir + name, std::ios::binary) << bytes;
        return m_strDir + "\\" + name;
    }

    static plat::CWnd* Wnd() {
        static int dummy;
        return reinterpret_cast<plat::CWnd*>(&dummy);
    }

    std::vector<float> Render(int kind, size_t frames) {
        std::vector<float> out(frames * 2);
        g_pDirectSound[kind]->Render(out.data(), frames);
        return out;
    }

    std::vector<Message> m_arrMsg;
    std::string m_strDir;
};

double Energy(const std::vector<float>& s, int ch) {
    double e = 0;
    for (size_t i = ch; i < s.size(); i += 2)
        e += s[i] * s[i];
    return e;
}

}  // namespace

TEST_F(SoundPlayTest, UnregisteredOrOutOfRangeIdsPlayNothing) {
    CSoundPlay play;
    play.m_nDeviceKind = 1;
    EXPECT_FALSE(play.Play(0, 0));  // no device yet
    EXPECT_TRUE(play.CreateDevice(nullptr));
    EXPECT_TRUE(play.CreateDevice(Wnd()));
    EXPECT_FALSE(play.Play(3, 0));
    EXPECT_FALSE(play.Play(-1, 0));
    EXPECT_FALSE(play.Play(400, 0));
    play.SetVolume(400, -100);
    play.SetPan(-5, 0);
    play.Stop(1000);
    EXPECT_TRUE(m_arrMsg.empty());
}

TEST_F(SoundPlayTest, PannedSoundLoadsAtFirstPlayAndFollowsPanAndVolume) {
    CSoundPlay play;
    play.m_nDeviceKind = 1;
    ASSERT_TRUE(play.CreateDevice(Wnd()));
    play.AddFile(Write("tone.kwv", wavetest::ToneFile(1000, 48000, 48000)), 0);
    play.AddFile(Write("other.kwv", wavetest::ToneFile(300, 48000, 480)), 0);  // first one wins
    play.SetVolume(0, -3000);  // before the first play: no effect, nothing remembered
    EXPECT_EQ(g_soundVolume.m_nCurrent[0], 0);
    EXPECT_EQ(play.m_pBuffer[0], nullptr);
    ASSERT_TRUE(play.Play(0, kPlayLooping));
    ASSERT_NE(play.m_pBuffer[0], nullptr);
    EXPECT_EQ(play.m_pBuffer[0]->GetFrequency(), 48000u);
    play.SetPan(0, 10000);
    Render(1, 4800);
    auto out = Render(1, 4800);
    EXPECT_EQ(Energy(out, 0), 0.0);
    EXPECT_GT(Energy(out, 1), 100.0);  // the 1000 Hz tone, not the short one
    play.SetVolume(0, -2000);
    EXPECT_EQ(g_soundVolume.m_nCurrent[0], -2000);
    EXPECT_TRUE(m_arrMsg.empty());
}

TEST_F(SoundPlayTest, RememberedVolumeCarriesToAnotherPlayer) {
    const std::string path = Write("v.kwv", wavetest::ToneFile(1000, 22050, 2205));
    CSoundPlay a, b;
    a.m_nDeviceKind = b.m_nDeviceKind = 1;
    ASSERT_TRUE(a.CreateDevice(Wnd()));
    a.AddFile(path, 3);
    b.AddFile(path, 3);
    a.AddFile(path, 150);
    ASSERT_TRUE(a.Play(3, 0));
    a.SetVolume(3, -2000);
    ASSERT_TRUE(b.Play(3, 0));
    EXPECT_EQ(g_soundVolume.m_nCurrent[3], -2000);
    ASSERT_TRUE(a.Play(150, 0));  // ids above 100 play, with no memory
    a.SetVolume(150, -500);
}

TEST_F(SoundPlayTest, FirstFrequencyCallUsesTheBuffersOwnRateTimesOnePointOne) {
    CSoundPlay play;
    play.m_nDeviceKind = 1;
    ASSERT_TRUE(play.CreateDevice(Wnd()));
    play.AddFile(Write("f.kwv", wavetest::ToneFile(1000, 22050, 100)), 0);
    ASSERT_TRUE(play.Play(0, 0));
    g_dwFirstFrequency = 0;
    play.SetFrequency(0, 5000);
    EXPECT_EQ(g_dwFirstFrequency, 22050u);
    EXPECT_EQ(play.m_pBuffer[0]->GetFrequency(), 24255u);
    play.SetFrequency(0, 90);  // 99 Hz: refused, the old rate stays
    EXPECT_EQ(play.m_pBuffer[0]->GetFrequency(), 24255u);
    play.SetFrequency(0, 91);
    EXPECT_EQ(play.m_pBuffer[0]->GetFrequency(), 100u);
    play.SetFrequency(0, 0);
    EXPECT_EQ(play.m_pBuffer[0]->GetFrequency(), 22050u);
}

TEST_F(SoundPlayTest, PositionalSoundIsCentredAndDestructionStopsIt) {
    {
        CSoundPlay play;
        ASSERT_TRUE(play.CreateDevice(Wnd()));
        play.AddFile(Write("m.kwv", wavetest::ToneFile(1000, 48000, 4800)), 2);
        ASSERT_TRUE(play.Play(2, kPlayLooping));
        ASSERT_EQ(play.m_p3DBuffer[2], play.m_pBuffer[2].get());
        play.SetPan(2, -10000);  // refused on positional sounds
        Render(0, 2400);
        auto out = Render(0, 4800);
        EXPECT_NEAR(Energy(out, 0), Energy(out, 1), 1e-6);
        EXPECT_GT(Energy(out, 0), 100.0);
    }
    EXPECT_EQ(Energy(Render(0, 4800), 0), 0.0);
}

TEST_F(SoundPlayTest, BadFileShowsItsMessageAtEveryPlay) {
    CSoundPlay play;
    play.m_nDeviceKind = 1;
    ASSERT_TRUE(play.CreateDevice(Wnd()));
    play.AddFile(Write("bad.kwv", "ID3\x03 an mp3 in disguise"), 0);
    play.AddFile(m_strDir + "\\missing.kwv", 1);
    EXPECT_FALSE(play.Play(0, 0));
    EXPECT_FALSE(play.Play(0, 0));
    ASSERT_EQ(m_arrMsg.size(), 2u);
    EXPECT_EQ(m_arrMsg[0].text, "これはWAVファイルではありません");
    EXPECT_EQ(m_arrMsg[0].caption, " lol ");
    EXPECT_FALSE(play.Play(1, 0));
    EXPECT_EQ(m_arrMsg.size(), 2u);
}

TEST_F(SoundPlayTest, LowerCaseOnlyFileExistsButDoesNotOpen) {
    Write("lower.kwv", wavetest::ToneFile(1000, 8000, 80));
    EXPECT_TRUE(SoundFileExists(m_strDir + "\\lower.kwv"));
    CSoundPlay play;
    play.m_nDeviceKind = 1;
    ASSERT_TRUE(play.CreateDevice(Wnd()));
    play.AddFile(m_strDir + "\\LOWER.kwv", 0);
    if (plat::FileExists(m_strDir + "\\LOWER.kwv")) {
        // A file system that ignores case (Windows) opens it as named.
        EXPECT_TRUE(play.Play(0, 0));
    } else if (SoundFileExists(m_strDir + "\\LOWER.kwv")) {
        // Only meaningful when the temp folder itself is all lower case.
        EXPECT_FALSE(play.Play(0, 0));
    }
    EXPECT_TRUE(m_arrMsg.empty());
}

// Spoken clips follow the voices' level, by the folder they live in.
TEST(SoundBus, SpokenFoldersFollowTheVoicesLevel) {
    using plat::EBus;
    for (const char* voice :
         {"/games/dz\\sound\\voice\\GameOver.kwv", "C:\\dz\\sound\\no\\15.kwv",
          "/dz\\sound\\stage\\3.kwv", "/dz\\sound\\text\\1.kwv", "/dz\\sound\\menu\\Title.kwv",
          "/dz\\sound\\volume\\7.kwv", "/dz\\sound\\balance\\even.kwv", "sound\\voice\\Pause.kwv"})
        EXPECT_EQ(BusOfPath(voice), EBus::Voices) << voice;
    for (const char* effect :
         {"/dz\\sound\\ufo1.kwv", "/dz\\sound\\opning.kwv", "/home/sound/voice\\sound\\kabe.kwv",
          "/dz\\image\\voice\\x.kwv", "voice\\x.kwv", "x.kwv", "", "\\", "\\\\\\"})
        EXPECT_EQ(BusOfPath(effect), EBus::Effects) << effect;
}
