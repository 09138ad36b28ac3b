// The scene host driven with stand-in scenes through their result codes.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <vector>

#include "app/DoruzorODlg.h"
#include "platform/audio.h"
#include "platform/fake_clock.h"
#include "platform/keys.h"
#include "platform/mixer.h"
#include "platform/msgbox.h"
#include "platform/profile.h"
#include "sound/SoundPlay.h"

namespace {

// What the stand-in scenes saw, shared by every scene a test creates.
struct Journal {
    std::vector<std::string> events;
    std::vector<uint32_t> arrTickTimes;
    int nMenusAlive = 0;
    int nGamesAlive = 0;
};

class CFakeMenu : public CSceenMenu {
public:
    explicit CFakeMenu(Journal& j) : m_j(j) { ++m_j.nMenusAlive; }
    ~CFakeMenu() override { --m_j.nMenusAlive; }
    void Start(plat::CWnd* pHost, const std::string& base) override {
        m_pHost = pHost;
        m_pFont = std::make_unique<plat::CFont>();
        m_j.events.push_back("menu start " + base);
    }
    void Tick() override { m_j.events.push_back("menu tick"); }
    void Draw() override { m_j.events.push_back("menu draw"); }
    void OnKeyUp(unsigned key) override { m_j.events.push_back("menu up " + std::to_string(key)); }

private:
    Journal& m_j;
};

class CFakeGame : public CSceenGame {
public:
    explicit CFakeGame(Journal& j) : m_j(j) { ++m_j.nGamesAlive; }
    ~CFakeGame() override { --m_j.nGamesAlive; }
    void Start(plat::CWnd*, const std::string&) override {
        m_j.events.push_back("game start mode " + std::to_string(m_nMode));
    }
    // The counter as the game reads it.
    void Tick() override {
        m_j.events.push_back("game tick");
        m_j.arrTickTimes.push_back(plat::GetTickCount());
    }
    void Draw() override { m_j.events.push_back("game draw"); }
    void OnKeyUp(unsigned key) override { m_j.events.push_back("game up " + std::to_string(key)); }
    void OnKeyDown(unsigned key) override {
        m_j.events.push_back("game down " + std::to_string(key));
    }
    void PreTranslateKey(unsigned key) override {
        m_j.events.push_back("game pre " + std::to_string(key));
    }
    void Stop() override { m_j.events.push_back("game stop"); }

private:
    Journal& m_j;
};

class CTestHost : public CDoruzorODlg {
public:
    explicit CTestHost(Journal& j) : m_j(j) {
        SetSceenFactories([&j] { return std::make_unique<CFakeMenu>(j); },
                          [&j] { return std::make_unique<CFakeGame>(j); });
    }
    void OpenResultPage(int nData) override {
        m_j.events.push_back("page " + std::to_string(nData));
    }
    int LaunchUpdater(const std::string& a, const std::string& b, const std::string& c) override {
        m_j.events.push_back("update " + a + " " + b + " " + c);
        return 1;
    }
    void OfferRegistration() override {
        m_j.events.push_back("register mode " + std::to_string(m_pGame->m_nMode) + " score " +
                             std::to_string(m_pGame->m_nScore));
        if (m_fnDuringRegistration) {
            m_fnDuringRegistration();
        }
        // The registration reads the game again after its dialog closes.
        m_j.events.push_back("register done score " + std::to_string(m_pGame->m_nScore));
    }
    std::function<void()> m_fnDuringRegistration;

private:
    Journal& m_j;
};

class HostTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetAppName("host_test");
        m_host.OnInitDialog();
        m_j.events.clear();
    }
    void TearDown() override { m_host.DestroyWindow(); }

    CSceenMenu& Menu() { return *m_host.m_pMenu; }
    CSceenGame& Game() { return *m_host.m_pGame; }
    bool Saw(const std::string& e) const {
        return std::find(m_j.events.begin(), m_j.events.end(), e) != m_j.events.end();
    }
    int Count(const std::string& e) const {
        return static_cast<int>(std::count(m_j.events.begin(), m_j.events.end(), e));
    }

    Journal m_j;
    CTestHost m_host{m_j};
};

TEST_F(HostTest, StartsOnTheMenuWithTheBasePath) {
    EXPECT_EQ(m_host.m_nSceenKind, 1);
    EXPECT_EQ(m_j.nMenusAlive, 1);
    EXPECT_EQ(m_j.nGamesAlive, 0);
    EXPECT_FALSE(m_host.m_strBasePath.empty());
    EXPECT_NE(m_host.m_strBasePath.back(), '/');
}

TEST_F(HostTest, MenuChoicesOpenTheGameInTheRightMode) {
    Menu().m_nResult = 0;
    m_host.OnTimer(1);
    EXPECT_EQ(m_host.m_nSceenKind, 2);
    EXPECT_EQ(m_j.nMenusAlive, 0);
    EXPECT_TRUE(Saw("game start mode 1"));

    Game().m_nResult = 0;  // a finished game returns to the menu
    m_host.OnTimer(1);
    EXPECT_EQ(m_host.m_nSceenKind, 1);
    EXPECT_TRUE(Saw("game stop"));
    EXPECT_EQ(m_j.nGamesAlive, 0);

    Menu().m_nResult = 1;
    m_host.OnTimer(1);
    EXPECT_TRUE(Saw("game start mode 2"));
}

TEST_F(HostTest, ResultPagesKeepTheMenuAndActOnce) {
    CSceenMenu* const before = m_host.m_pMenu.get();
    for (int code : {2, 3, 4}) {
        Menu().m_nResult = code;
        m_host.OnTimer(1);
        EXPECT_EQ(Menu().m_nResult, -1);
        m_host.OnTimer(1);  // a result is acted on exactly once
    }
    EXPECT_EQ(m_host.m_pMenu.get(), before);
    EXPECT_EQ(Count("page 1"), 1);
    EXPECT_EQ(Count("page 0"), 1);
    EXPECT_EQ(Count("page 2"), 1);
}

TEST_F(HostTest, UpdateAndEnd) {
    Menu().m_nResult = 5;
    m_host.OnTimer(1);
    EXPECT_TRUE(Saw("update doruzoro doruzoro doruzoro"));
    EXPECT_FALSE(m_host.IsModalLoopEnded());

    Menu().m_nResult = 6;
    m_host.OnTimer(1);
    EXPECT_TRUE(m_host.IsModalLoopEnded());
}

TEST_F(HostTest, UnknownCodesAndOtherTimersTouchNothing) {
    Menu().m_nResult = 7;
    m_host.OnTimer(1);
    EXPECT_EQ(m_host.m_nSceenKind, 1);
    m_j.events.clear();
    m_host.OnTimer(2);
    EXPECT_TRUE(m_j.events.empty());

    Menu().m_nResult = 1;
    m_host.OnTimer(1);
    Game().m_nResult = -5;
    m_host.OnTimer(1);
    EXPECT_EQ(m_host.m_nSceenKind, 2);
    Game().m_nResult = 9;  // any other code of 0 or above goes back
    m_host.OnTimer(1);
    EXPECT_EQ(m_host.m_nSceenKind, 1);
}

TEST_F(HostTest, RegistrationReadsTheGameAndNestedTicksLeaveItAlone) {
    Menu().m_nResult = 1;
    m_host.OnTimer(1);
    Game().m_nScore = 150;
    Game().m_nResult = 2;
    // A tick arrives while the registration's dialog runs, and a result is
    // left during it: the game must survive until the registration is done.
    m_host.m_fnDuringRegistration = [this] {
        m_host.m_pGame->m_nResult = 0;
        m_host.OnTimer(1);
        m_host.OnTimer(1);
    };
    m_host.OnTimer(1);
    EXPECT_TRUE(Saw("register mode 2 score 150"));
    EXPECT_TRUE(Saw("register done score 150"));
    EXPECT_EQ(m_host.m_nSceenKind, 1);
    EXPECT_EQ(m_j.nGamesAlive, 0);
    EXPECT_EQ(m_j.nMenusAlive, 1);
    EXPECT_EQ(Count("game stop"), 1);
}

TEST_F(HostTest, EscapeAndEnterNeverCloseTheWindow) {
    for (unsigned vk : {plat::VK_ESCAPE, plat::VK_RETURN}) {
        m_host.DeliverKey(plat::WM_KEYDOWN, vk);
        m_host.DeliverKey(plat::WM_KEYUP, vk);
    }
    EXPECT_FALSE(m_host.IsModalLoopEnded());
    EXPECT_TRUE(Saw("menu up 27"));
    EXPECT_TRUE(Saw("menu up 13"));

    Menu().m_nResult = 1;
    m_host.OnTimer(1);
    m_host.DeliverKey(plat::WM_KEYDOWN, plat::VK_ESCAPE);
    m_host.DeliverKey(plat::WM_KEYUP, plat::VK_ESCAPE);
    m_host.DeliverKey(plat::WM_KEYDOWN, plat::VK_RETURN);
    EXPECT_FALSE(m_host.IsModalLoopEnded());
    EXPECT_TRUE(Saw("game down 27"));
    EXPECT_TRUE(Saw("game up 27"));
    EXPECT_FALSE(Saw("game pre 27"));  // Escape skips the pre-translation
    EXPECT_TRUE(Saw("game pre 13"));
}

TEST_F(HostTest, KeysReachTheGameThroughAllThreeRoutes) {
    Menu().m_nResult = 1;
    m_host.OnTimer(1);
    m_j.events.clear();
    m_host.DeliverKey(plat::WM_KEYDOWN, plat::VK_LEFT);
    m_host.DeliverKey(plat::WM_KEYDOWN, plat::VK_LEFT);  // auto-repeat
    m_host.DeliverKey(plat::WM_KEYUP, plat::VK_LEFT);
    const std::vector<std::string> expected = {"game pre 37",  "game down 37", "game pre 37",
                                               "game down 37", "game pre 37",  "game up 37"};
    EXPECT_EQ(m_j.events, expected);
}

TEST_F(HostTest, MenuGetsNoKeyDowns) {
    m_host.DeliverKey(plat::WM_KEYDOWN, plat::VK_DOWN);
    EXPECT_TRUE(m_j.events.empty());
    m_host.DeliverKey(plat::WM_KEYUP, plat::VK_DOWN);
    EXPECT_TRUE(Saw("menu up 40"));
}

// Back from a game, the menu is drawn at once, not at its first key.
TEST_F(HostTest, TheMenuIsDrawnWhenItOpens) {
    Menu().m_nResult = 1;
    m_host.OnTimer(1);
    m_host.DispatchPendingPaint();
    Game().m_nResult = 0;
    m_host.OnTimer(1);
    m_j.events.clear();
    EXPECT_TRUE(m_host.DispatchPendingPaint());
    EXPECT_EQ(m_j.events, (std::vector<std::string>{"menu draw"}));
}

TEST_F(HostTest, PostedPaintsDrawTheOpenSceneOnce) {
    m_host.DispatchPendingPaint();  // the one of the menu's opening
    m_j.events.clear();
    m_host.PostPaint();
    m_host.PostPaint();
    EXPECT_TRUE(m_host.DispatchPendingPaint());
    EXPECT_FALSE(m_host.DispatchPendingPaint());
    EXPECT_EQ(Count("menu draw"), 1);
}

TEST_F(HostTest, CloseRequestSavesTheSettings) {
    m_host.m_reg.m_strName = "closer";
    m_host.DeliverClose();
    EXPECT_TRUE(m_host.IsModalLoopEnded());
    m_host.DestroyWindow();
    EXPECT_EQ(m_j.nMenusAlive, 0);
    EXPECT_EQ(plat::GetProfileString("", "name", "?"), "closer");
}

// The real menu with a "Game" voice that is no sound file: its message box
// opens inside the menu's key handler, and the timer keeps ticking while the
// box waits. Choosing "Game" leaves the result before the voice is played,
// so a tick then would open the game and delete the menu under its handler.
TEST_F(HostTest, MalformedVoiceBoxKeepsTheMenuUntilItCloses) {
    plat::SetAudioOffline(48000);
    plat::CFakeClock clock;
    const plat::CClockGuard guard(clock);
    const std::string base = ::testing::TempDir() + "host_malformed_voice";
    std::filesystem::create_directories(base + "/sound/menu");
    std::ofstream(base + "/sound/menu/game.kwv", std::ios::binary) << "ID3 no wave at all";
    m_host.SetSceenFactories([] { return std::make_unique<CSceenMenu>(); },
                             [this] { return std::make_unique<CFakeGame>(m_j); });
    m_host.m_strBasePath = base;
    m_host.OpenSceen(1, 0);

    std::vector<std::string> captions;
    std::vector<int> kindsDuringBox;
    plat::SetMessageBoxHandler([&](const std::string&, const std::string& caption) {
        captions.push_back(caption);
        for (int i = 0; i < 3; ++i) {
            clock.Advance(100);
            m_host.OnTimer(1);
            kindsDuringBox.push_back(m_host.m_nSceenKind);
        }
    });
    m_host.DeliverKey(plat::WM_KEYUP, plat::VK_DOWN);
    m_host.DeliverKey(plat::WM_KEYUP, plat::VK_SPACE);
    plat::SetMessageBoxHandler({});

    EXPECT_EQ(captions, (std::vector<std::string>{" lol ", " lol "}));
    EXPECT_EQ(kindsDuringBox, (std::vector<int>(6, 1)));
    EXPECT_EQ(m_j.nGamesAlive, 0);
    m_host.OnTimer(1);  // the box is closed: the choice is acted on now
    EXPECT_EQ(m_host.m_nSceenKind, 2);
    EXPECT_TRUE(Saw("game start mode 2"));
    std::filesystem::remove_all(base);
}

void Press(plat::CDialog& wnd, unsigned key, int nTimes = 1) {
    for (int i = 0; i < nTimes; ++i) {
        wnd.DeliverKey(plat::WM_KEYDOWN, key);
        wnd.DeliverKey(plat::WM_KEYUP, key);
    }
}

// The volume keys are the host's in both scenes: no scene sees them, and a
// replay records nothing of them.
TEST_F(HostTest, VolumeKeysNeverReachAScene) {
    for (unsigned vk : {plat::VK_PRIOR, plat::VK_NEXT, plat::VK_HOME, plat::VK_END})
        Press(m_host, vk);
    EXPECT_TRUE(m_j.events.empty());
    Menu().m_nResult = 1;
    m_host.OnTimer(1);
    m_j.events.clear();
    for (unsigned vk : {plat::VK_PRIOR, plat::VK_NEXT, plat::VK_HOME, plat::VK_END})
        Press(m_host, vk);
    EXPECT_TRUE(m_j.events.empty());
    Press(m_host, plat::VK_LEFT);
    EXPECT_TRUE(Saw("game up 37"));
}

// Each release moves a level one step, at either end it stays; the levels
// reach the mixer and the settings at once, and a new run reads them back.
TEST_F(HostTest, VolumeAndBalanceStepClampAndAreKept) {
    // A file of its own: the other tests of this program may run meanwhile.
    plat::SetAppName("host_test_volume");
    plat::WriteProfileString("", "volume", "10");
    plat::WriteProfileString("", "balance", "0");
    m_host.m_sound.Load();
    const auto gains = [] {
        return std::make_pair(plat::OutputGains().fVoices.load(),
                              plat::OutputGains().fEffects.load());
    };
    EXPECT_EQ(gains(), std::make_pair(1.0f, 1.0f));
    m_host.DeliverKey(plat::WM_KEYDOWN, plat::VK_NEXT);
    EXPECT_EQ(m_host.m_sound.Volume(), 10);  // a press alone does nothing
    m_host.DeliverKey(plat::WM_KEYUP, plat::VK_NEXT);
    Press(m_host, plat::VK_NEXT, 2);
    EXPECT_EQ(m_host.m_sound.Volume(), 7);
    EXPECT_EQ(plat::GetProfileString("", "volume", ""), "7");
    EXPECT_NEAR(gains().first, std::pow(10.0, -900 / 2000.0), 1e-6);
    EXPECT_EQ(gains().first, gains().second);
    Press(m_host, plat::VK_PRIOR, 5);
    EXPECT_EQ(m_host.m_sound.Volume(), 10);
    Press(m_host, plat::VK_NEXT, 12);
    EXPECT_EQ(m_host.m_sound.Volume(), CSoundControls::kMinVolume);
    EXPECT_GT(gains().first, 0.0f);  // never silent

    Press(m_host, plat::VK_HOME, 7);  // voices louder: the effects go down
    EXPECT_EQ(m_host.m_sound.Balance(), 5);
    EXPECT_EQ(m_host.m_sound.VoicesMb(), 0);
    EXPECT_EQ(m_host.m_sound.EffectsMb(), -1500);
    Press(m_host, plat::VK_END, 8);
    EXPECT_EQ(m_host.m_sound.Balance(), -3);
    EXPECT_EQ(m_host.m_sound.VoicesMb(), -900);
    EXPECT_EQ(m_host.m_sound.EffectsMb(), 0);
    EXPECT_EQ(plat::GetProfileString("", "balance", ""), "-3");

    CDoruzorODlg next;
    next.m_sound.Load();
    EXPECT_EQ(next.m_sound.Volume(), 1);
    EXPECT_EQ(next.m_sound.Balance(), -3);
    // A damaged or hand-edited setting gives the level the game always had.
    for (const char* bad : {"loud", "11", "0", "-2", "7x", ""}) {
        plat::WriteProfileString("", "volume", bad);
        plat::WriteProfileString("", "balance", bad);
        next.m_sound.Load();
        EXPECT_EQ(next.m_sound.Volume(), 10) << bad;
        EXPECT_EQ(next.m_sound.Balance(), std::string(bad) == "-2" ? -2 : 0) << bad;
    }
    plat::WriteProfileString("", "volume", "10");
    plat::WriteProfileString("", "balance", "0");
    m_host.m_sound.Load();
    plat::SetAppName("host_test");
}

// The game's sounds all sit on the panned device.
plat::CAudioDevice& GameDevice() {
    static int dummy;
    CSoundPlay play;
    play.m_nDeviceKind = 1;
    play.CreateDevice(reinterpret_cast<plat::CWnd*>(&dummy));
    return *g_pDirectSound[1];
}

TEST_F(HostTest, PauseHoldsTheGameAndItsSoundsUntilPAgain) {
    plat::CAudioDevice& sounds = GameDevice();
    Menu().m_nResult = 1;
    m_host.OnTimer(1);
    m_j.events.clear();
    Press(m_host, 'P');
    EXPECT_TRUE(m_host.IsPaused());
    EXPECT_TRUE(sounds.Paused());
    m_host.OnTimer(1);
    Press(m_host, plat::VK_SPACE);
    Press(m_host, plat::VK_ESCAPE);  // not even Escape: P first
    m_host.PostPaint();
    m_host.DispatchPendingPaint();
    EXPECT_TRUE(m_j.events.empty()) << m_j.events.front();
    EXPECT_FALSE(m_host.IsModalLoopEnded());

    Press(m_host, plat::VK_PAUSE);  // the Pause key does the same
    EXPECT_FALSE(m_host.IsPaused());
    EXPECT_FALSE(sounds.Paused());
    EXPECT_FALSE(m_host.DispatchPendingPaint());  // the picture comes back with no call
    m_host.OnTimer(1);
    EXPECT_EQ(m_j.events, (std::vector<std::string>{"game tick"}));

    // Leaving the game, whichever way, lets the next one be heard.
    Press(m_host, 'P');
    m_host.CloseSceen();
    EXPECT_FALSE(m_host.IsPaused());
    EXPECT_FALSE(sounds.Paused());
}

// In the menu P is a key like any other: it says the entry again.
TEST_F(HostTest, PauseKeyInTheMenuIsTheMenus) {
    Press(m_host, 'P');
    EXPECT_FALSE(m_host.IsPaused());
    EXPECT_TRUE(Saw("menu up 80"));
    m_host.DeliverActivate(false);
    EXPECT_FALSE(m_host.IsPaused());
}

// The game's counter stands while the game is paused, so the pause is no
// part of its time.
TEST_F(HostTest, TheGamesClockStandsWhilePaused) {
    plat::CFakeClock clock(5000);
    const plat::CClockGuard guard(clock);
    Menu().m_nResult = 1;
    m_host.OnTimer(1);
    clock.Advance(100);
    m_host.OnTimer(1);
    Press(m_host, 'P');
    for (int i = 0; i < 50; ++i) {
        clock.Advance(100);
        m_host.OnTimer(1);
    }
    Press(m_host, 'P');
    clock.Advance(100);
    m_host.OnTimer(1);
    m_host.DeliverActivate(false);  // another program's window takes the focus
    EXPECT_TRUE(m_host.IsPaused());
    clock.Advance(7000);
    m_host.DeliverActivate(true);  // back: still paused until P
    EXPECT_TRUE(m_host.IsPaused());
    clock.Advance(1000);
    Press(m_host, 'P');
    clock.Advance(100);
    m_host.OnTimer(1);
    EXPECT_EQ(m_j.arrTickTimes, (std::vector<uint32_t>{5100, 5200, 5300}));
    EXPECT_EQ(plat::GetTickCount(), 5300u);
    // Once the game is closed, the clock is the one it was before.
    m_host.CloseSceen();
    EXPECT_EQ(plat::GetClock(), &clock);
    EXPECT_EQ(plat::GetTickCount(), 5000u + 100 + 5000 + 100 + 8000 + 100);
}

// A box or dialog of ours taking the focus does not pause the game.
TEST_F(HostTest, OurOwnBoxTakingTheFocusDoesNotPause) {
    Menu().m_nResult = 1;
    m_host.OnTimer(1);
    plat::SetMessageBoxHandler([this](const std::string&, const std::string&) {
        m_host.DeliverActivate(false);
        m_host.DeliverActivate(true);
    });
    plat::MessageBox("a sound file is broken", " lol ");
    plat::SetMessageBoxHandler({});
    EXPECT_FALSE(m_host.IsPaused());
    m_host.DeliverActivate(false);
    EXPECT_TRUE(m_host.IsPaused());
}

TEST(HostWindow, ClientAreaIsTheDialogTemplatesSize) {
    CDoruzorODlg dlg;
    const plat::RECT rc = dlg.GetClientRect();
    EXPECT_EQ(rc.Width(), 732);
    EXPECT_EQ(rc.Height(), 570);
}

}  // namespace
