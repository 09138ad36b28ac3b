// A game scene on a headless window, a fake clock, a fixed random seed and
// the offline mixer, with helpers to write the sounds and pictures a test
// needs under its own base path and to put objects on the field.
#pragma once
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "game/SceenGame.h"
#include "platform/audio.h"
#include "platform/fake_clock.h"
#include "platform/gfx.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/random.h"
#include "platform/window.h"
#include "sound/SoundPlay.h"
#include "sound/SoundVolume.h"
#include "wave_builder.h"

namespace gametest {

constexpr int kRate = 48000;
constexpr int kFieldCx = 700;
constexpr int kFieldCy = 600;
// Picture sizes the fixture writes.
constexpr int kUfoCx = 40, kUfoCy = 20;
constexpr int kFighterCx = 40, kFighterCy = 30;
constexpr int kMissileCx = 10, kMissileCy = 20;
constexpr int kExplosionCx = 50, kExplosionCy = 50;

class CTestWnd : public plat::CWnd {
public:
    CTestWnd(int cx, int cy) : CWnd(cx, cy) {}
    void OnPaint() override { ++m_nPaints; }
    int m_nPaints = 0;
};

class GameFixture : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetAudioOffline(kRate);
        plat::SetMessageBoxHandler(
            [this](const std::string& text, const std::string&) { m_arrMessages.push_back(text); });
        plat::Srand(20261207);
        for (auto& v : g_soundVolume.m_nCurrent)
            v = 0;
        // The process's first rate change takes the buffer's own rate; set
        // here so that every test sees its arguments applied.
        g_dwFirstFrequency = 1;
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_strBase =
            ::testing::TempDir() + "doruzoro_game_" + info->test_suite_name() + "_" + info->name();
        std::filesystem::remove_all(m_strBase);
        std::filesystem::create_directories(m_strBase);
    }

    void TearDown() override {
        m_pGame.reset();
        plat::SetMessageBoxHandler({});
        std::filesystem::remove_all(m_strBase);
    }

    // rel in the system's form, e.g. "\\sound\\ufo1.kwv".
    void WriteFile(const std::string& rel, const std::string& bytes) {
        const std::string path = plat::ToFsPath(m_strBase + rel);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << bytes;
    }
    // A second of tone; looping sounds loop it.
    void WriteTone(const std::string& rel, double hz = 440) {
        WriteFile(rel, wavetest::ToneFile(hz, 22050, 22050));
    }
    void WritePicture(const std::string& rel, int cx, int cy) {
        plat::CSurface picture(cx, cy);
        const std::string path = plat::ToFsPath(m_strBase + rel);
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        ASSERT_TRUE(picture.WritePng(path));
    }
    void WritePictures() {
        WritePicture("\\image\\UFO.kpg", kUfoCx, kUfoCy);
        WritePicture("\\image\\Fighter.kpg", kFighterCx, kFighterCy);
        WritePicture("\\image\\misile.kpg", kMissileCx, kMissileCy);
        WritePicture("\\image\\Explosion.kpg", kExplosionCx, kExplosionCy);
    }
    // The object sounds and the number voices 1 to 5.
    void WriteObjectSounds() {
        WriteTone("\\sound\\ufo1.kwv", 440);
        WriteTone("\\sound\\exprosion.kwv", 200);
        WriteTone("\\sound\\exprosion2.kwv", 150);
        WriteTone("\\sound\\misile.kwv", 600);
        WriteTone("\\sound\\pinch.kwv", 900);
        WriteTone("\\sound\\kabe.kwv", 300);
        WriteTone("\\sound\\Lazer1.kwv", 1200);
        WriteTone("\\sound\\Lazer2.kwv", 1300);
        WriteTone("\\sound\\LazerNone.kwv", 100);
        WriteTone("\\sound\\baria.kwv", 250);
        WriteTone("\\sound\\barianon.kwv", 120);
        for (int n = 1; n <= 5; ++n)
            WriteTone("\\sound\\no\\" + std::to_string(n) + ".kwv", 500 + n);
    }

    // A normal game in stage 1 play, with the test's pictures and sounds.
    void StartInPlay() {
        WritePictures();
        WriteObjectSounds();
        StartGame();
        EnterPlay();
    }
    void StartGame(int nMode = 2) {
        m_pGame = std::make_unique<CSceenGame>();
        m_pGame->m_nMode = nMode;
        m_pGame->Start(&m_wnd, m_strBase);
    }

    // Play of a stage from its first UFO, set up here so that tests of the
    // tick do not depend on the announcements.
    void EnterPlay(int nStage = 1, int nState = GS_PLAY) {
        CSceenGame& g = *m_pGame;
        g.Stop();
        g.m_nStage = nStage;
        g.m_nState = nState;
        g.m_nUfoQuota = 3 * nStage;
        g.m_nUfoSpawned = 0;
        g.m_bAllSpawned = 0;
        g.m_dwNextSpawn = 0;
        g.m_dwSpawnInterval = SpawnIntervalForStage(nStage);
        g.m_strBanner.clear();
        PlaceFighter(kFieldCx / 2 - kFighterCx / 2);
    }
    void PlaceFighter(int x) {
        CFighter& f = m_pGame->m_fighter;
        f.nState = OS_ALIVE;
        f.nFrame = 0;
        f.nSpeed = 1;
        f.cx = m_pGame->m_imgFighter.GetWidth();
        f.cy = m_pGame->m_imgFighter.GetHeight();
        f.x = x;
        f.y = f.cyClient - f.cy - kFighterBottomGap;
        if (f.nSoundCount == 0) {
            f.idExplosion = f.AddSound("\\sound\\exprosion2");
            f.idWall = f.AddSound("\\sound\\kabe");
        }
    }
    // A UFO through the game's own spawn, then put where the test wants it.
    CUfo& AddUfo(int x, int y, int bLeftward = 0) {
        m_pGame->SpawnUfo();
        CUfo& ufo = *m_pGame->m_arrUfos.back();
        ufo.x = x;
        ufo.y = y;
        ufo.bLeftward = bLeftward;
        return ufo;
    }
    CMissile& AddMissile(int x, int y) {
        m_pGame->FireMissile(x + kMissileCx / 2, y);
        return *m_pGame->m_arrMissiles.back();
    }
    int FighterCentre() const { return m_pGame->m_fighter.Centre(); }

    void TickOnce(uint32_t ms = 100) {
        m_clock.Advance(ms);
        m_pGame->Tick();
    }
    void Ticks(int n) {
        for (int i = 0; i < n; ++i)
            TickOnce();
    }

    static bool IsPlaying(const CSoundPlay& play, int id) {
        return play.m_pBuffer[id] && (play.m_pBuffer[id]->GetStatus() & plat::kAudioPlaying);
    }
    static std::vector<float> Render(size_t frames) {
        std::vector<float> out(frames * 2);
        if (g_pDirectSound[1])
            g_pDirectSound[1]->Render(out.data(), frames);
        return out;
    }
    static double Energy(const std::vector<float>& stereo, int channel) {
        double e = 0;
        for (size_t i = static_cast<size_t>(channel); i < stereo.size(); i += 2)
            e += static_cast<double>(stereo[i]) * stereo[i];
        return e;
    }

    plat::CFakeClock m_clock;
    plat::CClockGuard m_clockGuard{m_clock};
    CTestWnd m_wnd{kFieldCx, kFieldCy};
    std::string m_strBase;
    std::unique_ptr<CSceenGame> m_pGame;
    std::vector<std::string> m_arrMessages;
};

}  // namespace gametest
