// Whole games through the real host on a fake clock, recorded as the
// program records them, and the tools to open and re-encode a replay.
#pragma once
#include <gtest/gtest.h>
#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "app/DoruzorODlg.h"
#include "game/SceenGame.h"
#include "platform/audio.h"
#include "platform/fake_clock.h"
#include "platform/gfx.h"
#include "platform/keys.h"
#include "platform/msgbox.h"
#include "platform/paths.h"
#include "platform/random.h"
#include "platform/speech.h"
#include "replay/ReplayCodec.h"
#include "replay/ReplayGame.h"
#include "replay/ReplayVerify.h"

namespace replaytest {

namespace fs = std::filesystem;

class CQuietMenu : public CSceenMenu {
public:
    void Start(plat::CWnd*, const std::string&) override {}
    void Tick() override {}
    void Draw() override {}
};

class CTestHost : public CDoruzorODlg {
public:
    CTestHost() {
        SetSceenFactories([] { return std::make_unique<CQuietMenu>(); },
                          [] { return std::make_unique<CSceenGame>(); });
    }
    void OfferRegistration() override {
        ++m_nOffers;
        m_strOfferedReplay = m_strLastReplay;
    }
    void OpenResultPage(int) override {}
    int m_nOffers = 0;
    std::string m_strOfferedReplay;
};

// Moves, fires and raises the barrier at random, through the window's keys.
struct SWanderer {
    explicit SWanderer(unsigned seed) : rng(seed) {}
    void operator()(CSceenGame&) {
        const unsigned r = rng() % 20;
        if (r < 4)
            press(plat::VK_LEFT);
        else if (r < 8)
            press(plat::VK_RIGHT);
        else if (r == 8)
            press(plat::VK_SPACE);
        else if (r == 9)
            press('Z');
    }
    std::mt19937 rng;
    std::function<void(unsigned)> press;
};

struct SVerifierRun {
    int nStatus = -1;
    std::map<std::string, std::string> fields;
    std::vector<std::string> arrStageLines;
};

#ifdef _WIN32
// The command interpreter's quoting; the verifier's path as the system names it.
inline std::string VerifierCommand(const std::string& data, const std::string& file) {
    std::string exe = std::string(DORUZORO_TARGET_ROOT) + DORUZORO_VERIFY;
    std::replace(exe.begin(), exe.end(), '/', '\\');
    return "\"\"" + exe + "\" --data \"" + data + "\" \"" + file + "\" 2>&1\"";
}
inline FILE* OpenPipe(const std::string& cmd) {
    return _popen(cmd.c_str(), "r");
}
inline int ClosePipe(FILE* p) {
    return _pclose(p);  // the exit status itself
}
#else
inline std::string VerifierCommand(const std::string& data, const std::string& file) {
    return std::string(DORUZORO_VERIFY) + " --data '" + data + "' '" + file + "' 2>&1";
}
inline FILE* OpenPipe(const std::string& cmd) {
    return popen(cmd.c_str(), "r");
}
inline int ClosePipe(FILE* p) {
    const int status = pclose(p);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}
#endif

inline SVerifierRun RunVerifier(const std::string& data, const std::string& file) {
    SVerifierRun run;
    const std::string cmd = VerifierCommand(data, file);
    FILE* p = OpenPipe(cmd);
    if (!p)
        return run;
    char line[512];
    while (std::fgets(line, sizeof line, p)) {
        std::string s(line);
        if (!s.empty() && s.back() == '\n')
            s.pop_back();
        const size_t colon = s.find(": ");
        if (colon == std::string::npos)
            continue;
        const std::string key = s.substr(0, colon);
        if (key.rfind("stage ", 0) == 0)
            run.arrStageLines.push_back(s);
        else
            run.fields[key] = s.substr(colon + 2);
    }
    run.nStatus = ClosePipe(p);
    return run;
}

// One recorded event, decoded.
struct SEvent {
    replay::EEvent kind = replay::EV_TICK;
    unsigned nKey = 0;
    std::vector<uint32_t> arrReads;
};

struct SDecoded {
    replay::SHeader header;
    std::vector<SEvent> arrEvents;
    replay::SSummary summary;
};

inline bool Decode(const std::string& file, SDecoded& out) {
    replay::CReplayReader reader;
    if (reader.Open(file) != replay::EReadStatus::Ok)
        return false;
    out.header = reader.Header();
    SEvent ev;
    while (reader.Next(ev.kind, ev.nKey)) {
        ev.arrReads.clear();
        uint32_t v = 0;
        while (reader.NextRead(v))
            ev.arrReads.push_back(v);
        out.arrEvents.push_back(ev);
    }
    out.summary = reader.Summary();
    return reader.Status() == replay::EReadStatus::Ok && reader.AtEnd();
}

inline std::string Encode(const SDecoded& d) {
    replay::CReplayWriter writer;
    for (const SEvent& ev : d.arrEvents)
        writer.Event(ev.kind, ev.nKey, ev.arrReads.data(), ev.arrReads.size());
    std::string file;
    writer.Finish(d.header, d.summary, file);
    return file;
}

// A host with a game scene, pictures of the shipped sizes written by the
// test, the offline mixer and a fake clock.
class ReplayFixture : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetAudioOffline(48000);
        plat::SetMessageBoxHandler([](const std::string&, const std::string&) {});
        plat::SetSpeechHandler([this](const std::string& text) {
            m_arrSaid.push_back(text);
            return true;
        });
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_strBase = ::testing::TempDir() + "doruzoro_replay_" + info->name();
        fs::remove_all(m_strBase);
        WritePicture("/image/UFO.kpg", 40, 20);
        WritePicture("/image/Fighter.kpg", 40, 50);
        WritePicture("/image/misile.kpg", 10, 50);
        WritePicture("/image/Explosion.kpg", 48, 48);
        m_strFolder = m_strBase + "/replays";
        std::string err;
        ASSERT_TRUE(replay::OfficialGeometry(m_strBase, m_official, err)) << err;
    }
    void TearDown() override {
        m_pHost.reset();
        plat::SetMessageBoxHandler({});
        plat::SetSpeechHandler({});
        fs::remove_all(m_strBase);
    }
    void WritePicture(const std::string& rel, int cx, int cy) {
        const std::string path = m_strBase + rel;
        fs::create_directories(fs::path(path).parent_path());
        ASSERT_TRUE(plat::CSurface(cx, cy).WritePng(path));
    }

    // nArg as the menu gives it: 0 tutorial, 1 game.
    CTestHost& OpenGame(int nArg, unsigned nSeed, bool bRecord = true) {
        plat::Srand(nSeed);
        m_pHost = std::make_unique<CTestHost>();
        m_pHost->m_strBasePath = m_strBase;
        m_pHost->m_strReplayFolder = m_strFolder;
        m_pHost->m_bRecord = bRecord;
        m_arrStages.clear();
        m_pHost->OpenSceen(2, nArg);
        NoteStage();
        return *m_pHost;
    }
    CSceenGame* Game() { return m_pHost ? m_pHost->m_pGame.get() : nullptr; }

    // One timer tick and the paint it asks for, as the toolkit runs them.
    void Tick() {
        m_clock.Advance(100);
        m_pHost->DeliverTimer(1);
        NoteStage();
        m_pHost->DispatchPendingPaint();
    }
    void Press(unsigned key) {
        m_pHost->DeliverKey(plat::WM_KEYDOWN, key);
        m_pHost->DeliverKey(plat::WM_KEYUP, key);
    }
    // Ticks while the game is open, calling fnPlayer before each; false
    // when it was still open after nMax ticks.
    bool PlayUntilClosed(int nMax, const std::function<void(CSceenGame&)>& fnPlayer) {
        for (int i = 0; i < nMax && Game(); ++i) {
            if (fnPlayer)
                fnPlayer(*Game());
            if (Game())
                Tick();
        }
        return Game() == nullptr;
    }
    // The state after every tick that changed the stage, as the verifier notes it.
    void NoteStage() {
        const CSceenGame* g = Game();
        if (g && (m_arrStages.empty() || m_arrStages.back().nStage != g->m_nStage))
            m_arrStages.push_back({g->m_nStage, replay::GameStateHash(*g)});
    }

    std::vector<fs::path> SavedReplays() const {
        std::vector<fs::path> out;
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(m_strFolder, ec))
            out.push_back(e.path());
        std::sort(out.begin(), out.end());
        return out;
    }
    std::string ReadBytes(const fs::path& p) const {
        std::string bytes;
        EXPECT_TRUE(plat::ReadFile(p.string(), bytes)) << p;
        return bytes;
    }

    plat::CFakeClock m_clock;
    plat::CClockGuard m_guard{m_clock};
    std::string m_strBase;
    std::string m_strFolder;
    replay::SGeometry m_official;
    std::unique_ptr<CTestHost> m_pHost;
    std::vector<replay::SStageHash> m_arrStages;
    std::vector<std::string> m_arrSaid;  // what the player was told
};

}  // namespace replaytest
