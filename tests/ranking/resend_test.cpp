// A game sent when the ranking could not check it, against the real server
// program started by the test: while the server is out of reach, and while
// its checks are taken by a flood; the game keeps the record with its
// replay, asks before it sends anything again, and at its next start the
// record is sent and verified.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <thread>
#include <vector>

#include "RawHttp.h"
#include "app/DoruzorODlg.h"
#include "full_game.h"
#include "platform/digest.h"
#include "platform/msgbox.h"
#include "platform/sendnet.h"
#include "ranking/Ranking.h"
#include "recorded_game.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

int FreePort() {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = 0;
    if (bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    close(fd);
    return port;
}

// The server program on the port, checking replays against the pictures in
// strData, with a limit per address no flood reaches.
class CServerProcess {
public:
    CServerProcess(int nPort, const std::string& strDb, const std::string& strData) {
        std::vector<std::string> args = {DORUZORO_SERVER_BIN, "--address", "127.0.0.1", "--port",
                                         std::to_string(nPort), "--db", strDb, "--data", strData,
                                         "--submit-limit", "100000",
                                         // The flood's checks outlast the usual answer
                                         // deadline under the sanitizers: each request
                                         // waits for its own, so none is left queued.
                                         "--answer-deadline", "600000"};
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawn(&m_pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        for (int i = 0; i < 200 && m_pid > 0; ++i) {
            const int fd = rawhttp::Connect(static_cast<uint16_t>(nPort));
            if (fd >= 0) {
                close(fd);
                m_bUp = true;
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
    }
    ~CServerProcess() {
        if (m_pid > 0) {
            kill(m_pid, SIGTERM);
            waitpid(m_pid, nullptr, 0);
        }
    }
    bool Up() const { return m_bUp; }

private:
    pid_t m_pid = -1;
    bool m_bUp = false;
};

// The program's own host with its registration, its boxes answered here.
class CHost : public CDoruzorODlg {
public:
    explicit CHost(const std::string& strUnsent) {
        SetSceenFactories([] { return std::make_unique<replaytest::CScriptMenu>(); },
                          [] { return std::make_unique<CSceenGame>(); });
        m_strUnsentFolder = strUnsent;
    }
    // The game just ended with this score and replay, as the host holds it
    // when it offers the registration.
    void EndedGame(const recorded::SGame& game) {
        m_pGame = std::make_unique<CSceenGame>();
        m_pGame->m_nMode = game.nLevel + 1;
        m_pGame->m_nScore = game.nScore;
        m_strLastReplay = game.strReplay;
        m_nSceenKind = 2;
    }
    // The next start: the menu is open and its first tick comes.
    void Starts() {
        OpenSceen(1, 0);
        m_bOfferUnsent = true;
        DeliverTimer(1);
    }
};

class ResendTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        plat::SetAudioOffline(48000);
        s_strBase = ::testing::TempDir() + "doruzoro_resend_test." + std::to_string(getpid());
        fs::remove_all(s_strBase);
        recorded::WritePictures(s_strBase);
        s_game = recorded::ShooterGame(s_strBase);
    }
    static void TearDownTestSuite() { fs::remove_all(s_strBase); }

    void SetUp() override {
        const std::string name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
        m_strDir = s_strBase + "/" + name;
        fs::create_directories(m_strDir);
        m_nPort = FreePort();
        ranking::SetServerHost("127.0.0.1:" + std::to_string(m_nPort));
        plat::SetSendNetHandler([this](plat::SendNetFields& fields) {
            fields.name = m_strName;
            fields.selected = 1;
            return plat::IDOK;
        });
        plat::SetMessageBoxHandler(
            [this](const std::string& text, const std::string&) { m_arrBoxes.push_back(text); });
        plat::SetQuestionHandler([this](const std::string& text, const std::string&,
                                        const std::vector<std::string>& answers) {
            m_arrQuestions.push_back(text);
            m_arrAnswerSets.push_back(answers);
            return m_nAnswer;
        });
    }
    void TearDown() override {
        plat::SetQuestionHandler({});
        plat::SetMessageBoxHandler({});
        plat::SetSendNetHandler({});
        ranking::SetServerHost("");
    }
    std::unique_ptr<CServerProcess> StartServer() const {
        auto p = std::make_unique<CServerProcess>(m_nPort, m_strDir + "/ranking.db", s_strBase);
        EXPECT_TRUE(p->Up());
        return p;
    }
    std::string Unsent() const { return m_strDir + "/unsent"; }
    std::string Ranking() const {
        return rawhttp::Get(static_cast<uint16_t>(m_nPort), "/game/quibbix/GameResult.asp?data=1");
    }
    // Sent again at the next start, the record is verified and forgotten.
    void ExpectVerifiedAtTheNextStart(const recorded::SGame& game = s_game) {
        m_nAnswer = 0;  // send now
        CHost host(Unsent());
        host.Starts();
        ASSERT_FALSE(m_arrQuestions.empty());
        EXPECT_NE(
            m_arrQuestions.back().find("Score " + std::to_string(game.nScore) + " by " + m_strName),
            std::string::npos)
            << m_arrQuestions.back();
        EXPECT_EQ(m_arrAnswerSets.back(),
                  (std::vector<std::string>{"_Send now", "_Later", "_Forget them"}));
        ASSERT_FALSE(m_arrBoxes.empty());
        EXPECT_EQ(m_arrBoxes.back().rfind("Registered.", 0), 0u) << m_arrBoxes.back();
        EXPECT_TRUE(LoadUnsent(Unsent()).empty());
        const std::string cell = "<td>" + m_strName + "</td>";
        const std::string page = Ranking();
        EXPECT_LT(page.find(cell), page.find("Unverified records")) << page;
        // One record: one kept unverified when the checks were busy is the
        // one verified now, not a second beside it.
        const std::string all =
            rawhttp::Get(static_cast<uint16_t>(m_nPort), "/game/quibbix/GameResult.asp?data=0");
        const size_t first = all.find(cell);
        EXPECT_NE(first, std::string::npos) << all;
        EXPECT_EQ(all.find(cell, first + 1), std::string::npos) << all;
    }

    static std::string s_strBase;
    static recorded::SGame s_game;
    std::string m_strDir;
    int m_nPort = 0;
    int m_nAnswer = 1;              // later
    std::string m_strName = "Ear";  // typed into the registration
    std::vector<std::string> m_arrBoxes;
    std::vector<std::string> m_arrQuestions;
    std::vector<std::vector<std::string>> m_arrAnswerSets;
};

std::string ResendTest::s_strBase;
recorded::SGame ResendTest::s_game;

TEST_F(ResendTest, AGameSentWhileTheServerIsOutOfReachIsSentAgainAtTheNextStart) {
    ASSERT_GT(s_game.nScore, 0);
    {
        CHost host(Unsent());
        host.EndedGame(s_game);
        host.OfferRegistration();
    }
    ASSERT_EQ(m_arrBoxes.size(), 1u);
    EXPECT_EQ(m_arrBoxes[0], "Err");
    // Asked before anything goes again; "Later" keeps it with its replay.
    ASSERT_EQ(m_arrQuestions.size(), 1u);
    EXPECT_NE(m_arrQuestions[0].find("Send it again now?"), std::string::npos);
    EXPECT_EQ(m_arrAnswerSets[0], (std::vector<std::string>{"_Send now", "_Later"}));
    std::vector<SUnsentRecord> kept = LoadUnsent(Unsent());
    ASSERT_EQ(kept.size(), 1u);
    EXPECT_EQ(kept[0].strReplay, s_game.strReplay);
    EXPECT_EQ(kept[0].strName, "Ear");
    EXPECT_EQ(kept[0].nScore, s_game.nScore);

    // A start that is told "later" sends nothing and keeps it.
    const auto server = StartServer();
    {
        CHost host(Unsent());
        host.Starts();
    }
    EXPECT_EQ(m_arrQuestions.size(), 2u);
    EXPECT_EQ(m_arrBoxes.size(), 1u);
    EXPECT_EQ(LoadUnsent(Unsent()).size(), 1u);
    EXPECT_EQ(Ranking().find("<td>Ear</td>"), std::string::npos);
    ExpectVerifiedAtTheNextStart();
    // Nothing is left to offer: the start after that asks nothing.
    const size_t nAsked = m_arrQuestions.size();
    CHost host(Unsent());
    host.Starts();
    EXPECT_EQ(m_arrQuestions.size(), nAsked);
}

TEST_F(ResendTest, AGameSentWhileTheChecksAreTakenIsKeptAndVerifiedWhenSentAgain) {
    // A costly replay, named by a flood of records with a score it never
    // reaches: each is re-played whole, and the checks' queue fills.
    const std::string crowded = recorded::CrowdedGame(s_strBase, m_strDir + "/replays", 200000);
    const auto server = StartServer();
    const uint16_t port = static_cast<uint16_t>(m_nPort);
    const std::string upload = rawhttp::Exchange(
        port, "POST /game/quibbix/Replay.asp HTTP/1.1\r\nHost: x\r\nContent-Length: " +
                  std::to_string(crowded.size()) + "\r\nConnection: close\r\n\r\n" + crowded);
    ASSERT_NE(upload.find("Stored "), std::string::npos) << upload;
    // The flood goes on until the game has its answer, so that every check
    // that ends leaves its place to another of the flood's: 300 of its
    // requests wait at any time, each answered one replaced at once.
    const std::string request =
        "GET /game/quibbix/GameSet.asp?aria=&name=Flood&mode=0&level=1"
        "&score=7&replay=" +
        plat::Sha256Hex(crowded) + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n";
    std::atomic<int> nBusy{0};
    rawhttp::CFlood flood(
        port, 300, [&] { return request; },
        [&](const std::string& answer) {
            nBusy += answer.find("the server is busy") != std::string::npos ? 1 : 0;
        });
    // The game's record goes once the flood is answered "busy": the queue is full.
    for (int i = 0; i < 200 && nBusy == 0; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_GT(nBusy.load(), 0);
    // A check that ends between two of the flood's may still take the game's
    // record, which is then verified at once: another game, by another name,
    // is played and sent until one is answered busy.
    recorded::SGame game = s_game;
    for (int attempt = 0; attempt < 6; ++attempt) {
        if (attempt > 0)
            game = recorded::ShooterGame(s_strBase, 20261208 + static_cast<unsigned>(attempt));
        m_strName = "Ear" + std::string(static_cast<size_t>(attempt), '+');
        m_arrBoxes.clear();
        m_arrQuestions.clear();
        m_arrAnswerSets.clear();
        CHost host(Unsent());
        host.EndedGame(game);
        host.OfferRegistration();
        if (m_arrBoxes.size() != 1 || m_arrBoxes[0].rfind("Registered.", 0) != 0)
            break;
    }
    flood.Stop();  // every request of the flood answered: the checks are free again
    ASSERT_EQ(m_arrBoxes.size(), 1u);
    EXPECT_NE(m_arrBoxes[0].find("not verified: the server is busy; try again later"),
              std::string::npos)
        << m_arrBoxes[0];
    ASSERT_EQ(m_arrQuestions.size(), 1u);
    ASSERT_EQ(LoadUnsent(Unsent()).size(), 1u);
    ExpectVerifiedAtTheNextStart(game);
}

}  // namespace
