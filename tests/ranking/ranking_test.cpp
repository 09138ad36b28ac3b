// The submission request, the reading of the server's reply, the result
// pages and the update launcher, with the desktop replaced by fakes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/shell.h"
#include "platform/speech.h"
#include "platform/window.h"
#include "ranking/Ranking.h"

namespace {

std::string Host() {
    return "http://" + ranking::ServerHost();
}

TEST(SubmissionUrl, FollowsTheProtocolOrder) {
    EXPECT_EQ(ranking::BuildSubmissionUrl("Japan", "ABC", 1, 1200),
              Host() + "/game/quibbix/GameSet.asp?aria=Japan&name=ABC&mode=0&level=1&score=1200");
    EXPECT_EQ(ranking::BuildSubmissionUrl("", "", 0, -5),
              Host() + "/game/quibbix/GameSet.asp?aria=&name=&mode=0&level=0&score=-5");
}

TEST(SubmissionUrl, EncodesNameAndAreaSoTheyCannotRewriteTheQuery) {
    const std::string url =
        ranking::BuildSubmissionUrl("Antigua and Barbuda", "A&score=999999 x", 1, 10);
    EXPECT_EQ(url, Host() +
                       "/game/quibbix/GameSet.asp?aria=Antigua%20and%20Barbuda"
                       "&name=A%26score%3D999999%20x&mode=0&level=1&score=10");
    EXPECT_EQ(url.find(' '), std::string::npos);
}

TEST(SubmissionUrl, EncodesEveryByteButTheUnreservedOnes) {
    EXPECT_EQ(ranking::EncodeQueryValue("Az09-._~"), "Az09-._~");
    EXPECT_EQ(ranking::EncodeQueryValue("<script>/?#%+"), "%3Cscript%3E%2F%3F%23%25%2B");
    EXPECT_EQ(ranking::EncodeQueryValue("\xE3\x81\x82"), "%E3%81%82");  // one kana
    EXPECT_EQ(ranking::EncodeQueryValue(std::string("a\0b", 3)), "a%00b");
}

TEST(Reply, MarkersCountOnlyAfterTheFirstCharacter) {
    EXPECT_EQ(ranking::ReplyFromLines({"DATA_START", "Rank 3", "DATA_END"}), "Err");
    EXPECT_EQ(ranking::ReplyFromLines({"<!--DATA_START-->", "Rank 3", "<!--DATA_END-->"}),
              "Rank 3\r\n");
    EXPECT_EQ(ranking::ReplyFromLines({}), "Err");
    EXPECT_EQ(ranking::ReplyFromLines({"Rank 3", "more"}), "Err");
}

TEST(Reply, KeepsTheTrimmedNonEmptyLinesBetweenTheMarkers) {
    const std::vector<std::string> lines = {"<html>before",
                                            " ignored too",
                                            "x DATA_START marker text is dropped",
                                            "  Rank 3<P>Score 1200 \r",
                                            "   ",
                                            "\t\r\n",
                                            "\xE3\x80\x80wide\xE3\x80\x80",
                                            "<p>lower",
                                            "-DATA_END",
                                            "after the end"};
    EXPECT_EQ(ranking::ReplyFromLines(lines),
              "Rank 3\nScore 1200\r\n\xE3\x80\x80wide\xE3\x80\x80\r\n<p>lower\r\n");
}

// Sent again later only what nobody judged: the server's own state or no
// answer at all, never a verdict on the game.
TEST(Reply, OnlyAnAnswerThatJudgedNothingIsWorthSendingAgain) {
    const char* const again[] = {
        "Err",
        "Registered (not verified: the server is busy; try again later).\nScore 10\nRank 3 of 9",
        "Registered (not verified: the server is shutting down).\nScore 10",
        "Registered (not verified: its replay did not arrive).\nScore 10",
        "Not registered: the ranking cannot store records now.",
        "Not registered: too many records from your address. Try again in a minute.",
    };
    for (const char* text : again)
        EXPECT_TRUE(ranking::WorthResending(text)) << text;
    const char* const judged[] = {
        "Registered.\nScore 1650\nRank 1 of 1",
        "Registered (not verified: the replay does not run in step).\nScore 10",
        "Registered (not verified: the replay was already sent with another record).",
        "Registered (not verified: this server does not check replays).",
        "Not registered: the request names a key twice.",
    };
    for (const char* text : judged)
        EXPECT_FALSE(ranking::WorthResending(text)) << text;
}

TEST(Reply, WithoutAnEndMarkerRunsToTheLastLine) {
    EXPECT_EQ(ranking::ReplyFromLines({".DATA_START", "one", "", "two"}), "one\r\ntwo\r\n");
    EXPECT_EQ(ranking::ReplyFromLines({".DATA_START", "  "}), "Err");
}

class ShellTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetOpenUriHandler([this](const std::string& uri) {
            m_uris.push_back(uri);
            return m_bBrowserWorks;
        });
        plat::SetSpeechHandler([this](const std::string& text) {
            m_said.push_back(text);
            return true;
        });
        ranking::SetPackagedInstall(false);
        plat::SetSpawnHandler(
            [this](const std::string& program, const std::vector<std::string>& args) {
                m_program = program;
                m_args = args;
                return m_bSpawnWorks;
            });
    }
    void TearDown() override {
        plat::SetOpenUriHandler(nullptr);
        plat::SetSpawnHandler(nullptr);
        plat::SetSpeechHandler({});
        ranking::SetPackagedInstall(std::nullopt);
    }
    std::vector<std::string> m_uris;
    std::vector<std::string> m_said;
    bool m_bBrowserWorks = true;
    std::string m_program;
    std::vector<std::string> m_args;
    bool m_bSpawnWorks = true;
};

TEST_F(ShellTest, ResultPagesOpenInTheBrowser) {
    EXPECT_TRUE(ranking::OpenResultPage(0));
    EXPECT_TRUE(ranking::OpenResultPage(1));
    EXPECT_TRUE(ranking::OpenResultPage(2));
    const std::string page = Host() + "/game/quibbix/GameResult.asp?data=";
    EXPECT_EQ(m_uris, (std::vector<std::string>{page + "0", page + "1", page + "2"}));
    EXPECT_TRUE(m_said.empty());
}

// A player who cannot see the screen must hear that nothing opened, and
// where the page is.
TEST_F(ShellTest, ABrowserThatDoesNotStartIsAnnounced) {
    m_bBrowserWorks = false;
    EXPECT_FALSE(ranking::OpenResultPage(1));
    ASSERT_EQ(m_said.size(), 1u);
    EXPECT_NE(m_said[0].find("No web browser started"), std::string::npos) << m_said[0];
    EXPECT_NE(m_said[0].find(Host() + "/game/quibbix/GameResult.asp?data=1"), std::string::npos);
}

// Installed from a package there is no launcher: the player hears where
// updates come from, nothing is started and the game goes on.
TEST_F(ShellTest, APackagedGameSaysUpdatesComeThroughThePackageManager) {
    ranking::SetPackagedInstall(true);
    int nQuits = 0;
    EXPECT_EQ(ranking::LaunchUpdater("/usr/share/games/doruzoro", "doruzoro", "doruzoro",
                                     "doruzoro", [&nQuits] { ++nQuits; }),
              1);
    EXPECT_EQ(nQuits, 0);
    EXPECT_TRUE(m_program.empty());
    ASSERT_EQ(m_said.size(), 1u);
    EXPECT_NE(m_said[0].find("package manager"), std::string::npos) << m_said[0];
}

TEST(Packaged, AProgramBelowUsrOrAPackagesBuildIsPackaged) {
    ranking::SetPackagedInstall(std::nullopt);
#ifdef DORUZORO_PACKAGED
    EXPECT_TRUE(ranking::IsPackagedInstall());
#else
    // This test runs from the build folder.
    EXPECT_EQ(ranking::IsPackagedInstall(), plat::ExecutableDir().rfind("/usr/", 0) == 0);
#endif
}

TEST_F(ShellTest, UpdaterStartsFromTheBasePathAndTheProgramQuits) {
    for (const bool bWorks : {true, false}) {
        m_bSpawnWorks = bWorks;
        int nQuits = 0;
        EXPECT_EQ(ranking::LaunchUpdater("/opt/doruzoro", "doruzoro", "doruzoro", "doruzoro",
                                         [&nQuits] { ++nQuits; }),
                  1);
        EXPECT_EQ(nQuits, 1) << "launcher started: " << bWorks;
        EXPECT_EQ(m_program, "/opt/doruzoro/Hulvane.exe");
        EXPECT_EQ(m_args, (std::vector<std::string>{"/FILE=doruzoro", "/SERVER_PATH=doruzoro",
                                                    "/APPTITLE=doruzoro"}));
    }
    // The one that did not start was said before the program quit.
    ASSERT_EQ(m_said.size(), 1u);
    EXPECT_EQ(m_said[0], "The update launcher /opt/doruzoro/Hulvane.exe could not be started.");
}

TEST_F(ShellTest, AMissingLauncherStillQuits) {
    plat::SetSpawnHandler(nullptr);  // the real spawn, with nothing to start
    int nQuits = 0;
    ranking::LaunchUpdater("/nonexistent-doruzoro-dir", "a", "b", "c", [&nQuits] { ++nQuits; });
    EXPECT_EQ(nQuits, 1);
}

}  // namespace
