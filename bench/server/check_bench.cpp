// Checks of a recorded ten-stage game by the server's checker: on the
// caller's thread, and through the queue on one and on two workers, beside
// replay::VerifyReplay alone as the anchor. The peak memory of one check of
// the costliest input the limits let through is reported as well.
#include <benchmark/benchmark.h>

#include <condition_variable>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <mutex>
#include <string>

#include "full_game.h"
#include "platform/audio.h"
#include "platform/gfx.h"
#include "platform/msgbox.h"
#include "recorded_game.h"
#include "replay/ReplayCodec.h"
#include "replay/ReplayGame.h"
#include "replay/ReplayVerify.h"
#include "server/ReplayCheck.h"

namespace {

struct SRecordedGame {
    std::string file;
    replay::SGeometry official;
    int nScore = 0;
};

// A game played on the program's host with a fake clock, in a folder of
// pictures of the shipped sizes that is removed afterwards.
std::string OnHost(const std::string& strName,
                   const std::function<std::string(CDoruzorODlg&, plat::CFakeClock&)>& fnPlay) {
    const std::string base = std::filesystem::temp_directory_path().string() + "/" + strName;
    recorded::WritePictures(base);
    plat::CFakeClock clock;
    const plat::CClockGuard guard(clock);
    CDoruzorODlg host;
    host.SetSceenFactories([] { return std::make_unique<replaytest::CScriptMenu>(); },
                           [] { return std::make_unique<CSceenGame>(); });
    host.m_strBasePath = base;
    host.m_strReplayFolder = base + "/replays";
    std::string file = fnPlay(host, clock);
    std::filesystem::remove_all(base);
    return file;
}

const SRecordedGame& FullGame() {
    static const SRecordedGame game = [] {
        SRecordedGame g;
        plat::SetAudioOffline(48000);
        plat::SetMessageBoxHandler([](const std::string&, const std::string&) {});
        g.file = OnHost("doruzoro_check_bench", [&g](CDoruzorODlg& host, plat::CFakeClock& clock) {
            std::string err;
            replay::OfficialGeometry(host.m_strBasePath, g.official, err);
            return replaytest::PlayScriptedGame(
                host, clock, 20261208, [&g](const CSceenGame& s) { g.nScore = s.m_nScore; });
        });
        return g;
    }();
    return game;
}

std::unique_ptr<CReplayChecker> MakeChecker(int nWorkers) {
    std::string err;
    return CReplayChecker::Create(FullGame().official, nWorkers, 1024, SCheckLimits(), err);
}

void BM_VerifyReplayAlone(benchmark::State& state) {
    const SRecordedGame& g = FullGame();
    replay::SVerifyResult r;
    for (auto _ : state)
        r = replay::VerifyReplay(g.file, g.official);
    if (r.verdict != replay::EVerdict::InStep)
        state.SkipWithError(r.strReason.c_str());
    state.counters["checks_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_VerifyReplayAlone)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_CheckNow(benchmark::State& state) {
    const SRecordedGame& g = FullGame();
    const auto checker = MakeChecker(1);
    SCheckResult r;
    for (auto _ : state)
        r = checker->CheckNow(g.file, 1, g.nScore);
    if (!r.bVerified)
        state.SkipWithError(r.strReason.c_str());
    state.counters["checks_per_s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CheckNow)->Unit(benchmark::kMillisecond)->UseRealTime();

// A batch of 64 checks through the queue, waited for: wall-clock throughput.
void BM_CheckQueued(benchmark::State& state) {
    const SRecordedGame& g = FullGame();
    const auto checker = MakeChecker(static_cast<int>(state.range(0)));
    constexpr int kBatch = 64;
    std::mutex m;
    std::condition_variable cv;
    int nDone = 0;
    int nVerified = 0;
    for (auto _ : state) {
        {
            const std::lock_guard<std::mutex> lock(m);
            nDone = 0;
        }
        for (int i = 0; i < kBatch; ++i) {
            checker->Check(g.file, 1, g.nScore, [&](const SCheckResult& r) {
                const std::lock_guard<std::mutex> lock(m);
                nVerified += r.bVerified ? 1 : 0;
                if (++nDone == kBatch)
                    cv.notify_one();
            });
        }
        std::unique_lock<std::mutex> lock(m);
        cv.wait(lock, [&] { return nDone == kBatch; });
    }
    if (nVerified != kBatch * static_cast<int>(state.iterations()))
        state.SkipWithError("a check was not verified");
    state.counters["checks_per_s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kBatch), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_CheckQueued)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond)->UseRealTime();

// A real game whose fighter steps left and right 20 times a tick (seven
// times key repeat): the most events, and so the most work and memory, a
// verified upload can cost within the checker's limits.
const std::string& KeyStorm() {
    static const std::string file = [] {
        const std::string base =
            std::filesystem::temp_directory_path().string() + "/doruzoro_check_bench_storm";
        recorded::WritePictures(base);
        plat::CFakeClock clock;
        const plat::CClockGuard guard(clock);
        plat::Srand(4242);
        CDoruzorODlg host;
        host.SetSceenFactories([] { return std::make_unique<replaytest::CScriptMenu>(); },
                               [] { return std::make_unique<CSceenGame>(); });
        host.m_strBasePath = base;
        host.m_strReplayFolder = base + "/replays";
        host.OpenSceen(2, 1);
        const auto press = [&host](unsigned key) {
            host.DeliverKey(plat::WM_KEYDOWN, key);
            host.DeliverKey(plat::WM_KEYUP, key);
        };
        bool bLeft = false;
        for (int i = 0; i < 60000 && host.m_pGame; ++i) {
            if (host.m_pGame->m_bKeysAccepted && !bLeft) {
                bLeft = true;
                press(plat::VK_SPACE);
            } else if (host.m_pGame->m_nState == GS_PLAY) {
                for (int k = 0; k < 20; ++k)
                    press(k % 2 ? plat::VK_LEFT : plat::VK_RIGHT);
            }
            if (!host.m_pGame)
                break;
            clock.Advance(100);
            host.DeliverTimer(1);
            host.DispatchPendingPaint();
        }
        std::filesystem::remove_all(base);
        return host.m_strLastReplay;
    }();
    return file;
}

// A game shot through to the last stage whose player then only dodges, the
// most UFOs of a stage flying at every tick, for as many events as a check
// takes: the costliest upload the limits let through.
struct SCrowded {
    std::string file;
    int nScore = 0;
};

const SCrowded& Crowded() {
    static const SCrowded crowded = [] {
        SCrowded c;
        c.file = OnHost("doruzoro_check_bench_crowd", [](CDoruzorODlg& host,
                                                         plat::CFakeClock& clock) {
            return replaytest::PlayCrowdedGame(host, clock, 20261208, SCheckLimits().nMaxEvents);
        });
        c.nScore = replay::VerifyReplay(c.file, FullGame().official).outcome.nScore;
        return c;
    }();
    return crowded;
}

// The tutorial's start and the tick that ends its opening, then key-downs
// up to the event limit that push the fighter against the left edge: every
// other one bumps it (and once looked for the wall's sound file).
std::string TutorialKeyFlood() {
    const std::string base =
        std::filesystem::temp_directory_path().string() + "/doruzoro_check_bench_flood";
    recorded::WritePictures(base);
    bool bTicked = false;
    const recorded::SGame tutorial =
        recorded::Record(base, 0, 31337, [](const CSceenGame&, const auto&, uint32_t) {},
                         {[&bTicked](int) {
                              const uint32_t ms = bTicked ? 100 : 5100;
                              bTicked = true;
                              return ms;
                          },
                          nullptr});
    std::filesystem::remove_all(base);
    replaytest::SDecoded d;
    replaytest::Decode(tutorial.strReplay, d);
    d.arrEvents.resize(2);  // the start and the first tick
    while (d.arrEvents.size() < SCheckLimits().nMaxEvents)
        d.arrEvents.push_back({replay::EV_KEYDOWN, plat::VK_LEFT, {}});
    const replay::SVerifyResult v =
        replay::VerifyReplay(replaytest::Encode(d), FullGame().official);
    d.summary = v.outcome;
    return replaytest::Encode(d);
}

void CheckOnce(benchmark::State& state, const std::string& file, int nLevel, int nScore) {
    const auto checker = MakeChecker(1);
    SCheckResult r;
    for (auto _ : state)
        r = checker->CheckNow(file, nLevel, nScore);
    if (!r.bVerified)
        state.SkipWithError(r.strReason.c_str());
    replay::SVerifyLimits limits;
    const replay::SVerifyResult v = replay::VerifyReplay(file, FullGame().official, limits);
    state.counters["events"] = static_cast<double>(v.nEvents);
    state.counters["upload_bytes"] = static_cast<double>(file.size());
    state.counters["deadline_ms"] = SCheckLimits().nCpuMs;
}

void BM_CheckCostliest(benchmark::State& state) {
    CheckOnce(state, Crowded().file, 1, Crowded().nScore);
}
BENCHMARK(BM_CheckCostliest)->Unit(benchmark::kMillisecond);

void BM_CheckTutorialKeyFlood(benchmark::State& state) {
    static const std::string flood = TutorialKeyFlood();
    CheckOnce(state, flood, 0, 0);
}
BENCHMARK(BM_CheckTutorialKeyFlood)->Unit(benchmark::kMillisecond);

long StatusKb(const char* key) {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind(key, 0) == 0)
            return std::stol(line.substr(std::string(key).size()));
    }
    return -1;
}

replay::SGeometry FixedGeometry() {
    replay::SGeometry g;
    g.client = {732, 570};
    g.pictures[0] = {40, 20};
    g.pictures[1] = {40, 50};
    g.pictures[2] = {10, 50};
    g.pictures[3] = {48, 48};
    return g;
}

// In a fresh process (this program with --peak FILE SCORE), so that no heap
// is left over from earlier work: how far one check raises the resident size.
int PeakChild(const char* pPath, int nScore) {
    std::ifstream in(pPath, std::ios::binary);
    const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string err;
    const auto checker = CReplayChecker::Create(FixedGeometry(), 1, 1, SCheckLimits(), err);
    if (!checker)
        return 2;
    std::ofstream("/proc/self/clear_refs") << "5";  // the peak restarts from here
    const long nBase = StatusKb("VmRSS:");
    const SCheckResult r = checker->CheckNow(file, 1, nScore);
    std::printf("%ld %d\n", StatusKb("VmHWM:") - nBase, r.bVerified ? 1 : 0);
    return 0;
}

void BM_HostileCheckPeakMemory(benchmark::State& state) {
    const std::string& storm = KeyStorm();
    const replay::SVerifyResult v = replay::VerifyReplay(storm, FixedGeometry());
    const std::string path =
        std::filesystem::temp_directory_path().string() + "/doruzoro_check_bench.dzr";
    std::ofstream(path, std::ios::binary) << storm;
    long nPeakKb = 0;
    int nVerified = 0;
    for (auto _ : state) {
        const std::string cmd = std::filesystem::read_symlink("/proc/self/exe").string() +
                                " --peak " + path + " " + std::to_string(v.outcome.nScore);
        FILE* p = popen(cmd.c_str(), "r");
        long kb = -1;
        if (p && std::fscanf(p, "%ld %d", &kb, &nVerified) == 2)
            nPeakKb = std::max(nPeakKb, kb);
        if (p)
            pclose(p);
    }
    std::filesystem::remove(path);
    if (!nVerified)
        state.SkipWithError("the storm was not verified");
    state.counters["events"] = static_cast<double>(v.nEvents);
    state.counters["upload_bytes"] = static_cast<double>(storm.size());
    state.counters["peak_extra_kb"] = static_cast<double>(nPeakKb);
}
BENCHMARK(BM_HostileCheckPeakMemory)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
}  // namespace

int main(int argc, char** argv) {
    if (argc == 4 && std::string(argv[1]) == "--peak")
        return PeakChild(argv[2], std::atoi(argv[3]));
    // For the load run: the whole game's replay, and its score on stdout.
    if (argc == 3 && std::string(argv[1]) == "--write-replay") {
        std::ofstream(argv[2], std::ios::binary) << FullGame().file;
        std::printf("%d\n", FullGame().nScore);
        return 0;
    }
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
