// The game's picture: a known state drawn into the window's pixels.
#include <gtest/gtest.h>

#include "game_fixture.h"

namespace {

using namespace gameview;

class DrawTest : public GameFixture {
protected:
    // A started game, emptied, in play: the test then puts things on the field.
    CSceenGame& PlayingGame() {
        WritePictures();
        CSceenGame& game = StartGame(2);
        game.Stop();
        game.m_nState = GS_PLAY;
        game.m_strBanner.clear();
        game.m_strBonus.clear();
        game.m_arrTextLines.clear();
        game.m_fighter.nState = OS_FINISHED;  // out of the way unless a test places it
        return game;
    }

    CUfo& AddUfo(CSceenGame& game, int x, int y) {
        auto ufo = std::make_unique<CUfo>();
        ufo->x = x;
        ufo->y = y;
        ufo->cx = game.m_imgUfo[0].GetWidth();
        ufo->cy = game.m_imgUfo[0].GetHeight();
        game.m_arrUfos.push_back(std::move(ufo));
        return *game.m_arrUfos.back();
    }

    CMissile& AddMissile(CSceenGame& game, int x, int y) {
        auto missile = std::make_unique<CMissile>();
        missile->x = x;
        missile->y = y;
        missile->cx = game.m_imgMissile.GetWidth();
        missile->cy = game.m_imgMissile.GetHeight();
        game.m_arrMissiles.push_back(std::move(missile));
        return *game.m_arrMissiles.back();
    }

    plat::COLORREF At(int x, int y) const { return Screen().GetPixel(x, y); }

    int Count(plat::COLORREF colour, const plat::RECT& area) const {
        int n = 0;
        for (int y = area.top; y < area.bottom; ++y) {
            for (int x = area.left; x < area.right; ++x) {
                n += At(x, y) == colour;
            }
        }
        return n;
    }

    void KeepPicture(const std::string& name) const {
        Screen().WritePng(::testing::TempDir() + "game_view_" + name + ".png");
    }
};

TEST_F(DrawTest, SpritesStandAtTheirObjectsPlacesWithTheirBlackLeftOut) {
    CSceenGame& game = PlayingGame();
    AddUfo(game, 100, 100);
    AddUfo(game, 110, 100);  // over the first: its black shows the first one's green
    AddMissile(game, 300, 100);
    game.Draw();
    KeepPicture("sprites");

    EXPECT_EQ(At(100 + 1, 100 + 1), kBlack);
    EXPECT_EQ(At(110 + 5, 100 + 8), kGreen);   // first UFO, under the second's black
    EXPECT_EQ(At(110 + 25, 100 + 8), kGreen);  // second UFO's own green
    EXPECT_EQ(At(110 + 35, 100 + 8), kBlack);
    // A live missile's picture has its corner at the centre of its box.
    EXPECT_EQ(At(305 + 5, 110 + 10), kBlue);
    EXPECT_EQ(At(300 + 5, 100 + 4), kBlack);
    EXPECT_EQ(Count(kBlue, {300, 100, 320, 140}), 4 * 14);
}

TEST_F(DrawTest, TheFighterIsCopiedOpaqueOverWhatLiesBelow) {
    CSceenGame& game = PlayingGame();
    AddUfo(game, 400, 300);  // green from x 410 to 429, y 305 to 314
    game.m_fighter.nState = OS_ALIVE;
    game.m_fighter.x = 412;
    game.m_fighter.y = 300;
    game.m_fighter.cx = 30;
    game.m_fighter.cy = 20;
    game.Draw();

    EXPECT_EQ(At(410, 308), kGreen);
    EXPECT_EQ(At(413, 308), kBlack);  // the fighter's own black covers the UFO
    EXPECT_EQ(At(412 + 10, 300 + 10), kCyan);
    EXPECT_EQ(Count(kCyan, {400, 290, 460, 330}), 20 * 10);
}

TEST_F(DrawTest, ExplosionsGrowFromTheCentreWithTheFrameCount) {
    CSceenGame& game = PlayingGame();
    CUfo& ufo = AddUfo(game, 200, 300);
    ufo.nState = OS_EXPLODING;
    ufo.nFrame = 10;  // a fifth: 10 x 10 at the centre (220, 310)
    CUfo& starting = AddUfo(game, 500, 300);
    starting.nState = OS_EXPLODING;  // frame 0: nothing visible
    CMissile& missile = AddMissile(game, 600, 100);
    missile.nState = OS_EXPLODING;
    missile.nFrame = 50;  // full size at (605, 110)
    CUfo& gone = AddUfo(game, 100, 100);
    gone.nState = OS_FINISHED;
    game.Draw();
    KeepPicture("explosions");

    EXPECT_EQ(Count(kOrange, {200, 300, 260, 340}), 100 - 25);
    EXPECT_EQ(At(227, 317), kOrange);
    EXPECT_EQ(At(222, 312), kBlack);  // the picture's black quarter, left out
    EXPECT_EQ(At(230, 320), kBlack);
    EXPECT_EQ(Count(kGreen, {200, 300, 240, 320}), 0);  // not the UFO picture
    EXPECT_EQ(Count(kOrange, {480, 280, 580, 380}), 0);
    EXPECT_EQ(Count(kOrange, {600, 100, 700, 200}), 2500 - 625);
    EXPECT_EQ(Count(kGreen, {100, 100, 140, 120}), 0);

    game.m_fighter.nState = OS_EXPLODING;
    game.m_fighter.nFrame = 21;
    game.m_fighter.x = 300;
    game.m_fighter.y = 500;
    game.m_fighter.cx = 30;
    game.m_fighter.cy = 20;
    game.Draw();
    // 21/50 of 50 is 21 pixels square, from (315, 510).
    EXPECT_EQ(Count(kOrange, {300, 500, 400, 570}), 21 * 21 - 10 * 10);
    EXPECT_EQ(Count(kCyan, {300, 500, 400, 570}), 0);
}

TEST_F(DrawTest, BeamAndBarrierBandUntilTheirTimeIsUp) {
    CSceenGame& game = PlayingGame();
    AddUfo(game, 500, 100);
    CLaser& laser = game.m_laser;
    laser.nState = OS_EXPLODING;
    laser.dwFireTime = m_clock.Now();
    laser.x = 505;
    laser.y = 50;
    laser.cx = 50;
    laser.cy = 470;
    CBarrier& barrier = game.m_barrier;
    barrier.nState = OS_EXPLODING;
    barrier.dwStartTime = m_clock.Now();
    barrier.x = 0;
    barrier.y = 570 * 3 / 4;
    barrier.cx = 2 * 732;
    barrier.cy = 10;
    game.Draw();
    KeepPicture("beam");

    EXPECT_EQ(At(520, 110), kYellow);  // over the UFO's green
    EXPECT_EQ(At(505, 50), kYellow);
    EXPECT_EQ(At(554, 519), kYellow);
    EXPECT_EQ(At(504, 200), kBlack);
    EXPECT_EQ(At(555, 200), kBlack);
    EXPECT_EQ(At(530, 430), kPink);  // the band covers the beam
    EXPECT_EQ(Count(kPink, {0, 420, 732, 440}), 732 * 10);

    m_clock.Advance(499);
    game.Draw();
    EXPECT_EQ(At(530, 200), kYellow);
    EXPECT_EQ(laser.nState, OS_EXPLODING);

    m_clock.Advance(1);
    game.Draw();
    EXPECT_EQ(laser.nState, OS_ALIVE);
    EXPECT_EQ(At(530, 200), kBlack);
    EXPECT_EQ(At(520, 110), kGreen);
    EXPECT_EQ(At(530, 430), kPink);

    m_clock.Advance(2500);
    game.Draw();
    EXPECT_EQ(barrier.nState, OS_ALIVE);
    EXPECT_EQ(Count(kPink, {0, 420, 732, 440}), 0);
}

TEST_F(DrawTest, TextLinesInRedAndCaptionsInYellowAtTheirPlaces) {
    CSceenGame& game = PlayingGame();
    game.SetTextLines("SCORE 10", "", "GAME OVER");
    game.m_strBanner = "STAGE 2 ";
    game.m_strBonus = "Get Wide Lazer";
    game.Draw();
    KeepPicture("texts");

    EXPECT_GT(Count(kRed, {10, 10, 300, 60}), 50);   // line 1
    EXPECT_GT(Count(kRed, {10, 60, 300, 110}), 50);  // "GAME OVER", the second line
    EXPECT_EQ(Count(kRed, {0, 110, 732, 570}), 0);
    EXPECT_EQ(Count(kRed, {0, 0, 10, 110}), 0);
    EXPECT_GT(Count(kYellow, {100, 200, 732, 300}), 200);  // banner
    EXPECT_GT(Count(kYellow, {100, 500, 732, 570}), 200);  // bonus caption
    EXPECT_EQ(Count(kYellow, {0, 0, 100, 570}), 0);
    EXPECT_EQ(Count(kYellow, {0, 300, 732, 500}), 0);
    // The large font is far taller than the small one.
    EXPECT_GT(Count(kYellow, {100, 200, 400, 300}), 2 * Count(kRed, {10, 10, 300, 60}));
}

TEST_F(DrawTest, OutsidePlayOnlyTheBackgroundAndTheTexts) {
    CSceenGame& game = PlayingGame();
    AddUfo(game, 100, 300);
    AddMissile(game, 300, 300);
    game.m_fighter.nState = OS_ALIVE;
    game.m_fighter.x = 500;
    game.m_fighter.y = 300;
    game.m_barrier.nState = OS_EXPLODING;
    game.m_barrier.dwStartTime = m_clock.Now();
    game.m_barrier.cx = 732;
    game.m_barrier.cy = 10;
    game.m_barrier.y = 400;
    game.m_strBanner = "Congratulations";
    for (const int nState : {GS_NONE, GS_ALLCLEAR, GS_INTRO}) {
        game.m_nState = nState;
        game.Draw();
        EXPECT_EQ(Count(kGreen, {0, 250, 732, 450}), 0) << nState;
        EXPECT_EQ(Count(kBlue, {0, 250, 732, 450}), 0) << nState;
        EXPECT_EQ(Count(kCyan, {0, 250, 732, 450}), 0) << nState;
        EXPECT_EQ(Count(kPink, {0, 250, 732, 450}), 0) << nState;
        EXPECT_GT(Count(kYellow, {100, 200, 732, 250}), 200) << nState;
    }
    for (const int nState : {GS_PLAY, GS_LOST, GS_GAMEOVER, GS_TUTORIAL}) {
        game.m_nState = nState;
        game.Draw();
        EXPECT_GT(Count(kGreen, {100, 300, 140, 320}), 0) << nState;
        EXPECT_GT(Count(kCyan, {500, 300, 530, 320}), 0) << nState;
        EXPECT_GT(Count(kPink, {0, 400, 732, 410}), 0) << nState;
    }
}

TEST_F(DrawTest, ANewPictureCoversTheOldOne) {
    CSceenGame& game = PlayingGame();
    CUfo& ufo = AddUfo(game, 100, 100);
    game.Draw();
    EXPECT_EQ(At(120, 110), kGreen);
    ufo.x = 300;
    game.Draw();
    EXPECT_EQ(At(120, 110), kBlack);
    EXPECT_EQ(At(320, 110), kGreen);
}

TEST_F(DrawTest, MissingOrBrokenPicturesDrawNothingAndNothingFails) {
    std::ofstream(m_strBase + "/image/UFO.kpg", std::ios::binary) << "\x89PNG\r\n\x1a\n broken";
    CSceenGame& game = StartGame(2);
    game.Stop();
    game.m_nState = GS_PLAY;
    game.m_strBanner.clear();
    game.m_arrTextLines.clear();
    EXPECT_TRUE(game.m_imgUfo[0].IsNull());
    EXPECT_TRUE(game.m_imgExplosion.IsNull());
    CUfo& ufo = AddUfo(game, 100, 100);
    CUfo& exploding = AddUfo(game, 200, 100);
    exploding.nState = OS_EXPLODING;
    exploding.nFrame = 10;
    ufo.nImage = 99;  // a slot the table does not have
    AddMissile(game, 300, 100);
    game.m_fighter.nState = OS_ALIVE;
    game.m_laser.nState = OS_EXPLODING;
    game.m_laser.dwFireTime = m_clock.Now();
    game.m_laser.x = 600;
    game.m_laser.y = 50;
    game.m_laser.cx = 50;
    game.m_laser.cy = 100;
    game.Draw();
    EXPECT_EQ(At(620, 100), kYellow);
    for (int y = 0; y < 570; y += 7) {
        for (int x = 0; x < 590; x += 7) {
            ASSERT_EQ(At(x, y), kBlack) << x << "," << y;
        }
    }
}

TEST_F(DrawTest, NoHostNoDrawing) {
    CSceenGame game;
    game.m_nState = GS_PLAY;
    game.Draw();  // before Start: nothing to draw into, and no failure
    SUCCEED();
}

}  // namespace
