// Games recorded through the real host on a fake clock, as the program
// records them, for the tests of the server's checks.
#pragma once
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <utility>

#include "app/DoruzorODlg.h"
#include "full_game.h"
#include "game/SceenGame.h"
#include "platform/compress.h"
#include "platform/fake_clock.h"
#include "platform/gfx.h"
#include "platform/random.h"
#include "replay/ReplayCodec.h"
#include "replay_fixture.h"

namespace recorded {

struct SGame {
    std::string strReplay;
    int nLevel = 1;
    int nScore = 0;
};

// A host whose window is an icon all game long, as when a game is played by ear.
class CMinimisedHost : public CDoruzorODlg {
public:
    bool IsMinimised() const override { return true; }
};

using Player =
    std::function<void(const CSceenGame&, const std::function<void(unsigned)>&, uint32_t)>;

struct SHow {
    // The milliseconds before tick n (from 0), as a real timer strays; 100 when empty.
    std::function<uint32_t(int)> fnGapMs;
    // The host to play on; the program's own when empty.
    std::function<std::unique_ptr<CDoruzorODlg>()> fnHost;
};

inline std::unique_ptr<CDoruzorODlg> MinimisedHost() {
    return std::make_unique<CMinimisedHost>();
}

// A game through the host on a fake clock; fnPlayer presses keys before
// each tick while the game is in play. The host closes the game itself.
inline SGame Record(const std::string& base, int nArg, unsigned seed, const Player& fnPlayer,
                    const SHow& how = SHow()) {
    plat::CFakeClock clock;
    const plat::CClockGuard guard(clock);
    plat::Srand(seed);
    std::unique_ptr<CDoruzorODlg> pHost =
        how.fnHost ? how.fnHost() : std::make_unique<CDoruzorODlg>();
    CDoruzorODlg& host = *pHost;
    host.SetSceenFactories([] { return std::make_unique<replaytest::CScriptMenu>(); },
                           [] { return std::make_unique<CSceenGame>(); });
    host.m_strBasePath = base;
    host.m_strReplayFolder = base + "/replays";
    host.OpenSceen(2, nArg);
    const auto press = [&host](unsigned key) {
        host.DeliverKey(plat::WM_KEYDOWN, key);
        host.DeliverKey(plat::WM_KEYUP, key);
    };
    SGame game;
    game.nLevel = nArg;
    bool bLeft = false;
    for (int i = 0; i < 60000 && host.m_pGame; ++i) {
        const CSceenGame& g = *host.m_pGame;
        game.nScore = g.m_nScore;
        if (g.m_bKeysAccepted && !bLeft) {
            bLeft = true;
            press(plat::VK_SPACE);
        } else {
            fnPlayer(g, press, clock.Now());
        }
        if (!host.m_pGame)
            break;
        clock.Advance(how.fnGapMs ? how.fnGapMs(i) : 100);
        host.DeliverTimer(1);
        host.DispatchPendingPaint();
    }
    game.strReplay = host.m_strLastReplay;
    return game;
}

// The four pictures at the game's sizes, in base/image.
inline void WritePictures(const std::string& base) {
    std::filesystem::create_directories(base + "/image");
    const std::pair<const char*, replay::SSize> pictures[] = {
        {"UFO", {40, 20}}, {"Fighter", {40, 50}}, {"misile", {10, 50}}, {"Explosion", {48, 48}}};
    for (const auto& p : pictures)
        plat::CSurface(p.second.cx, p.second.cy).WritePng(base + "/image/" + p.first + ".kpg");
}

// A replay frame around data, claiming nClaimed bytes of it.
inline std::string Framed(const std::string& data, uint32_t nClaimed) {
    std::string packed;
    plat::Deflate(data, packed);
    std::string file(replay::kMagic, sizeof replay::kMagic);
    file += static_cast<char>(replay::kFormat);
    for (int i = 0; i < 4; ++i)
        file += static_cast<char>((nClaimed >> (8 * i)) & 0xFF);
    return file + packed;
}

// The inflated data of a replay file.
inline std::string DataOf(const std::string& file) {
    constexpr size_t kFrame = sizeof replay::kMagic + 1 + 4;
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i)
        n |= static_cast<uint32_t>(static_cast<uint8_t>(file[sizeof replay::kMagic + 1 + i]))
             << (8 * i);
    std::string data;
    plat::InflateExact(file.data() + kFrame, file.size() - kFrame, n, data);
    return data;
}

// The data as a zlib stream of stored blocks: no compression at all.
inline std::string Stored(const std::string& data) {
    std::string z = "\x78\x01";
    size_t pos = 0;
    do {
        const size_t n = std::min<size_t>(65535, data.size() - pos);
        z += static_cast<char>(pos + n == data.size() ? 1 : 0);
        for (const unsigned v : {static_cast<unsigned>(n), static_cast<unsigned>(~n & 0xFFFF)}) {
            z += static_cast<char>(v & 0xFF);
            z += static_cast<char>(v >> 8);
        }
        z.append(data, pos, n);
        pos += n;
    } while (pos < data.size());
    uint32_t a = 1;
    uint32_t b = 0;
    for (const char c : data) {
        a = (a + static_cast<uint8_t>(c)) % 65521;
        b = (b + a) % 65521;
    }
    const uint32_t adler = (b << 16) | a;
    for (int i = 3; i >= 0; --i)
        z += static_cast<char>((adler >> (8 * i)) & 0xFF);
    std::string file = recorded::Framed(std::string(), static_cast<uint32_t>(data.size()));
    file.resize(sizeof replay::kMagic + 1 + 4);
    return file + z;
}

// A whole game of the tests' scripted shooter, as the program records it.
inline SGame ShooterGame(const std::string& base, unsigned seed = 20261208) {
    return Record(base, 1, seed, [](const CSceenGame& g, const auto& press, uint32_t) {
        if (g.m_nState == GS_PLAY)
            replaytest::ScriptedShooter(g, replaytest::kHostKeyTolerance, press);
    });
}

// The costliest game a replay of nEvents events can hold (see
// PlayCrowdedGame), recorded by the program's host into strFolder.
inline std::string CrowdedGame(const std::string& base, const std::string& strFolder,
                               uint64_t nEvents) {
    plat::CFakeClock clock;
    const plat::CClockGuard guard(clock);
    CDoruzorODlg recorder;
    recorder.SetSceenFactories([] { return std::make_unique<replaytest::CScriptMenu>(); },
                               [] { return std::make_unique<CSceenGame>(); });
    recorder.m_strBasePath = base;
    recorder.m_strReplayFolder = strFolder;
    return replaytest::PlayCrowdedGame(recorder, clock, 20261208, nEvents);
}

}  // namespace recorded
