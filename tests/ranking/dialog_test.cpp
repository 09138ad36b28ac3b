// The registration dialog's fields as the player finds and leaves them, and
// the host's ranking operations, with the dialog and desktop answered by
// fakes.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/DoruzorODlg.h"
#include "platform/msgbox.h"
#include "platform/sendnet.h"
#include "platform/shell.h"
#include "platform/speech.h"
#include "platform/window.h"
#include "ranking/DlgSendNet.h"
#include "ranking/Ranking.h"

namespace {

class SendNetTest : public ::testing::Test {
protected:
    void SetUp() override {
        plat::SetSendNetHandler([this](plat::SendNetFields& fields) {
            m_seen = fields;
            if (m_nAnswer == plat::IDOK) {
                fields.name = m_strTyped;
                fields.selected = m_nChosen;
            }
            return m_nAnswer;
        });
        plat::SetMessageBoxHandler(
            [this](const std::string& text, const std::string&) { m_shown.push_back(text); });
    }
    void TearDown() override {
        plat::SetSendNetHandler(nullptr);
        plat::SetMessageBoxHandler(nullptr);
    }
    int Run(CDlgSendNet& dlg) { return dlg.DoModal(); }

    plat::SendNetFields m_seen;
    int m_nAnswer = plat::IDOK;
    std::string m_strTyped;
    int m_nChosen = 0;
    std::vector<std::string> m_shown;
};

TEST_F(SendNetTest, OffersTheAreasInOrderAndPrefillsTheName) {
    CDlgSendNet dlg;
    dlg.m_strName = "  Kuro ";
    m_nAnswer = plat::IDCANCEL;
    Run(dlg);
    ASSERT_EQ(m_seen.areas.size(), 195u);
    EXPECT_EQ(m_seen.areas.front(), "Secret");
    EXPECT_EQ(m_seen.areas[84], "Japan");
    EXPECT_EQ(m_seen.areas.back(), "Zimbabwe");
    EXPECT_EQ(m_seen.name, "  Kuro ");
    EXPECT_EQ(m_seen.selected, 0);  // no stored area: "Secret"
}

TEST_F(SendNetTest, SelectsTheStoredAreaOnlyOnAnExactMatch) {
    const std::vector<std::pair<std::string, int>> cases = {
        {"Japan", 84}, {"Zimbabwe", 194}, {"japan", -1}, {"Japan ", -1}, {"Atlantis", -1}};
    for (const auto& [aria, position] : cases) {
        CDlgSendNet dlg;
        dlg.m_strAria = aria;
        m_nAnswer = plat::IDCANCEL;
        Run(dlg);
        EXPECT_EQ(m_seen.selected, position) << aria;
    }
}

TEST_F(SendNetTest, SendKeepsTheTextsAndCloseKeepsTheHostsValues) {
    CDlgSendNet dlg;
    dlg.m_strName = "old";
    dlg.m_strAria = "UK";
    m_nAnswer = plat::IDCANCEL;
    m_strTyped = "new";
    EXPECT_EQ(Run(dlg), plat::IDCANCEL);
    EXPECT_EQ(dlg.m_strName, "old");
    EXPECT_EQ(dlg.m_strAria, "UK");

    m_nAnswer = plat::IDOK;
    m_strTyped = " new name ";
    m_nChosen = 84;
    EXPECT_EQ(Run(dlg), plat::IDOK);
    EXPECT_EQ(dlg.m_strName, " new name ");
    EXPECT_EQ(dlg.m_strAria, "Japan");

    m_strTyped = "";
    m_nChosen = -1;  // nothing selected: an empty area, still sent
    EXPECT_EQ(Run(dlg), plat::IDOK);
    EXPECT_EQ(dlg.m_strName, "");
    EXPECT_EQ(dlg.m_strAria, "");
}

TEST_F(SendNetTest, ClosingTheRegistrationSendsAndShowsNothing) {
    CDoruzorODlg host;
    host.m_pGame = std::make_unique<CSceenGame>();
    host.m_reg.m_strName = "Kuro";
    host.m_reg.m_strAria = "Japan";
    m_nAnswer = plat::IDCANCEL;
    m_strTyped = "other";
    host.OfferRegistration();
    EXPECT_EQ(m_seen.name, "Kuro");
    EXPECT_EQ(m_seen.selected, 84);
    EXPECT_TRUE(m_shown.empty());
    EXPECT_EQ(host.m_reg.m_strName, "Kuro");
    EXPECT_EQ(host.m_reg.m_strAria, "Japan");
}

TEST(HostRanking, ResultPagesAndTheUpdaterGoThroughTheDesktop) {
    std::vector<std::string> uris;
    std::string program;
    plat::SetOpenUriHandler([&uris](const std::string& uri) {
        uris.push_back(uri);
        return true;
    });
    plat::SetSpawnHandler([&program](const std::string& p, const std::vector<std::string>&) {
        program = p;
        return false;
    });
    std::vector<std::string> said;
    plat::SetSpeechHandler([&said](const std::string& text) {
        said.push_back(text);
        return true;
    });
    ranking::SetPackagedInstall(false);
    CDoruzorODlg host;
    host.m_strBasePath = "/base";
    host.OpenResultPage(2);
    ASSERT_EQ(uris.size(), 1u);
    EXPECT_NE(uris[0].find("/game/quibbix/GameResult.asp?data=2"), std::string::npos);
    EXPECT_FALSE(host.IsModalLoopEnded());
    EXPECT_EQ(host.LaunchUpdater("doruzoro", "doruzoro", "doruzoro"), 1);
    EXPECT_EQ(program, "/base/Hulvane.exe");
    EXPECT_TRUE(host.IsModalLoopEnded());  // quits though the launcher failed
    EXPECT_EQ(
        said,
        (std::vector<std::string>{"The update launcher /base/Hulvane.exe could not be started."}));
    plat::SetOpenUriHandler(nullptr);
    plat::SetSpawnHandler(nullptr);
    plat::SetSpeechHandler({});
    ranking::SetPackagedInstall(std::nullopt);
}

// Installed from a package, "Update" tells where updates come from and the
// program goes on.
TEST(HostRanking, APackagedGameStaysOnUpdate) {
    std::vector<std::string> said;
    plat::SetSpeechHandler([&said](const std::string& text) {
        said.push_back(text);
        return false;  // no speech service: the box says it
    });
    std::vector<std::string> boxes;
    plat::SetMessageBoxHandler(
        [&boxes](const std::string& text, const std::string&) { boxes.push_back(text); });
    ranking::SetPackagedInstall(true);
    CDoruzorODlg host;
    EXPECT_EQ(host.LaunchUpdater("doruzoro", "doruzoro", "doruzoro"), 1);
    EXPECT_FALSE(host.IsModalLoopEnded());
    EXPECT_EQ(said.size(), 1u);
    EXPECT_EQ(boxes, said);
    plat::SetSpeechHandler({});
    plat::SetMessageBoxHandler({});
    ranking::SetPackagedInstall(std::nullopt);
}

}  // namespace
