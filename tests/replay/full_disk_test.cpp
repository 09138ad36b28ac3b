// A full disk, played by a file-size limit (POSIX systems only): the
// replay is lost and nothing else.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>

#include "replay_fixture.h"

namespace replaytest {
namespace {

class FullDiskTest : public ReplayFixture {};

// A file-size limit stands in for a full disk; Windows has none to set.
TEST_F(FullDiskTest, AFullDiskLeavesNoHalfFileAndTheProgramGoesOn) {
    OpenGame(1, 9);
    for (int i = 0; i < 300; ++i)
        Tick();
    const pid_t child = fork();
    if (child == 0) {
        // In the child: files may not grow past 16 bytes, as on a full disk.
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{16, 16};
        setrlimit(RLIMIT_FSIZE, &limit);
        m_pHost->CloseSceen();
        std::_Exit(m_pHost->m_strLastReplay.empty() ? 3 : 0);
    }
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    for (const auto& p : SavedReplays())
        ADD_FAILURE() << "left behind: " << p;
}

}  // namespace
}  // namespace replaytest
