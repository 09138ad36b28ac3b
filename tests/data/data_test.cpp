// The generated data folder: every file the game and the menu open, read
// through the game's own sound reader and picture loader.
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/gfx.h"
#include "platform/paths.h"
#include "sound/WaveFile.h"

namespace {

const std::string kData = DORUZORO_DATA_DIR;

// The names exactly as the game and the menu ask for them.
std::vector<std::string> Voices() {
    std::vector<std::string> v = {"sound/menu/Title",
                                  "sound/menu/tutorial",
                                  "sound/menu/game",
                                  "sound/menu/NetRecord",
                                  "sound/menu/Challenger",
                                  "sound/menu/Country",
                                  "sound/menu/update",
                                  "sound/menu/end",
                                  "sound/voice/GameOver",
                                  "sound/voice/GetWideLazer",
                                  "sound/voice/PlayerOneUp",
                                  "sound/voice/BariaRecovery",
                                  "sound/voice/Congratulations",
                                  "sound/voice/Score",
                                  "sound/voice/Pause",
                                  "sound/voice/Resume",
                                  "sound/balance/even"};
    for (int n = 1; n <= 10; ++n)
        v.push_back("sound/stage/" + std::to_string(n));
    for (int n = 1; n <= 13; ++n)
        v.push_back("sound/text/" + std::to_string(n));
    for (int n = 1; n <= 300; ++n)
        v.push_back("sound/no/" + std::to_string(n));
    for (int n = 1; n <= 10; ++n)
        v.push_back("sound/volume/" + std::to_string(n));
    for (int n = 1; n <= 5; ++n) {
        v.push_back("sound/balance/voices" + std::to_string(n));
        v.push_back("sound/balance/effects" + std::to_string(n));
    }
    return v;
}
const std::vector<std::string> kLoops = {"sound/ufo1",  "sound/misile",  "sound/pinch",
                                         "sound/baria", "sound/youlose", "sound/opning"};
const std::vector<std::string> kOneShots = {
    "sound/winner",    "sound/clear",      "sound/Lazer1", "sound/Lazer2",  "sound/LazerNone",
    "sound/exprosion", "sound/exprosion2", "sound/kabe",   "sound/barianon"};

std::vector<int16_t> Samples(const std::string& name) {
    const std::string path = kData + "/" + name + ".kwv";
    std::string bytes;
    EXPECT_TRUE(plat::ReadFile(path, bytes)) << path;
    const SWaveResult r = ReadWave(bytes);
    EXPECT_TRUE(r.bOk && r.strMessage.empty()) << path << ": " << r.strMessage;
    EXPECT_EQ(r.format.nChannels, 1) << path;
    EXPECT_EQ(r.format.wBitsPerSample, 16) << path;
    std::vector<int16_t> s(r.arrData.size() / 2);
    for (size_t i = 0; i < s.size(); ++i)
        s[i] = static_cast<int16_t>(r.arrData[2 * i] | (r.arrData[2 * i + 1] << 8));
    EXPECT_GT(s.size(), 100u) << path;
    return s;
}

int Peak(const std::vector<int16_t>& s) {
    int p = 0;
    for (int16_t v : s)
        p = std::max(p, std::abs(static_cast<int>(v)));
    return p;
}

}  // namespace

TEST(GeneratedData, VoicesSpeakWithoutClipping) {
    for (const std::string& name : Voices()) {
        const std::vector<int16_t> s = Samples(name);
        const int p = Peak(s);
        EXPECT_GT(p, 3000) << name << " is near silent";
        EXPECT_LT(p, 32000) << name << " clips";
    }
}

TEST(GeneratedData, EffectsLeaveHeadroomAndLoopsJoinWithoutAJump) {
    for (const auto* list : {&kLoops, &kOneShots}) {
        for (const std::string& name : *list) {
            const std::vector<int16_t> s = Samples(name);
            if (s.size() < 2)
                continue;
            EXPECT_GT(Peak(s), 1000) << name;
            EXPECT_LE(Peak(s), 16384) << name << " leaves no headroom";
            if (list == &kLoops) {
                // The step from the last sample back to the first is no larger
                // than the largest step inside the loop.
                int inner = 0;
                for (size_t i = 1; i < s.size(); ++i)
                    inner = std::max(inner, std::abs(s[i] - s[i - 1]));
                EXPECT_LE(std::abs(s.front() - s.back()), inner) << name;
            }
        }
    }
}

TEST(GeneratedData, PicturesAndIconsLoadWithTheirExactNames) {
    for (const char* name :
         {"image/UFO.kpg", "image/Fighter.kpg", "image/misile.kpg", "image/Explosion.kpg",
          "icon/doruzoro-16.png", "icon/doruzoro-32.png", "icon/doruzoro-48.png"}) {
        plat::CImage img;
        EXPECT_EQ(img.Load(kData + "/" + name), 0) << name;
        EXPECT_GT(img.GetWidth(), 0) << name;
    }
    // The fighter is taller than a UFO so no UFO can pass below it unhit.
    plat::CImage ufo, fighter, missile;
    ufo.Load(kData + "/image/UFO.kpg");
    fighter.Load(kData + "/image/Fighter.kpg");
    missile.Load(kData + "/image/misile.kpg");
    EXPECT_GT(fighter.GetHeight(), ufo.GetHeight());
    // A missile leaves the field once its top is 100 pixels above the bottom;
    // the fighter's top is its height plus 10 above it. Together they must
    // span the 90 pixels between, with room to spare, or missiles never hit.
    EXPECT_GE(missile.GetHeight() + fighter.GetHeight(), 100);
}
