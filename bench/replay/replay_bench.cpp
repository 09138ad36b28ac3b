// A recorded ten-stage game: verified whole (the server's cost for each
// submitted game), beside reading it alone (inflating and decoding its
// events) as the anchor.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <memory>
#include <string>

#include "full_game.h"
#include "platform/audio.h"
#include "platform/gfx.h"
#include "platform/msgbox.h"
#include "replay/ReplayCodec.h"
#include "replay/ReplayGame.h"
#include "replay/ReplayVerify.h"

namespace {

struct SRecordedGame {
    std::string file;
    replay::SGeometry official;
    uint64_t nTicks = 0;
    int nStage = 0;
    int nScore = 0;
};

// Recorded once, with pictures of the shipped sizes.
const SRecordedGame& FullGame() {
    static const SRecordedGame game = [] {
        SRecordedGame g;
        plat::SetAudioOffline(48000);
        plat::SetMessageBoxHandler([](const std::string&, const std::string&) {});
        const std::string base =
            std::filesystem::temp_directory_path().string() + "/doruzoro_replay_bench";
        std::filesystem::create_directories(base + "/image");
        const std::pair<const char*, replay::SSize> pictures[] = {{"UFO", {40, 20}},
                                                                  {"Fighter", {40, 50}},
                                                                  {"misile", {10, 50}},
                                                                  {"Explosion", {48, 48}}};
        for (const auto& p : pictures)
            plat::CSurface(p.second.cx, p.second.cy).WritePng(base + "/image/" + p.first + ".kpg");
        std::string err;
        replay::OfficialGeometry(base, g.official, err);
        plat::CFakeClock clock;
        const plat::CClockGuard guard(clock);
        CDoruzorODlg host;
        host.SetSceenFactories([] { return std::make_unique<replaytest::CScriptMenu>(); },
                               [] { return std::make_unique<CSceenGame>(); });
        host.m_strBasePath = base;
        host.m_strReplayFolder = base + "/replays";
        g.file = replaytest::PlayScriptedGame(host, clock, 20261208, [&g](const CSceenGame& s) {
            ++g.nTicks;
            g.nStage = s.m_nStage;
            g.nScore = s.m_nScore;
        });
        std::filesystem::remove_all(base);
        return g;
    }();
    return game;
}

void BM_ReadFullGame(benchmark::State& state) {
    const SRecordedGame& g = FullGame();
    uint64_t nEvents = 0;
    for (auto _ : state) {
        replay::CReplayReader reader;
        reader.Open(g.file);
        replay::EEvent kind;
        unsigned key = 0;
        nEvents = 0;
        while (reader.Next(kind, key)) {
            ++nEvents;
            reader.SkipReads();
        }
        benchmark::DoNotOptimize(reader.Summary());
    }
    state.counters["events"] = static_cast<double>(nEvents);
    state.counters["file_bytes"] = static_cast<double>(g.file.size());
    uint32_t nData = 0;  // the size of the data before compression, from the frame
    for (int i = 0; i < 4; ++i)
        nData |= static_cast<uint32_t>(static_cast<uint8_t>(g.file[sizeof replay::kMagic + 1 + i]))
                 << (8 * i);
    state.counters["data_bytes"] = nData;
}
BENCHMARK(BM_ReadFullGame)->Unit(benchmark::kMillisecond);

void BM_VerifyFullGame(benchmark::State& state) {
    const SRecordedGame& g = FullGame();
    replay::SVerifyResult r;
    for (auto _ : state)
        r = replay::VerifyReplay(g.file, g.official);
    if (r.verdict != replay::EVerdict::InStep || r.outcome.nStage != 10 ||
        r.outcome.nScore != g.nScore)
        state.SkipWithError(("not a verified ten-stage game: " + r.strReason).c_str());
    state.counters["ticks"] = static_cast<double>(g.nTicks);
    state.counters["events"] = static_cast<double>(r.nEvents);
    state.counters["score"] = r.outcome.nScore;
    state.counters["verifies_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VerifyFullGame)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
