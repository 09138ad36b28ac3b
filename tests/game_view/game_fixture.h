// A game scene on a headless window, started from pictures and sounds that
// the test writes into its own base path, with the clock under its control.
#pragma once
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "../sound/wave_builder.h"
#include "game/SceenGame.h"
#include "platform/audio.h"
#include "platform/fake_clock.h"
#include "platform/msgbox.h"
#include "platform/window.h"

namespace gameview {

constexpr plat::COLORREF kBlack = plat::RGB(0, 0, 0);
constexpr plat::COLORREF kGreen = plat::RGB(0, 255, 0);
constexpr plat::COLORREF kCyan = plat::RGB(0, 255, 255);
constexpr plat::COLORREF kBlue = plat::RGB(0, 0, 255);
constexpr plat::COLORREF kOrange = plat::RGB(255, 128, 0);
constexpr plat::COLORREF kRed = plat::RGB(255, 0, 0);
constexpr plat::COLORREF kYellow = plat::RGB(255, 255, 0);
constexpr plat::COLORREF kPink = plat::RGB(255, 200, 200);

// The main window's client size: 732 x 570.
class CHostWnd : public plat::CDialog {
public:
    CHostWnd() : plat::CDialog("DoruzorO", 488, 351) {}
};

// A picture of the given size: black with one coloured rectangle.
inline void WritePicture(const std::string& file, int cx, int cy, const plat::RECT& part,
                         plat::COLORREF colour) {
    plat::CSurface art(cx, cy);
    {
        plat::CDC dc(art);
        const plat::CBrush brush(colour);
        dc.FillRect(part, &brush);
    }
    ASSERT_TRUE(art.WritePng(file));
}

class GameFixture : public ::testing::Test {
protected:
    explicit GameFixture(uint32_t dwClockStart = 100000) : m_clock(dwClockStart) {}

    void SetUp() override {
        plat::SetAudioOffline(48000);
        plat::SetMessageBoxHandler(
            [this](const std::string& t, const std::string&) { m_arrMessages.push_back(t); });
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_strBase =
            ::testing::TempDir() + "game_view_" + info->test_suite_name() + "_" + info->name();
        std::filesystem::remove_all(m_strBase);
        std::filesystem::create_directories(m_strBase + "/image");
        std::filesystem::create_directories(m_strBase + "/sound/text");
    }

    void TearDown() override {
        m_pGame.reset();
        plat::SetMessageBoxHandler({});
        std::filesystem::remove_all(m_strBase);
    }

    // UFO 40 x 20 green inside, fighter 30 x 20 cyan inside, missile 10 x 20
    // blue inside, explosion 50 x 50 orange but for a black top-left quarter.
    void WritePictures() {
        const std::string dir = m_strBase + "/image/";
        WritePicture(dir + "UFO.kpg", 40, 20, {10, 5, 30, 15}, kGreen);
        WritePicture(dir + "Fighter.kpg", 30, 20, {5, 5, 25, 15}, kCyan);
        WritePicture(dir + "misile.kpg", 10, 20, {3, 3, 7, 17}, kBlue);
        plat::CSurface art(50, 50);
        {
            plat::CDC dc(art);
            const plat::CBrush orange(kOrange);
            dc.FillRect({0, 25, 50, 50}, &orange);
            dc.FillRect({25, 0, 50, 25}, &orange);
        }
        ASSERT_TRUE(art.WritePng(dir + "Explosion.kpg"));
    }

    // The thirteen tutorial clips, each a short tone of its own pitch.
    void WriteTutorialClips() {
        for (int k = 1; k <= 13; ++k) {
            std::ofstream(m_strBase + "/sound/text/" + std::to_string(k) + ".kwv", std::ios::binary)
                << wavetest::ToneFile(200.0 + 50 * k, 8000, 800);
        }
    }

    CSceenGame& StartGame(int nMode) {
        m_pGame = std::make_unique<CSceenGame>();
        m_pGame->m_nMode = nMode;
        m_pGame->Start(&m_host, m_strBase);
        return *m_pGame;
    }

    const plat::CSurface& Screen() const { return m_host.GetSurface(); }

    plat::CFakeClock m_clock;
    plat::CClockGuard m_guard{m_clock};
    CHostWnd m_host;
    std::string m_strBase;
    std::vector<std::string> m_arrMessages;
    std::unique_ptr<CSceenGame> m_pGame;
};

}  // namespace gameview
