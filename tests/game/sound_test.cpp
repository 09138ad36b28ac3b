// Where a UFO's hum and a missile's sounds are heard: the values the game
// gives the sound player, and the stereo mix the offline device renders.
#include <cmath>

#include "game_fixture.h"
#include "platform/keys.h"

namespace gametest {
namespace {

constexpr size_t kSettle = 2400;   // 50 ms: parameter ramps are over
constexpr size_t kMeasure = 9600;  // 200 ms

double Db(double ratio) {
    return 10.0 * std::log10(ratio);
}

class HumTest : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        StartInPlay();
        Render(kSettle);  // whatever earlier tests left fades out
    }
    // A hum whose centre, after the tick's 10-pixel step, stands dx pixels
    // right of the fighter centre (negative: left).
    CUfo& HumAt(int dx, int y = 200) {
        CUfo& ufo = AddUfo(FighterCentre() + dx - kUfoCx / 2 - 10, y);
        // An attempt just made: no missile of its own joins the mix.
        ufo.dwLastShot = m_clock.Now() + 100;
        TickOnce();
        return ufo;
    }
    struct SEnergy {
        double left, right;
    };
    static SEnergy Measure() {
        Render(kSettle);
        const std::vector<float> mix = Render(kMeasure);
        return {Energy(mix, 0), Energy(mix, 1)};
    }
};

TEST_F(HumTest, PlacementRulesGiveTheValuesOfTheRules) {
    // 300 pixels left in a 700-pixel field: -10000 * 300 / 350, truncated.
    EXPECT_EQ(SoundPan(30, 40, 350, 700), -8571);
    EXPECT_EQ(UfoHumVolume(30, 40, 350, 700), -3000);
    EXPECT_EQ(SoundPan(330, 40, 350, 700), 0);
    EXPECT_EQ(UfoHumVolume(330, 40, 350, 700), 0);
    EXPECT_EQ(SoundPan(360, 10, 315, 700), 1428);  // 50 pixels right
    // Two thirds of the width (466.67) is the cut-off, compared unrounded.
    EXPECT_EQ(UfoHumVolume(0, 40, 20 + 466, 700), -4660);
    EXPECT_EQ(UfoHumVolume(0, 40, 20 + 467, 700), -9600);
    EXPECT_EQ(SoundPan(0, 40, 20 + 467, 700), -13342);  // refused by the player
    EXPECT_EQ(UfoPitch(200, 600), 33333u);
    EXPECT_EQ(MissilePitch(300, 600), 70000u);
}

TEST_F(HumTest, HumLeftOfTheFighterIsLouderOnTheLeft) {
    CUfo& ufo = HumAt(-70);
    ASSERT_EQ(ufo.Centre(), FighterCentre() - 70);
    ASSERT_TRUE(IsPlaying(ufo.sound, ufo.idHum));
    EXPECT_EQ(g_soundVolume.m_nCurrent[ufo.idHum], -700);
    EXPECT_EQ(ufo.sound.m_pBuffer[ufo.idHum]->GetFrequency(), 36666u);  // 33333 x 1.1
    const SEnergy e = Measure();
    // Pan -2000: the right side 20 dB down.
    EXPECT_NEAR(Db(e.left / e.right), 20.0, 0.1);
}

TEST_F(HumTest, HumRightOfTheFighterIsLouderOnTheRight) {
    CUfo& ufo = HumAt(70);
    EXPECT_EQ(g_soundVolume.m_nCurrent[ufo.idHum], -700);
    const SEnergy e = Measure();
    EXPECT_NEAR(Db(e.right / e.left), 20.0, 0.1);
}

TEST_F(HumTest, HumStraightAboveIsCentredAtFullVolumeAndDistanceAttenuates) {
    CUfo& ufo = HumAt(0);
    EXPECT_EQ(g_soundVolume.m_nCurrent[ufo.idHum], 0);
    const SEnergy centred = Measure();
    EXPECT_NEAR(Db(centred.left / centred.right), 0.0, 0.01);

    // The same height, 70 pixels left: -700 overall, pan -2000 on the right.
    ufo.x = FighterCentre() - 70 - kUfoCx / 2 - 10;
    TickOnce();
    const SEnergy side = Measure();
    EXPECT_NEAR(Db(side.left / centred.left), -7.0, 0.1);
    EXPECT_NEAR(Db(side.right / centred.right), -27.0, 0.1);
}

TEST_F(HumTest, HumFarLeftIsPannedHardAndQuieter) {
    CUfo& ufo = HumAt(-300);
    EXPECT_EQ(g_soundVolume.m_nCurrent[ufo.idHum], -3000);
    const SEnergy e = Measure();
    EXPECT_NEAR(Db(e.left / e.right), 85.71, 0.2);
}

TEST_F(HumTest, HumFartherThanTwoThirdsIsNearlySilentAndKeepsItsLastPan) {
    PlaceFighter(kFieldCx - kFighterCx);  // centre 680
    CUfo& ufo = HumAt(-200);
    const SEnergy before = Measure();
    ufo.x = -10;  // centre 20 after its step: 660 pixels away
    TickOnce();
    EXPECT_EQ(g_soundVolume.m_nCurrent[ufo.idHum], -9600);
    const SEnergy e = Measure();
    EXPECT_LT(Db(e.left / before.left), -70.0);
    // The pan out of range was refused: still -5714 from the last placement.
    EXPECT_NEAR(Db(e.left / e.right), 57.14, 0.5);
}

TEST_F(HumTest, HumRisesInPitchAsItComesDown) {
    CUfo& ufo = HumAt(0, 100);
    const uint32_t high = ufo.sound.m_pBuffer[ufo.idHum]->GetFrequency();
    ufo.y = 400;
    ufo.x -= 10;
    TickOnce();
    const uint32_t low = ufo.sound.m_pBuffer[ufo.idHum]->GetFrequency();
    EXPECT_EQ(high, 18332u);  // 16666 x 1.1
    EXPECT_EQ(low, 73332u);   // 66666 x 1.1
}

TEST_F(HumTest, CloseLowMissileIsHeardByItsWarningOnTheRight) {
    // 50 pixels right of the fighter centre and below three fifths of the field.
    CMissile& missile = AddMissile(FighterCentre() + 50 - kMissileCx / 2, 390);
    TickOnce();
    ASSERT_EQ(missile.y, 400);
    ASSERT_EQ(missile.nState, OS_ALIVE);
    EXPECT_EQ(g_soundVolume.m_nCurrent[missile.idPinch], -500);
    EXPECT_EQ(g_soundVolume.m_nCurrent[missile.idFlight], -9600);
    EXPECT_EQ(missile.sound.m_pBuffer[missile.idFlight]->GetFrequency(),
              static_cast<uint32_t>(400 * 140000 / kFieldCy * 1.1));
    const SEnergy e = Measure();
    // Pan +10000 x 50 / 350 = 1428: the left side 14.28 dB down.
    EXPECT_NEAR(Db(e.right / e.left), 14.28, 0.1);
}

TEST_F(HumTest, MissileHighUpIsHeardByItsFlightSound) {
    CMissile& missile = AddMissile(FighterCentre() - 50 - kMissileCx / 2, 100);
    TickOnce();
    EXPECT_EQ(g_soundVolume.m_nCurrent[missile.idPinch], -9600);
    EXPECT_EQ(g_soundVolume.m_nCurrent[missile.idFlight], -500);
    const SEnergy e = Measure();
    EXPECT_NEAR(Db(e.left / e.right), 14.28, 0.1);
}

TEST_F(HumTest, FighterDestroyedSilencesEveryHum) {
    CUfo& far = HumAt(-200);
    AddUfo(280, 560);
    TickOnce();
    ASSERT_EQ(m_pGame->m_nState, GS_LOST);
    EXPECT_FALSE(IsPlaying(far.sound, far.idHum));
}

// The volume memory is kept per id across players, and the placed sounds
// (hums, flight sounds, warnings) share their ids with the one-shot cues.
// A cue must still be heard at full volume whatever a placement left.
class CueTest : public HumTest {
protected:
    // Amplitude of the hz component of one channel.
    static double ToneLevel(const std::vector<float>& stereo, int channel, double hz) {
        double re = 0, im = 0;
        const size_t n = stereo.size() / 2;
        for (size_t i = 0; i < n; ++i) {
            const double w = 2 * wavetest::kPi * hz * static_cast<double>(i) / kRate;
            re += stereo[2 * i + static_cast<size_t>(channel)] * std::cos(w);
            im += stereo[2 * i + static_cast<size_t>(channel)] * std::sin(w);
        }
        return 2 * std::sqrt(re * re + im * im) / static_cast<double>(n);
    }
    static std::vector<float> Heard() {
        Render(kSettle);
        return Render(kMeasure);
    }
};

TEST_F(CueTest, LaserShotIsHeardAtFullVolumeWithAFarHumOnItsId) {
    PlaceFighter(kFieldCx - kFighterCx);  // centre 680
    CUfo& far = HumAt(-660);
    ASSERT_EQ(g_soundVolume.m_nCurrent[far.idHum], -9600);
    m_pGame->OnKeyUp(plat::VK_SPACE);
    ASSERT_TRUE(IsPlaying(m_pGame->m_laser.sound, m_pGame->m_laser.idLazer1));
    const std::vector<float> mix = Heard();
    EXPECT_NEAR(ToneLevel(mix, 0, 1200), 0.5, 0.05);
    EXPECT_NEAR(ToneLevel(mix, 1, 1200), 0.5, 0.05);
}

TEST_F(CueTest, WallBumpIsHeardAtFullVolumeWithAFarMissileOnItsId) {
    PlaceFighter(kFieldCx - kFighterCx);
    CMissile& far = AddMissile(0, 100);
    TickOnce();
    ASSERT_EQ(g_soundVolume.m_nCurrent[far.idFlight], -10 * (680 - 5));
    m_pGame->OnKeyDown(plat::VK_RIGHT);  // one step past the edge is allowed
    m_pGame->OnKeyDown(plat::VK_RIGHT);  // then the wall
    ASSERT_TRUE(IsPlaying(m_pGame->m_fighter.sound, m_pGame->m_fighter.idWall));
    const std::vector<float> mix = Heard();
    EXPECT_NEAR(ToneLevel(mix, 1, 300), 0.5, 0.05);  // from the right
    EXPECT_LT(ToneLevel(mix, 0, 300), 0.01);
}

TEST_F(CueTest, ShotDownUfoExplodesAtFullVolumeWithAMissileWarningOnItsId) {
    // A missile close and low, in its warning phase: its flight sound's id
    // is set to -9600, the id of a UFO's explosion.
    CMissile& close = AddMissile(FighterCentre() + 60 - kMissileCx / 2, 390);  // beside the beam
    CUfo& ufo = AddUfo(330, 200);
    ufo.dwLastShot = m_clock.Now() + 100;
    m_pGame->OnKeyUp(plat::VK_SPACE);
    TickOnce();
    ASSERT_EQ(ufo.nState, OS_EXPLODING);
    ASSERT_EQ(g_soundVolume.m_nCurrent[close.idFlight], -9600);
    // As loud as the beam, both at full volume (the mix is limited).
    const std::vector<float> mix = Heard();
    EXPECT_NEAR(ToneLevel(mix, 0, 200) / ToneLevel(mix, 0, 1200), 1.0, 0.1);
}

TEST_F(CueTest, BarrierIsHeardAtFullVolumeWithAFarHumOnItsId) {
    PlaceFighter(kFieldCx - kFighterCx);
    HumAt(-660);
    m_pGame->OnKeyUp('Z');
    const std::vector<float> mix = Heard();
    EXPECT_NEAR(ToneLevel(mix, 0, 250), 0.5, 0.05);
}

}  // namespace
}  // namespace gametest
