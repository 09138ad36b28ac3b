// From a released key to the voice of the entry reached: the cost of the
// menu's key handler (restarting a voice that still sounds) and the time
// until the entry's voice is heard in the mix, counted in mixed frames. The
// card pulls 256 frames at a time, so the mix adds at most one such block.
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <filesystem>

#include "menu/SceenMenu.h"
#include "menu_voices.h"
#include "platform/audio.h"
#include "platform/fake_clock.h"
#include "platform/keys.h"
#include "platform/msgbox.h"
#include "platform/window.h"

namespace {

constexpr int kRate = 48000;
constexpr size_t kBlock = 256;

struct SMenuRig {
    SMenuRig() {
        plat::SetAudioOffline(kRate);
        plat::SetMessageBoxHandler([](const std::string&, const std::string&) {});
        strBase = (std::filesystem::temp_directory_path() / "menu_bench").string();
        menutest::WriteVoices(strBase);
        pMenu = std::make_unique<CSceenMenu>();
        pMenu->Start(&wnd, strBase);
    }
    ~SMenuRig() {
        pMenu.reset();
        plat::SetMessageBoxHandler({});
        std::filesystem::remove_all(strBase);
    }
    plat::CFakeClock clock;
    plat::CClockGuard guard{clock};
    menutest::CHostWnd wnd;
    std::string strBase;
    std::unique_ptr<CSceenMenu> pMenu;
};

void BM_MenuKeyUp(benchmark::State& state) {
    SMenuRig rig;
    unsigned nKey = plat::VK_DOWN;
    for (auto _ : state) {
        rig.pMenu->OnKeyUp(nKey);
        nKey = nKey == plat::VK_DOWN ? plat::VK_UP : plat::VK_DOWN;
    }
}
BENCHMARK(BM_MenuKeyUp);

// Frames mixed after the key until the first audible sample.
void BM_MenuKeyToSound(benchmark::State& state) {
    SMenuRig rig;
    std::vector<float> out(kBlock * 2);
    long nFrames = 0, nKeys = 0;
    for (auto _ : state) {
        for (int id = 0; id <= CSceenMenu::kTuneId; ++id) {
            rig.pMenu->m_soundPlay.Stop(id);
        }
        rig.pMenu->OnKeyUp(plat::VK_DOWN);
        for (int n = 0; n < 100; ++n) {
            g_pDirectSound[0]->Render(out.data(), kBlock);
            const auto loud =
                std::find_if(out.begin(), out.end(), [](float f) { return std::fabs(f) > 1e-4f; });
            if (loud != out.end()) {
                nFrames += n * static_cast<long>(kBlock) + (loud - out.begin()) / 2;
                break;
            }
        }
        ++nKeys;
    }
    state.counters["frames_to_voice"] = nKeys ? static_cast<double>(nFrames) / nKeys : 0;
    state.counters["ms_to_voice_with_card_block"] =
        nKeys ? (static_cast<double>(nFrames) / nKeys + kBlock) * 1000.0 / kRate : 0;
}
BENCHMARK(BM_MenuKeyToSound);

}  // namespace

BENCHMARK_MAIN();
