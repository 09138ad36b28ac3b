// Records short games through the host with pictures of the shipped sizes and
// writes them into the folder given as argument as uploads: the level and
// score bytes, then the whole file; and once more with the inflated data.
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "app/DoruzorODlg.h"
#include "platform/audio.h"
#include "platform/compress.h"
#include "platform/fake_clock.h"
#include "platform/gfx.h"
#include "platform/keys.h"
#include "platform/msgbox.h"
#include "platform/random.h"
#include "replay/ReplayCodec.h"

namespace {

class CQuietMenu : public CSceenMenu {
public:
    void Start(plat::CWnd*, const std::string&) override {}
    void Tick() override {}
    void Draw() override {}
};

std::string Recorded(const std::string& base, int nArg, unsigned seed, int nTicks, int& nScore) {
    plat::CFakeClock clock;
    const plat::CClockGuard guard(clock);
    plat::Srand(seed);
    CDoruzorODlg host;
    host.SetSceenFactories([] { return std::make_unique<CQuietMenu>(); },
                           [] { return std::make_unique<CSceenGame>(); });
    host.m_strBasePath = base;
    host.m_strReplayFolder = base + "/replays";
    host.OpenSceen(2, nArg);
    std::mt19937 rng(seed);
    const unsigned keys[] = {plat::VK_LEFT, plat::VK_RIGHT, plat::VK_SPACE, 'Z'};
    for (int i = 0; i < nTicks && host.m_pGame; ++i) {
        if (rng() % 3 == 0) {
            const unsigned key = keys[rng() % 4];
            host.DeliverKey(plat::WM_KEYDOWN, key);
            host.DeliverKey(plat::WM_KEYUP, key);
        }
        clock.Advance(100);
        host.DeliverTimer(1);
        host.DispatchPendingPaint();
    }
    nScore = host.m_pGame ? host.m_pGame->m_nScore : 0;
    host.CloseSceen();
    return host.m_strLastReplay;
}

std::string Inflated(const std::string& file) {
    constexpr size_t kFrame = sizeof replay::kMagic + 5;
    uint32_t n = 0;
    for (int i = 0; i < 4; ++i)
        n |= static_cast<uint32_t>(static_cast<uint8_t>(file[kFrame - 4 + i])) << (8 * i);
    std::string data;
    plat::InflateExact(file.data() + kFrame, file.size() - kFrame, n, data);
    return data;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2)
        return 2;
    plat::SetAudioOffline(48000);
    plat::SetMessageBoxHandler([](const std::string&, const std::string&) {});
    const std::string base = std::filesystem::temp_directory_path() / "doruzoro_upload_seeds";
    const std::pair<const char*, std::pair<int, int>> pictures[] = {
        {"/image/UFO.kpg", {40, 20}},
        {"/image/Fighter.kpg", {40, 50}},
        {"/image/misile.kpg", {10, 50}},
        {"/image/Explosion.kpg", {48, 48}}};
    std::filesystem::create_directories(base + "/image");
    for (const auto& p : pictures)
        plat::CSurface(p.second.first, p.second.second).WritePng(base + p.first);
    const struct {
        int nArg;
        unsigned seed;
        int nTicks;
    } games[] = {{0, 1, 150}, {1, 2, 200}, {1, 3, 900}};
    int n = 0;
    for (const auto& g : games) {
        int nScore = 0;
        const std::string file = Recorded(base, g.nArg, g.seed, g.nTicks, nScore);
        for (const bool bInflated : {false, true}) {
            std::string seed;
            seed += static_cast<char>(g.nArg | (bInflated ? 4 : 0));
            seed += static_cast<char>(nScore & 0xFF);
            seed += static_cast<char>((nScore >> 8) & 0xFF);
            seed += bInflated ? Inflated(file) : file;
            std::ofstream(std::string(argv[1]) + "/seed" + std::to_string(n++), std::ios::binary)
                << seed;
        }
    }
    std::filesystem::remove_all(base);
    return 0;
}
