// One tick at a time: how UFOs sweep and descend, what the laser and the
// barrier stop, and what destroys the fighter.
#include "game_fixture.h"
#include "platform/keys.h"

namespace gametest {
namespace {

class TickTest : public GameFixture {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        StartInPlay();
    }
    CSceenGame& G() { return *m_pGame; }
    void FireFromFighter() { G().OnKeyUp(plat::VK_SPACE); }
};

TEST_F(TickTest, UfoSweepsRightTurnsAtTheEdgeDescendsAndSweepsBack) {
    m_pGame->m_fighter.x = 0;  // out of the UFO's row; no release above it matters here
    m_pGame->SpawnUfo();
    CUfo& ufo = *G().m_arrUfos.back();
    ASSERT_EQ(ufo.x, 1);
    ASSERT_EQ(ufo.y, kUfoSpawnY);
    ASSERT_EQ(ufo.bLeftward, 0);
    ASSERT_EQ(ufo.cx, kUfoCx);

    // Stage 1 moves 10 pixels a tick: x = 1 + 10 k until x + 40 reaches 700.
    for (int k = 1; k <= 65; ++k) {
        TickOnce();
        ASSERT_EQ(ufo.x, 1 + 10 * k) << "tick " << k;
        ASSERT_EQ(ufo.y, 80);
        ASSERT_EQ(ufo.bLeftward, 0);
    }
    // Tick 66 ends at x = 661: its right edge (701) is past the field, it
    // turns and comes down by twice its height. Nothing clamps it.
    TickOnce();
    EXPECT_EQ(ufo.x, 661);
    EXPECT_EQ(ufo.y, 120);
    EXPECT_EQ(ufo.bLeftward, 1);

    for (int k = 1; k <= 66; ++k) {
        TickOnce();
        ASSERT_EQ(ufo.x, 661 - 10 * k) << "back, tick " << k;
        ASSERT_EQ(ufo.y, 120);
    }
    // x = 1 is still on the field; the next step takes it to -9 and it turns.
    TickOnce();
    EXPECT_EQ(ufo.x, -9);
    EXPECT_EQ(ufo.y, 160);
    EXPECT_EQ(ufo.bLeftward, 0);
    TickOnce();
    EXPECT_EQ(ufo.x, 1);
    EXPECT_EQ(ufo.y, 160);
    EXPECT_EQ(G().m_arrUfos.size(), 1u);
}

TEST_F(TickTest, EachStageHasItsOwnUfoStepAndEntersFromTheLeftInStageOne) {
    const int kSteps[10] = {10, 12, 14, 16, 20, 23, 32, 36, 48, 53};
    for (int stage = 1; stage <= 10; ++stage) {
        G().m_nStage = stage;
        CUfo& ufo = AddUfo(100, 200);
        EXPECT_EQ(ufo.nSpeed, stage);
        G().MoveUfo(ufo);
        EXPECT_EQ(ufo.x, 100 + kSteps[stage - 1]) << "stage " << stage;
        ufo.bLeftward = 1;
        G().MoveUfo(ufo);
        EXPECT_EQ(ufo.x, 100) << "stage " << stage;
        EXPECT_EQ(ufo.y, 200);
        EXPECT_EQ(UfoStep(stage), kSteps[stage - 1]);
    }
}

TEST_F(TickTest, StageOneDrawsNoNumberAndLaterStagesEnterFromTheRightNowAndThen) {
    plat::Srand(77);
    const int expectedFirst = plat::Rand();
    plat::Srand(77);
    G().m_nUfoQuota = 1000;
    for (int i = 0; i < 20; ++i) {
        G().SpawnUfo();
        EXPECT_EQ(G().m_arrUfos.back()->x, 1);
        EXPECT_EQ(G().m_arrUfos.back()->bLeftward, 0);
    }
    EXPECT_EQ(plat::Rand(), expectedFirst);  // the generator was not touched

    G().Stop();
    G().m_nStage = 2;
    int nRight = 0;
    const int kSpawns = 400;
    for (int i = 0; i < kSpawns; ++i) {
        G().SpawnUfo();
        const CUfo& ufo = *G().m_arrUfos.back();
        if (ufo.bLeftward) {
            ++nRight;
            EXPECT_EQ(ufo.x, kFieldCx - kUfoCx);
        } else {
            EXPECT_EQ(ufo.x, 1);
        }
        G().Stop();
    }
    // Draws of 6 to 9 out of 0 to 10: about 40 %.
    EXPECT_GT(nRight, kSpawns * 30 / 100);
    EXPECT_LT(nRight, kSpawns * 50 / 100);
}

TEST_F(TickTest, LaserHitScoresTenSetsTheScoreLineAndSpeaksOne) {
    CUfo& ufo = AddUfo(330, 200);  // centred over the fighter after its step
    FireFromFighter();
    ASSERT_EQ(G().m_laser.nState, OS_ON);
    EXPECT_EQ(G().m_laser.x, 325);
    EXPECT_EQ(G().m_laser.y, 50);
    EXPECT_EQ(G().m_laser.cy, kFieldCy - kFighterCy - 20 - 50);
    EXPECT_TRUE(IsPlaying(G().m_laser.sound, G().m_laser.idLazer1));

    TickOnce();
    EXPECT_EQ(ufo.nState, OS_EXPLODING);
    EXPECT_FALSE(IsPlaying(ufo.sound, ufo.idHum));
    EXPECT_TRUE(IsPlaying(ufo.sound, ufo.idExplosion));
    EXPECT_EQ(G().m_nScore, 10);
    EXPECT_EQ(G().m_arrTextLines, std::vector<std::string>{"SCORE 10"});
    // The clip that plays is the number voice for 1, id 33, and no other.
    ASSERT_EQ(G().m_idNumber[0], 33);
    EXPECT_EQ(G().m_sound.m_arrPath[33], m_strBase + "\\sound\\no\\1.kwv");
    EXPECT_TRUE(IsPlaying(G().m_sound, 33));
    for (int id = 0; id < G().m_nSoundCount; ++id) {
        if (id != 33) {
            EXPECT_FALSE(IsPlaying(G().m_sound, id)) << "id " << id;
        }
    }
    // Shot down, it still took its release attempt in that tick.
    EXPECT_EQ(ufo.dwLastShot, m_clock.Now());
    std::vector<float> mix = Render(4800);
    EXPECT_GT(Energy(mix, 0), 0.0);
}

TEST_F(TickTest, ShotDownUfoStaysPutTwentyOneTicksThenTheNextComesAtOnce) {
    CUfo& ufo = AddUfo(330, 200);
    FireFromFighter();
    TickOnce();
    ASSERT_EQ(ufo.nState, OS_EXPLODING);
    const int x = ufo.x;
    for (int k = 1; k <= 20; ++k) {
        TickOnce();
        ASSERT_EQ(G().m_arrUfos.size(), 1u);
        ASSERT_EQ(ufo.x, x);
        ASSERT_EQ(ufo.nFrame, k);
    }
    EXPECT_FALSE(G().IsLaserOn());  // the 500 ms beam is long over
    EXPECT_FALSE(IsPlaying(G().m_laser.sound, G().m_laser.idLazer1));
    EXPECT_EQ(G().m_nScore, 10);  // scored once only
    TickOnce();
    ASSERT_EQ(G().m_arrUfos.size(), 1u);
    EXPECT_EQ(G().m_arrUfos.back()->x, 1);
    EXPECT_EQ(G().m_arrUfos.back()->nState, OS_ALIVE);
    EXPECT_EQ(G().m_nUfoSpawned, 2);
    EXPECT_EQ(G().m_dwNextSpawn, m_clock.Now() + 8000);
}

TEST_F(TickTest, LastUfoGoneClearsTheStageInThatTickWhileAMissileStillFalls) {
    G().m_nUfoQuota = 1;
    CUfo& ufo = AddUfo(330, 200);
    ufo.dwLastShot = m_clock.Now() + 100;  // no missile of its own
    AddMissile(100, 100);
    FireFromFighter();
    TickOnce();
    ASSERT_EQ(ufo.nState, OS_EXPLODING);
    for (int k = 0; k < 20; ++k) {
        TickOnce();
        ASSERT_EQ(G().m_nState, GS_PLAY);
    }
    ASSERT_EQ(G().m_arrMissiles.size(), 1u);
    TickOnce();  // the UFO is removed, no other may come: the stage is cleared
    EXPECT_EQ(G().m_nState, GS_INTRO);
    EXPECT_EQ(G().m_nStage, 2);
    EXPECT_EQ(G().m_strBanner, "STAGE 2 ");
    EXPECT_TRUE(G().m_arrMissiles.empty());
}

TEST_F(TickTest, ScoreOfOneHundredFiftySpeaksFifteen) {
    WriteTone("\\sound\\no\\15.kwv", 515);
    G().m_nScore = 140;
    AddUfo(330, 200);
    FireFromFighter();
    TickOnce();
    EXPECT_EQ(G().m_nScore, 150);
    EXPECT_EQ(G().m_arrTextLines, std::vector<std::string>{"SCORE 150"});
    EXPECT_TRUE(IsPlaying(G().m_sound, G().m_idNumber[14]));
    EXPECT_FALSE(IsPlaying(G().m_sound, G().m_idNumber[0]));
}

TEST_F(TickTest, BeamMissesAUfoBesideItAndATutorialUfoScoresNothing) {
    CUfo& beside = AddUfo(230, 200);  // right edge 280 after its step, beam from 325
    FireFromFighter();
    TickOnce();
    EXPECT_EQ(beside.nState, OS_ALIVE);
    EXPECT_EQ(G().m_nScore, 0);

    G().Stop();
    G().m_nState = GS_TUTORIAL;
    G().m_dwNextTutorialStep = m_clock.Now() + 100000;
    CUfo& above = AddUfo(330, 200);
    TickOnce();
    EXPECT_EQ(above.nState, OS_ALIVE);
    EXPECT_EQ(G().m_nScore, 0);
    EXPECT_TRUE(G().m_arrTextLines.empty());
}

TEST_F(TickTest, MissileFallsTenATickAndGoesSilentPastTheBottomLimit) {
    CMissile& missile = AddMissile(100, 480);
    EXPECT_TRUE(IsPlaying(missile.sound, missile.idFlight));
    TickOnce();
    EXPECT_EQ(missile.y, 490);
    TickOnce();
    EXPECT_EQ(missile.y, 500);  // not yet past cyClient - 100
    ASSERT_EQ(G().m_arrMissiles.size(), 1u);
    TickOnce();
    EXPECT_TRUE(G().m_arrMissiles.empty());
    EXPECT_EQ(m_pGame->m_fighter.nState, OS_ALIVE);
}

TEST_F(TickTest, MissileReleasedInATickFallsInThatTick) {
    G().m_nStage = 10;  // half of the attempts succeed
    bool bReleased = false;
    for (int attempt = 0; attempt < 30 && !bReleased; ++attempt) {
        G().Stop();
        CUfo& ufo = AddUfo(320, 200);
        ufo.nSpeed = 1;  // 10 pixels: centred over the fighter after its step
        TickOnce();
        ASSERT_EQ(ufo.dwLastShot, m_clock.Now());
        if (!G().m_arrMissiles.empty()) {
            bReleased = true;
            const CMissile& m = *G().m_arrMissiles.back();
            EXPECT_EQ(m.x, ufo.x - kMissileCx / 2);  // centred on the UFO's left edge
            EXPECT_EQ(m.y, ufo.y + kMissileFall);
            EXPECT_TRUE(IsPlaying(m.sound, m.idFlight));
            EXPECT_TRUE(IsPlaying(m.sound, m.idPinch));
        }
    }
    EXPECT_TRUE(bReleased);
}

TEST_F(TickTest, UfoTriesAReleaseAtMostEveryTwoSeconds) {
    CUfo& ufo = AddUfo(320, 200);
    ufo.nSpeed = 0;  // 8 pixels a tick: it stays above the fighter for a while
    TickOnce();
    const uint32_t first = ufo.dwLastShot;
    ASSERT_EQ(first, m_clock.Now());
    for (int k = 0; k < 20; ++k) {
        ufo.x = 320;
        TickOnce();
        ASSERT_EQ(ufo.dwLastShot, first) << k;
    }
    ufo.x = 320;
    TickOnce();  // 2100 ms after the first attempt
    EXPECT_EQ(ufo.dwLastShot, m_clock.Now());
}

TEST_F(TickTest, BarrierStopsAMissileAtItsTopEdgeAndItExplodesTwentyOneTicks) {
    G().OnKeyUp('Z');
    ASSERT_EQ(G().m_barrier.nState, OS_ON);
    EXPECT_EQ(G().m_barrier.y, kFieldCy * 3 / 4);
    EXPECT_EQ(G().m_barrier.cx, 2 * kFieldCx);
    EXPECT_EQ(G().m_nBarrierCharges, 2);
    CMissile& missile = AddMissile(100, 400);
    TickOnce();
    TickOnce();
    EXPECT_EQ(missile.nState, OS_ALIVE);  // bottom 440, barrier at 450
    TickOnce();
    // Bottom edge 450 on the barrier's top edge: they touch.
    EXPECT_EQ(missile.nState, OS_EXPLODING);
    EXPECT_EQ(missile.y, 430);
    EXPECT_FALSE(IsPlaying(missile.sound, missile.idFlight));
    EXPECT_FALSE(IsPlaying(missile.sound, missile.idPinch));
    EXPECT_TRUE(IsPlaying(missile.sound, missile.idExplosion));
    for (int k = 0; k < 20; ++k) {
        TickOnce();
        ASSERT_EQ(G().m_arrMissiles.size(), 1u);
        ASSERT_EQ(missile.y, 430);
    }
    TickOnce();
    EXPECT_TRUE(G().m_arrMissiles.empty());
}

TEST_F(TickTest, BarrierPastItsTimeStopsMissilesUntilTheNextDrawingPass) {
    G().OnKeyUp('Z');
    CMissile& late = AddMissile(100, 100);
    for (int k = 0; k < 32; ++k)
        TickOnce();  // 3.2 s: the barrier's time is up, but nothing drew
    EXPECT_EQ(late.y, 420);
    TickOnce();
    EXPECT_EQ(late.nState, OS_EXPLODING);

    G().Stop();
    G().Draw();
    EXPECT_EQ(G().m_barrier.nState, OS_ALIVE);
    EXPECT_FALSE(IsPlaying(G().m_barrier.sound, G().m_barrier.idBaria));
    CMissile& through = AddMissile(100, 400);
    for (int k = 0; k < 4; ++k)
        TickOnce();
    EXPECT_EQ(through.y, 440);
    EXPECT_EQ(through.nState, OS_ALIVE);
}

TEST_F(TickTest, BarrierStillUpUsesNoChargeAndNoneLeftClicks) {
    G().OnKeyUp('Z');
    G().OnKeyUp('Z');
    EXPECT_EQ(G().m_nBarrierCharges, 2);
    m_clock.Advance(3000);
    G().OnKeyUp('Z');
    EXPECT_EQ(G().m_nBarrierCharges, 1);
    m_clock.Advance(3000);
    G().OnKeyUp('Z');
    EXPECT_EQ(G().m_nBarrierCharges, 0);
    m_clock.Advance(3000);
    G().OnKeyUp('Z');
    EXPECT_EQ(G().m_nBarrierCharges, 0);
    EXPECT_TRUE(IsPlaying(G().m_barrier.sound, G().m_barrier.idBariaNone));
}

TEST_F(TickTest, LaserShootsDownAMissile) {
    CMissile& missile = AddMissile(345, 200);
    FireFromFighter();
    TickOnce();
    EXPECT_EQ(missile.nState, OS_EXPLODING);
    EXPECT_TRUE(IsPlaying(missile.sound, missile.idExplosion));
    EXPECT_FALSE(IsPlaying(missile.sound, missile.idFlight));
    EXPECT_EQ(G().m_nScore, 0);  // missiles score nothing
    EXPECT_EQ(m_pGame->m_fighter.nState, OS_ALIVE);
}

TEST_F(TickTest, LaserRechargesForTwoSecondsAndClicksWhenNotReady) {
    FireFromFighter();
    m_clock.Advance(600);
    EXPECT_FALSE(G().IsLaserOn());
    FireFromFighter();
    EXPECT_EQ(G().m_laser.nState, OS_ALIVE);
    EXPECT_TRUE(IsPlaying(G().m_laser.sound, G().m_laser.idLazerNone));
    m_clock.Advance(1400);
    FireFromFighter();
    EXPECT_EQ(G().m_laser.nState, OS_ON);
}

TEST_F(TickTest, UfoRammingTheFighterCostsALifeAndFreezesTheField) {
    CUfo& ufo = AddUfo(280, 560);  // right edge meets the fighter's left edge after its step
    TickOnce();
    const uint32_t hit = m_clock.Now();
    CFighter& f = G().m_fighter;
    EXPECT_EQ(f.nState, OS_EXPLODING);
    EXPECT_EQ(f.nFrame, 1);
    EXPECT_TRUE(IsPlaying(f.sound, f.idExplosion));
    EXPECT_EQ(ufo.nState, OS_EXPLODING);
    EXPECT_FALSE(IsPlaying(ufo.sound, ufo.idHum));
    EXPECT_TRUE(IsPlaying(ufo.sound, ufo.idExplosion));
    EXPECT_EQ(G().m_nLives, 2);
    EXPECT_EQ(G().m_nState, GS_LOST);
    EXPECT_EQ(G().m_dwWaitEnd, hit + 3000);
    EXPECT_EQ(G().m_nScore, 0);
    EXPECT_TRUE(G().m_arrTextLines.empty());

    for (int k = 2; k <= 30; ++k) {
        TickOnce();
        ASSERT_EQ(G().m_nState, GS_LOST);
        ASSERT_EQ(ufo.x, 290);  // frozen
        ASSERT_EQ(ufo.nFrame, 0);
        // It counts while exploding and stops once it is finished.
        ASSERT_EQ(f.nFrame, k > 21 ? 21 : k);
        ASSERT_EQ(f.nState, k > 20 ? OS_FINISHED : OS_EXPLODING);
    }
    TickOnce();
    ASSERT_EQ(m_clock.Now(), hit + 3000);
    EXPECT_EQ(G().m_nState, GS_LOST);  // the pause ends after, not at, 3000 ms
    TickOnce();
    EXPECT_EQ(G().m_nState, GS_INTRO);
    EXPECT_EQ(G().m_nStage, 1);
    EXPECT_EQ(G().m_strBanner, "STAGE 1 ");
    EXPECT_TRUE(G().m_arrUfos.empty());
}

TEST_F(TickTest, TwoUfosInOneTickCostTwoLives) {
    CUfo& a = AddUfo(280, 560);
    CUfo& b = AddUfo(380, 560, 1);  // from the right: left edge 370 meets the fighter's right edge
    TickOnce();
    EXPECT_EQ(a.nState, OS_EXPLODING);
    EXPECT_EQ(b.nState, OS_EXPLODING);
    EXPECT_EQ(G().m_nLives, 1);
    EXPECT_EQ(G().m_nState, GS_LOST);
}

TEST_F(TickTest, TwoHitsOnTheLastButOneLifeEndTheGame) {
    G().m_nLives = 2;
    G().m_nScore = 30;
    AddUfo(280, 560);
    AddUfo(380, 560, 1);
    TickOnce();
    EXPECT_EQ(G().m_nLives, 0);
    EXPECT_EQ(G().m_nState, GS_GAMEOVER);
    EXPECT_EQ(G().m_arrTextLines, std::vector<std::string>{"SCORE 30   GAME OVER"});
}

TEST_F(TickTest, UfoThatMissesTheFighterKeepsSweepingBelowIt) {
    CUfo& ufo = AddUfo(100, 600);  // under the fighter's row
    for (int k = 0; k < 100; ++k)
        TickOnce();
    EXPECT_EQ(G().m_fighter.nState, OS_ALIVE);
    EXPECT_EQ(G().m_arrUfos.size(), 1u);
    EXPECT_GT(ufo.y, 600);
}

// The tick counter wraps after 49.7 days of uptime; a pause or a timed
// spawn set a second before it keeps its length.
class CounterWrapTest : public TickTest {
protected:
    void SetUp() override {
        TickTest::SetUp();
        m_clock.Advance(0u - m_clock.Now() - 1000);
    }
};

TEST_F(CounterWrapTest, PauseAfterALostFighterLastsItsThreeSeconds) {
    AddUfo(280, 560);
    TickOnce();
    ASSERT_EQ(G().m_nState, GS_LOST);
    for (int k = 0; k < 30; ++k) {
        TickOnce();
        ASSERT_EQ(G().m_nState, GS_LOST) << "tick " << k;
    }
    TickOnce();
    EXPECT_EQ(G().m_nState, GS_INTRO);
}

TEST_F(CounterWrapTest, TimedSpawnComesWhenItIsDue) {
    G().m_dwNextSpawn = m_clock.Now() + 8000;
    for (int k = 0; k < 80; ++k) {
        TickOnce();
        ASSERT_EQ(G().m_nUfoSpawned, 0) << "tick " << k;
    }
    TickOnce();
    EXPECT_EQ(G().m_nUfoSpawned, 1);
}

// Without its picture a UFO is a point at its corner: it still turns at the
// edge, still takes the beam and still rams the fighter.
class NoUfoPictureTest : public TickTest {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        WritePicture("\\image\\Fighter.kpg", kFighterCx, kFighterCy);
        WriteObjectSounds();
        StartGame();
        EnterPlay();
    }
};

TEST_F(NoUfoPictureTest, PointUfoTurnsTakesTheBeamAndRamsTheFighter) {
    CUfo& edge = AddUfo(680, 100);
    ASSERT_EQ(edge.cx, 0);
    ASSERT_EQ(edge.cy, 0);
    CUfo& above = AddUfo(315, 200);   // on the beam's left edge after its step
    CUfo& ram = AddUfo(320, 560, 0);  // on the fighter's top-left corner after its step
    G().OnKeyUp(plat::VK_SPACE);
    TickOnce();
    EXPECT_EQ(edge.x, 690);
    EXPECT_EQ(edge.bLeftward, 0);
    EXPECT_EQ(above.nState, OS_EXPLODING);
    EXPECT_EQ(G().m_nScore, 10);
    EXPECT_EQ(ram.nState, OS_EXPLODING);
    EXPECT_EQ(G().m_fighter.nState, OS_EXPLODING);
    EXPECT_EQ(G().m_nState, GS_LOST);

    G().m_nState = GS_PLAY;
    G().m_fighter.nState = OS_ALIVE;
    G().m_fighter.nFrame = 0;
    TickOnce();
    EXPECT_EQ(edge.x, 700);  // x + 0 reaches the width: it turns, down by 2 x 0
    EXPECT_EQ(edge.bLeftward, 1);
    EXPECT_EQ(edge.y, 100);
}

// The test pictures' missile is too short to reach the fighter above the
// bottom limit; a tall one does.
class TallMissileTest : public TickTest {
protected:
    void SetUp() override {
        GameFixture::SetUp();
        WritePictures();
        WritePicture("\\image\\misile.kpg", kMissileCx, 70);
        WriteObjectSounds();
        StartGame();
        EnterPlay();
    }
};

TEST_F(TallMissileTest, MissileOnTheFighterVanishesAndCostsALife) {
    CMissile& missile = AddMissile(345, 480);  // bottom 560 on the fighter's top after its fall
    TickOnce();
    EXPECT_EQ(G().m_fighter.nState, OS_EXPLODING);
    EXPECT_TRUE(IsPlaying(G().m_fighter.sound, G().m_fighter.idExplosion));
    EXPECT_EQ(missile.nState, OS_FINISHED);  // no explosion of its own
    EXPECT_FALSE(IsPlaying(missile.sound, missile.idExplosion));
    EXPECT_FALSE(IsPlaying(missile.sound, missile.idFlight));
    EXPECT_EQ(G().m_nLives, 2);
    EXPECT_EQ(G().m_nState, GS_LOST);
}

TEST_F(TallMissileTest, UfoAndMissileInOneTickCostTwoLives) {
    AddUfo(280, 560);
    AddMissile(345, 480);
    TickOnce();
    EXPECT_EQ(G().m_nLives, 1);
    EXPECT_EQ(G().m_nState, GS_LOST);
}

TEST_F(TallMissileTest, MissileBlownUpByTheLaserStillDestroysTheFighterThatTick) {
    CMissile& missile = AddMissile(345, 480);
    FireFromFighter();
    TickOnce();
    EXPECT_EQ(G().m_fighter.nState, OS_EXPLODING);
    EXPECT_EQ(missile.nState, OS_FINISHED);
    EXPECT_EQ(G().m_nLives, 2);
}

TEST_F(TallMissileTest, ExplodingMissileNoLongerHitsTheFighter) {
    CMissile& missile = AddMissile(345, 470);
    G().OnKeyUp(plat::VK_SPACE);
    TickOnce();  // blown up by the beam at 480, bottom 550: short of the fighter
    ASSERT_EQ(missile.nState, OS_EXPLODING);
    EXPECT_EQ(G().m_fighter.nState, OS_ALIVE);
    missile.y = 495;  // on the fighter now, but exploding
    TickOnce();
    EXPECT_EQ(G().m_fighter.nState, OS_ALIVE);
    EXPECT_EQ(G().m_nLives, 3);
}

}  // namespace
}  // namespace gametest
