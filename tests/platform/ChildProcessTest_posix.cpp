// Work in a child process: its bytes come back whole, and any way it can go wrong (a crash, an
// assertion, an exception, too much output) gives nothing while the caller carries on.
#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>

#include <unistd.h>

namespace platform {
namespace {

// Never reached by work that ends: these tests do not measure time.
constexpr std::chrono::minutes kLongEnough{5};

TEST(ChildProcess, GivesBackTheBytesOfTheWork) {
  const std::string big(3u << 20, 'x');  // more than a pipe holds at once
  for (const std::string& expected : {std::string(), std::string("a\0b", 3), big}) {
    SCOPED_TRACE(expected.size());
    EXPECT_EQ(runInChildProcess([&] { return expected; }, big.size(), kLongEnough), expected);
  }
}

struct FailureCase {
  const char* name;
  std::string (*work)();
  size_t maxBytes;
  std::chrono::milliseconds timeLimit = kLongEnough;
};

class ChildProcessFailure : public ::testing::TestWithParam<FailureCase> {};

TEST_P(ChildProcessFailure, GivesNothingAndTheCallerCarriesOn) {
  const FailureCase& row = GetParam();
  EXPECT_EQ(runInChildProcess(row.work, row.maxBytes, row.timeLimit), std::nullopt);
}

INSTANTIATE_TEST_SUITE_P(
    Ways, ChildProcessFailure,
    ::testing::Values(
        FailureCase{"Aborts", []() -> std::string { std::abort(); }, 100},
        FailureCase{"Segfaults",
                    []() -> std::string {
                      std::raise(SIGSEGV);
                      return "never";
                    },
                    100},
        // Killed at its time limit: the limit only bounds how long this row runs.
        FailureCase{"NeverEnds",
                    []() -> std::string {
                      for (;;) ::pause();
                    },
                    100, std::chrono::milliseconds(50)},
        FailureCase{"IsKilled",
                    []() -> std::string {
                      std::raise(SIGKILL);
                      return "never";
                    },
                    100},
        FailureCase{"Throws", []() -> std::string { throw std::runtime_error("no"); }, 100},
        FailureCase{"GivesMoreThanAllowed", [] { return std::string(101, 'x'); }, 100}),
    [](const auto& row) { return std::string(row.param.name); });

}  // namespace
}  // namespace platform
