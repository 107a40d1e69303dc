// The process-wide settings, each checked in a fresh process of its own:
// both are settled once per process, and the checks change them first.

#include "engine/process_limits.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>

namespace {

class ProcessLimitsTest : public ::testing::Test {
 protected:
  // A fork would inherit what this process has settled already.
  void SetUp() override { GTEST_FLAG_SET(death_test_style, "threadsafe"); }
};

TEST_F(ProcessLimitsTest, UmaskIsTheOneInForceAndStaysSo) {
  EXPECT_EXIT(
      {
        ::umask(0047);
        const bool read = engine::ProcessUmask() == 0047;
        const bool kept = ::umask(0047) == 0047;
        std::_Exit(read && kept ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

TEST_F(ProcessLimitsTest, OpenFileLimitRisesToTheHardOneAtMost65536) {
  EXPECT_EXIT(
      {
        struct rlimit limit;
        ::getrlimit(RLIMIT_NOFILE, &limit);
        const rlim_t hard = limit.rlim_max;
        limit.rlim_cur = 256;
        ::setrlimit(RLIMIT_NOFILE, &limit);
        engine::RaiseOpenFileLimit();
        ::getrlimit(RLIMIT_NOFILE, &limit);
        const rlim_t expected =
            hard == RLIM_INFINITY ? 65536 : std::min<rlim_t>(hard, 65536);
        std::_Exit(limit.rlim_cur == expected ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

}  // namespace
