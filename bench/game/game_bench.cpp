// One game tick with the fullest field a stage allows: stage 10's thirty
// UFOs, two missiles in flight for each (a UFO releases at most one every
// 2 s and a missile falls for about 4 s), the beam and the barrier on, and
// every hum, flight sound and warning playing into the offline mixer.
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "game/SceenGame.h"
#include "platform/audio.h"
#include "platform/fake_clock.h"
#include "platform/gfx.h"
#include "platform/msgbox.h"
#include "platform/random.h"
#include "platform/window.h"
#include "replay/ReplayRecorder.h"
#include "sound/SoundPlay.h"
#include "wave_builder.h"

namespace {

constexpr int kFieldCx = 732;
constexpr int kFieldCy = 570;
constexpr int kUfos = 30;
constexpr int kMissiles = 2 * kUfos;

class CFieldWnd : public plat::CWnd {
public:
    CFieldWnd() : CWnd(kFieldCx, kFieldCy) {}
};

void WriteFile(const std::string& path, const std::string& bytes) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << bytes;
}

void WriteAssets(const std::string& base) {
    const struct {
        const char* name;
        int cx, cy;
    } pictures[] = {{"UFO", 40, 20}, {"Fighter", 40, 24}, {"misile", 8, 16}, {"Explosion", 50, 50}};
    for (const auto& p : pictures) {
        const std::string path = base + "/image/" + p.name + ".kpg";
        std::filesystem::create_directories(base + "/image");
        plat::CSurface(p.cx, p.cy).WritePng(path);
    }
    const char* sounds[] = {"ufo1", "exprosion", "exprosion2", "misile", "pinch",
                            "kabe", "Lazer1",    "Lazer2",     "baria"};
    double hz = 300;
    for (const char* s : sounds)
        WriteFile(base + "/sound/" + s + ".kwv", wavetest::ToneFile(hz += 50, 22050, 22050, 0.2));
}

class CFullField {
public:
    CFullField() {
        plat::SetAudioOffline(48000);
        plat::SetMessageBoxHandler([](const std::string&, const std::string&) {});
        plat::Srand(1);
        m_strBase = std::filesystem::temp_directory_path().string() + "/doruzoro_game_bench";
        std::filesystem::remove_all(m_strBase);
        WriteAssets(m_strBase);
        m_game.m_nMode = 2;
        m_game.Start(&m_wnd, m_strBase);
        for (int i = 0; i < 9; ++i)
            m_game.StageTransition(1);  // to stage 10
        m_game.StageStart();
        m_game.m_nUfoQuota = 1000;
        while (static_cast<int>(m_game.m_arrUfos.size()) < kUfos)
            m_game.SpawnUfo();
        for (int i = 0; i < kMissiles; ++i)
            m_game.FireMissile(0, 0);
        m_game.m_bAllSpawned = 1;
        m_game.m_dwNextSpawn = 0;
        m_game.OnKeyUp('Z');
        m_game.FireLaser(m_game.m_fighter.Centre(), kFieldCy - 24 - 20);
        Reset();
    }
    ~CFullField() {
        m_game.Stop();
        std::filesystem::remove_all(m_strBase);
    }

    // Puts every object back where the previous tick found it, so that each
    // tick sees the same full field: UFOs in rows clear of the beam and the
    // fighter, missiles above the barrier, the beam and the barrier fresh.
    void Reset() {
        const uint32_t now = plat::GetTickCount();
        for (int i = 0; i < kUfos; ++i) {
            CUfo& u = *m_game.m_arrUfos[static_cast<size_t>(i)];
            u.nState = OS_ALIVE;
            u.x = 20 + (i % 6) * 30;  // the rightmost ends at 263, the wide beam begins at 266
            u.y = 80 + (i / 6) * 40;
            u.bLeftward = i & 1;
            u.dwLastShot = now;  // no release: the count stays
        }
        for (int i = 0; i < kMissiles; ++i) {
            CMissile& m = *m_game.m_arrMissiles[static_cast<size_t>(i)];
            m.nState = OS_ALIVE;
            m.x = 20 + (i % 10) * 25;
            m.y = 100 + (i / 10) * 40;
        }
        m_game.m_laser.dwFireTime = now;
        m_game.m_laser.nState = OS_ON;
        m_game.m_barrier.dwStartTime = now;
        m_game.m_barrier.nState = OS_ON;
    }

    // Hums, flight sounds and warnings that are playing.
    int Sounding() const {
        int n = 0;
        for (const auto& u : m_game.m_arrUfos)
            n += IsPlaying(u->sound, u->idHum);
        for (const auto& m : m_game.m_arrMissiles)
            n += IsPlaying(m->sound, m->idFlight) + IsPlaying(m->sound, m->idPinch);
        return n;
    }
    static bool IsPlaying(const CSoundPlay& play, int id) {
        return play.m_pBuffer[id] && (play.m_pBuffer[id]->GetStatus() & plat::kAudioPlaying);
    }

    void Tick() {
        m_clock.Advance(100);
        m_game.Tick();
    }

    plat::CFakeClock m_clock;
    plat::CClockGuard m_guard{m_clock};
    CFieldWnd m_wnd;
    std::string m_strBase;
    CSceenGame m_game;
};

void BM_FullFieldTick(benchmark::State& state) {
    CFullField field;
    for (auto _ : state) {
        field.Reset();
        field.Tick();
    }
    if (field.m_game.m_nState != GS_PLAY || field.m_game.m_arrUfos.size() != kUfos ||
        field.m_game.m_arrMissiles.size() != kMissiles || field.m_game.m_nScore != 0 ||
        field.Sounding() != kUfos + 2 * kMissiles)
        state.SkipWithError(("the field did not stay full: state " +
                             std::to_string(field.m_game.m_nState) + ", " +
                             std::to_string(field.m_game.m_arrUfos.size()) + " UFOs, " +
                             std::to_string(field.m_game.m_arrMissiles.size()) +
                             " missiles, score " + std::to_string(field.m_game.m_nScore) +
                             ", sounding " + std::to_string(field.Sounding()))
                                .c_str());
    state.counters["sounding"] = field.Sounding();
    state.counters["ufos"] = static_cast<double>(field.m_game.m_arrUfos.size());
    state.counters["missiles"] = static_cast<double>(field.m_game.m_arrMissiles.size());
}
BENCHMARK(BM_FullFieldTick)->Unit(benchmark::kMicrosecond);

// The same tick with the program's recorder around it, as the host makes
// every call: the cost of recording next to the tick itself.
void BM_FullFieldTickRecorded(benchmark::State& state) {
    CFullField field;
    auto recorder = std::make_unique<replay::CReplayRecorder>(2);
    int64_t n = 0;
    for (auto _ : state) {
        field.Reset();
        {
            const replay::CReplayRecorder::CCall call(recorder.get(), replay::EV_TICK, 0);
            field.Tick();
        }
        // A fresh recording now and then keeps it below its size bound.
        if (++n % 20000 == 0) {
            state.PauseTiming();
            recorder.reset();  // gives the clock back before the next one stands in front
            recorder = std::make_unique<replay::CReplayRecorder>(2);
            state.ResumeTiming();
        }
    }
}
BENCHMARK(BM_FullFieldTickRecorded)->Unit(benchmark::kMicrosecond);

// The same field, with the 100 ms of sound that the card pulls in a tick.
void BM_FullFieldTickAndMix(benchmark::State& state) {
    CFullField field;
    std::vector<float> out(4800 * 2);
    for (auto _ : state) {
        field.Reset();
        field.Tick();
        g_pDirectSound[1]->Render(out.data(), 4800);
        benchmark::DoNotOptimize(out.data());
    }
}
BENCHMARK(BM_FullFieldTickAndMix)->Unit(benchmark::kMicrosecond);

}  // namespace

BENCHMARK_MAIN();
