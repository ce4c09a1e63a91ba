// Work that may crash, run in a child process: a copy of this process made by fork(), so that a
// failed assertion or a stray write inside a library ends the child and never the caller.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace platform {

// What the child may take.
struct ChildLimits {
  size_t resultBytes = 0;  // the most it may give back: the caller never holds more than that
  std::chrono::milliseconds time{0};  // until its bytes are handed over; it is killed then
  // The address space it may map beyond what it has when it starts (a copy of the caller's):
  // an allocation past that fails in the child, however much memory the machine has.
  size_t addedAddressSpace = 0;
};

// Runs work in a child process and gives back the bytes it returned. Gives nullopt when the
// child did not end normally with them: it crashed, was killed, threw, or went past a limit.
// What the child writes to standard output or standard error goes nowhere: libraries report
// damaged data there, line by line. The child is a copy of the calling thread alone: work may
// allocate, but must not wait for other threads or locks they may hold. Blocks the caller.
std::optional<std::string> runInChildProcess(const std::function<std::string()>& work,
                                             const ChildLimits& limits);

}  // namespace platform
