// A test that cannot run here, for skip_test.sh: it must be reported as
// skipped, and as failed under CI.
#include <gtest/gtest.h>

TEST(SkipProbe, CannotRunHere) {
    GTEST_SKIP() << "the probe always skips";
}
