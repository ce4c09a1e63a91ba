// Work in a child process: its bytes come back whole, and any way it can go wrong (a crash, an
// assertion, an exception, too much output, too much memory) gives nothing while the caller
// carries on; what it prints never reaches the caller's output.
#include "platform/ChildProcess.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include <sys/mman.h>
#include <unistd.h>

namespace platform {
namespace {

// Never reached by work that ends: these tests do not measure time.
constexpr std::chrono::minutes kLongEnough{5};
// Address space for work that maps little.
constexpr size_t kRoomy = size_t{256} << 20;

TEST(ChildProcess, GivesBackTheBytesOfTheWork) {
  const std::string big(3u << 20, 'x');  // more than a pipe holds at once
  for (const std::string& expected : {std::string(), std::string("a\0b", 3), big}) {
    SCOPED_TRACE(expected.size());
    EXPECT_EQ(runInChildProcess([&] { return expected; }, {big.size(), kLongEnough, kRoomy}),
              expected);
  }
}

// Maps size bytes of address space without touching them: "mapped", or "refused" when the
// system says no.
std::string mapping(size_t size) {
  void* at = ::mmap(nullptr, size, PROT_READ | PROT_WRITE,
                    MAP_PRIVATE | MAP_ANONYMOUS | MAP_NORESERVE, -1, 0);
  if (at == MAP_FAILED) return "refused";
  ::munmap(at, size);
  return "mapped";
}

TEST(ChildProcess, MapsNoMoreAddressSpaceThanItMayAdd) {
  constexpr size_t added = size_t{64} << 20;
  const auto inChild = [](size_t size) {
    return runInChildProcess([size] { return mapping(size); }, {16, kLongEnough, added});
  };
  // What the child inherits does not count (with the sanitizers, terabytes of reservations).
  EXPECT_EQ(inChild(added / 2), "mapped");
  EXPECT_EQ(inChild(4 * added), "refused");
  EXPECT_EQ(mapping(4 * added), "mapped") << "the caller keeps its own limit";
}

// What this process writes to its standard output and standard error while run runs.
std::string outputOf(const std::function<void()>& run) {
  std::fflush(nullptr);
  FILE* capture = std::tmpfile();
  if (capture == nullptr) return "(no capture file)";
  const int savedOut = ::dup(STDOUT_FILENO);
  const int savedErr = ::dup(STDERR_FILENO);
  ::dup2(::fileno(capture), STDOUT_FILENO);
  ::dup2(::fileno(capture), STDERR_FILENO);
  run();
  std::fflush(nullptr);
  ::dup2(savedOut, STDOUT_FILENO);
  ::dup2(savedErr, STDERR_FILENO);
  ::close(savedOut);
  ::close(savedErr);
  std::string written;
  std::rewind(capture);
  for (int c = std::fgetc(capture); c != EOF; c = std::fgetc(capture))
    written += static_cast<char>(c);
  std::fclose(capture);
  return written;
}

TEST(ChildProcess, WhatItPrintsGoesNowhere) {
  std::optional<std::string> result;
  const std::string printed = outputOf([&] {
    std::printf("held in the caller's buffer, which the child inherits ");
    result = runInChildProcess(
        [] {
          std::printf("a library's message\n");
          std::fflush(stdout);
          std::fprintf(stderr, "and its complaint\n");
          return std::string(::write(STDERR_FILENO, "raw\n", 4) == 4 ? "written" : "refused");
        },
        {16, kLongEnough, kRoomy});
  });
  EXPECT_EQ(result, "written");
  EXPECT_EQ(printed, "held in the caller's buffer, which the child inherits ");
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
  EXPECT_EQ(runInChildProcess(row.work, {row.maxBytes, row.timeLimit, kRoomy}), std::nullopt);
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
