// The spoken menu on a headless window, with its voices written by the test.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "menu/SceenMenu.h"
#include "menu_voices.h"
#include "platform/audio.h"
#include "platform/fake_clock.h"
#include "platform/keys.h"
#include "platform/msgbox.h"
#include "platform/window.h"
#include "sound/SoundVolume.h"

namespace {

class MenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetAudioOffline(48000);
        plat::SetMessageBoxHandler([this](const std::string&, const std::string&) { ++m_nMsgs; });
        m_strBase = ::testing::TempDir() + "menu_" +
                    ::testing::UnitTest::GetInstance()->current_test_info()->name();
        std::filesystem::remove_all(m_strBase);
        std::filesystem::create_directories(m_strBase + "/sound/menu");
    }
    void TearDown() override {
        m_pMenu.reset();
        for (auto& v : g_soundVolume.m_nCurrent)
            v = 0;
        plat::SetMessageBoxHandler({});
        std::filesystem::remove_all(m_strBase);
    }

    void WriteVoices() { menutest::WriteVoices(m_strBase); }
    void StartMenu() {
        m_pMenu = std::make_unique<CSceenMenu>();
        m_pMenu->Start(&m_wnd, m_strBase);
    }
    bool Playing(int id) const {
        const auto& p = m_pMenu->m_soundPlay.m_pBuffer[id];
        return p && (p->GetStatus() & plat::kAudioPlaying);
    }
    // Ids of the sounds now playing.
    std::vector<int> PlayingIds() const {
        std::vector<int> ids;
        for (int id = 0; id <= CSceenMenu::kTuneId; ++id) {
            if (Playing(id)) {
                ids.push_back(id);
            }
        }
        return ids;
    }
    // Energy of the next 2048 frames of the menu's device.
    static double HeardEnergy() {
        std::vector<float> out(2 * 2048);
        g_pDirectSound[0]->Render(out.data(), 2048);
        double e = 0;
        for (float v : out)
            e += v * v;
        return e;
    }
    void TickFor(uint32_t ms) {
        for (uint32_t t = 0; t < ms; t += 100) {
            m_clock.Advance(100);
            m_pMenu->Tick();
        }
    }

    plat::CFakeClock m_clock;
    plat::CClockGuard m_guard{m_clock};
    menutest::CHostWnd m_wnd;
    std::string m_strBase;
    std::unique_ptr<CSceenMenu> m_pMenu;
    int m_nMsgs = 0;
};

}  // namespace

TEST_F(MenuTest, TitleAfterItsPauseThenTheTuneLoopsOnce) {
    WriteVoices();
    StartMenu();
    EXPECT_EQ(m_clock.Slept(), 500u);
    EXPECT_EQ(PlayingIds(), std::vector<int>{CSceenMenu::kTitleId});
    TickFor(1500);  // exactly 1.5 s is not yet "more than"
    EXPECT_FALSE(Playing(CSceenMenu::kTuneId));
    TickFor(100);
    ASSERT_TRUE(Playing(CSceenMenu::kTuneId));
    EXPECT_TRUE(m_pMenu->m_soundPlay.m_pBuffer[CSceenMenu::kTuneId]->GetStatus() &
                plat::kAudioLooping);
    EXPECT_EQ(m_pMenu->m_dwMusicTime, 0u);
    EXPECT_EQ(m_nMsgs, 0);
}

TEST_F(MenuTest, CursorStopsAtBothEndsAndEveryKeySpeaksTheEntryReached) {
    WriteVoices();
    StartMenu();
    m_pMenu->OnKeyUp(plat::VK_UP);
    EXPECT_EQ(m_pMenu->m_nCursor, 0);
    EXPECT_TRUE(Playing(1));
    for (int i = 0; i < 10; ++i) {
        m_pMenu->OnKeyUp(plat::VK_DOWN);
    }
    EXPECT_EQ(m_pMenu->m_nCursor, 6);
    EXPECT_TRUE(Playing(7));
    m_pMenu->OnKeyUp(plat::VK_UP);
    EXPECT_EQ(m_pMenu->m_nCursor, 5);
    EXPECT_TRUE(Playing(6));
    m_pMenu->OnKeyUp('A');  // any other key repeats where the cursor is
    EXPECT_EQ(m_pMenu->m_nCursor, 5);
    EXPECT_EQ(m_pMenu->m_nResult, -1);
}

TEST_F(MenuTest, SpaceAndEnterLeaveTheCursorAsResult) {
    StartMenu();  // no sound files at all: the menu still works
    m_pMenu->OnKeyUp(plat::VK_DOWN);
    m_pMenu->OnKeyUp(plat::VK_SPACE);
    EXPECT_EQ(m_pMenu->m_nResult, 1);
    m_pMenu->OnKeyUp(plat::VK_DOWN);
    m_pMenu->OnKeyUp(plat::VK_RETURN);  // overwrites a result not yet read
    EXPECT_EQ(m_pMenu->m_nResult, 2);
    TickFor(3000);
}

TEST_F(MenuTest, ClosingTheMenuSilencesTheTune) {
    WriteVoices();
    StartMenu();
    TickFor(2000);
    ASSERT_TRUE(Playing(CSceenMenu::kTuneId));
    m_pMenu.reset();
    std::vector<float> out(2 * 4800);
    g_pDirectSound[0]->Render(out.data(), 4800);
    for (float v : out) {
        ASSERT_EQ(v, 0.0f);
    }
}

TEST_F(MenuTest, VoicesAreHeardWhateverAGameLeftForTheirIds) {
    WriteVoices();
    // A far UFO's hum and a missile's flight and warning leave ids 0 to 2
    // nearly silent in the volume memory every player shares.
    for (int id = 0; id <= 2; ++id)
        g_soundVolume.m_nCurrent[id] = -9600;
    StartMenu();
    EXPECT_GT(HeardEnergy(), 1.0);  // the title; at -96 dB it would be about 1e-9
    m_pMenu->m_soundPlay.Stop(CSceenMenu::kTitleId);
    m_pMenu->OnKeyUp(plat::VK_UP);  // "Tutorial"
    EXPECT_GT(HeardEnergy(), 1.0);
    m_pMenu->m_soundPlay.Stop(1);
    m_pMenu->OnKeyUp(plat::VK_DOWN);  // "Game"
    EXPECT_GT(HeardEnergy(), 1.0);
}

TEST_F(MenuTest, EntriesDrawnWithTheCurrentOneInYellow) {
    StartMenu();
    m_pMenu->OnKeyUp(plat::VK_DOWN);
    m_pMenu->Draw();
    const plat::CSurface& s = m_wnd.GetSurface();
    auto count = [&](int y0, plat::COLORREF c) {
        int n = 0;
        for (int y = y0; y < y0 + 60; ++y) {
            for (int x = 0; x < 400; ++x) {
                n += s.GetPixel(x, y) == c;
            }
        }
        return n;
    };
    EXPECT_GT(count(10, plat::RGB(255, 255, 255)), 50);  // "Tutorial"
    EXPECT_EQ(count(10, plat::RGB(255, 255, 0)), 0);
    EXPECT_GT(count(90, plat::RGB(255, 255, 0)), 50);  // "Game", current
    EXPECT_EQ(s.GetPixel(700, 550), plat::RGB(0, 0, 0));
}
