// The desktop's speech service, as a screen reader's user has it: a real
// speech-dispatcher in a folder of the test's own, whose output module
// writes what it is given to say into a file. Without it, or when it does
// not answer, the text comes in a message box instead, at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>

#include "platform/msgbox.h"
#include "platform/speech.h"

namespace {

namespace fs = std::filesystem;
constexpr const char* kDaemon = "/usr/bin/speech-dispatcher";

std::string Slurp(const std::string& path) {
    std::ifstream in(path);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
}

// One speech-dispatcher for one test, gone with the object.
class CSpeechService {
public:
    explicit CSpeechService(const std::string& dir) : m_strDir(dir) {
        fs::remove_all(dir);
        fs::create_directories(dir + "/conf/modules");
        fs::create_directories(dir + "/log");
        std::ofstream(dir + "/conf/speechd.conf")
            << "AddModule \"recorder\" \"sd_generic\" \"recorder.conf\"\n"
               "DefaultModule recorder\n"
               // The module plays nothing itself; the library's output opens no card.
               "AudioOutputMethod \"libao\"\n";
        std::ofstream(dir + "/conf/modules/recorder.conf")
            << "GenericExecuteSynth \"printf '%s\\\\n' \\'$DATA\\' >> " << Spoken() << "\"\n"
            << "GenericLanguage \"en\" \"en\" \"utf-8\"\nAddVoice \"en\" \"MALE1\" \"en\"\n";
        m_pid = fork();
        if (m_pid == 0) {
            // Its state goes in the test's folder, never the user's.
            setenv("HOME", dir.c_str(), 1);
            setenv("XDG_CACHE_HOME", (dir + "/cache").c_str(), 1);
            setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
            const std::string conf = dir + "/conf", log = dir + "/log", pid = dir + "/pid";
            const std::string sock = Socket();
            const int out = open((log + "/stderr").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
            dup2(out, 1);
            dup2(out, 2);
            execl(kDaemon, kDaemon, "-s", "-t", "0", "-C", conf.c_str(), "-S", sock.c_str(), "-L",
                  log.c_str(), "-P", pid.c_str(), "-m", "/usr/lib/speech-dispatcher-modules",
                  static_cast<char*>(nullptr));
            _exit(127);
        }
        for (int i = 0; i < 100 && !fs::exists(Socket()); ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    ~CSpeechService() {
        Stop();
        fs::remove_all(m_strDir);
    }
    void Stop() {
        if (m_pid <= 0)
            return;
        // A service busy with its module may take its time over SIGTERM (a
        // loaded machine saw it never end): five seconds, then SIGKILL.
        kill(m_pid, SIGTERM);
        for (int i = 0; i < 100 && waitpid(m_pid, nullptr, WNOHANG) == 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (kill(m_pid, 0) == 0) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        m_pid = -1;
    }
    bool Running() const { return m_pid > 0 && fs::exists(Socket()); }
    std::string Socket() const { return m_strDir + "/speechd.sock"; }
    std::string Spoken() const { return m_strDir + "/spoken.txt"; }
    // Waits up to five seconds for the module to have said text.
    bool Said(const std::string& text) const {
        for (int i = 0; i < 100; ++i) {
            if (Slurp(Spoken()).find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        return false;
    }

private:
    std::string m_strDir;
    pid_t m_pid = -1;
};

class SpeechTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (access(kDaemon, X_OK) != 0)
            GTEST_SKIP() << "speech-dispatcher is not installed";  // a failure under CI
        m_strDir = ::testing::TempDir() + "doruzoro_speech_" +
                   ::testing::UnitTest::GetInstance()->current_test_info()->name();
        plat::SetMessageBoxHandler([this](const std::string& text, const std::string& caption) {
            m_arrBoxes.push_back(caption + ": " + text);
        });
    }
    void TearDown() override {
        plat::SetMessageBoxHandler({});
        unsetenv("SPEECHD_ADDRESS");
    }
    void UseAddress(const std::string& socket) {
        setenv("SPEECHD_ADDRESS", ("unix_socket:" + socket).c_str(), 1);
    }

    std::string m_strDir;
    std::vector<std::string> m_arrBoxes;
};

TEST_F(SpeechTest, ARunningServiceSaysItAndNoBoxComes) {
    CSpeechService service(m_strDir);
    ASSERT_TRUE(service.Running());
    UseAddress(service.Socket());
    const std::string text = "No web browser started, so the page can't be shown.";
    EXPECT_TRUE(plat::Announce(text, "DoruzorO"));
    EXPECT_TRUE(service.Said(text)) << Slurp(service.Spoken());
    EXPECT_TRUE(m_arrBoxes.empty());

    // Gone: the next one comes in the box, and nothing waits for a service.
    service.Stop();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(plat::Announce("The replay could not be saved.", "DoruzorO"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(m_arrBoxes, (std::vector<std::string>{"DoruzorO: The replay could not be saved."}));
}

// A service that takes the connection and never answers costs the game half
// a second, and the player still gets the box.
TEST_F(SpeechTest, AServiceThatHangsGivesTheBoxSoon) {
    fs::create_directories(m_strDir);
    const std::string path = m_strDir + "/hung.sock";
    fs::remove(path);
    const int fd = socket(AF_UNIX, SOCK_STREAM, 0);
    ASSERT_GE(fd, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    ASSERT_LT(path.size(), sizeof addr.sun_path);
    std::copy(path.begin(), path.end(), addr.sun_path);
    ASSERT_EQ(bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
    ASSERT_EQ(listen(fd, 4), 0);
    UseAddress(path);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(plat::Announce("Updates come through the package manager.", ""));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(2));
    EXPECT_EQ(m_arrBoxes.size(), 1u);
    close(fd);  // the client's thread sees the end and goes
    fs::remove_all(m_strDir);
}

TEST_F(SpeechTest, NoServiceAtAllGivesTheBox) {
    UseAddress(m_strDir + "/nothing-here.sock");
    EXPECT_FALSE(plat::Announce("Nothing to say it with.", "DoruzorO"));
    EXPECT_EQ(m_arrBoxes, (std::vector<std::string>{"DoruzorO: Nothing to say it with."}));
    // Tests stand in for the service; it is asked for every text.
    std::vector<std::string> said;
    plat::SetSpeechHandler([&said](const std::string& text) {
        said.push_back(text);
        return true;
    });
    EXPECT_TRUE(plat::Announce("Heard.", "DoruzorO"));
    plat::SetSpeechHandler({});
    EXPECT_EQ(said, (std::vector<std::string>{"Heard."}));
    EXPECT_EQ(m_arrBoxes.size(), 1u);
}

}  // namespace
