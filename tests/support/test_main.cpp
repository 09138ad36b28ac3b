// The tests' main: GoogleTest's, with one rule added. Under CI (CI=true) a
// test that skips itself (no PostgreSQL, no IPv6 loopback, no generated
// data) fails instead, so that a run that could not test never looks green.
#include <gtest/gtest.h>

#include "tests/support/ci.h"

namespace {

class CSkipFailsUnderCi : public ::testing::EmptyTestEventListener {
public:
    // End events reach the listeners last appended first, so the failure is
    // added before the printer reports the test.
    void OnTestEnd(const ::testing::TestInfo& info) override {
        if (info.result() != nullptr && info.result()->Skipped())
            ADD_FAILURE() << "skipped under CI=true: a test that cannot run here fails";
    }
};

}  // namespace

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (UnderCi())
        ::testing::UnitTest::GetInstance()->listeners().Append(new CSkipFailsUnderCi);
    return RUN_ALL_TESTS();
}
