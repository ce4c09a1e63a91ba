// Work that may crash, run in a child process: a copy of this process made by fork(), so that a
// failed assertion or a stray write inside a library ends the child and never the caller.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <optional>
#include <string>

namespace platform {

// Runs work in a child process and gives back the bytes it returned. Gives nullopt when the
// child did not end normally with them: it crashed, was killed, threw, returned more than
// maxBytes (the caller never holds more than that), or had not handed them over within
// timeLimit (it is killed then). The child is a copy of the calling thread alone: work may
// allocate, but must not wait for other threads or locks they may hold. Blocks the caller.
std::optional<std::string> runInChildProcess(const std::function<std::string()>& work,
                                             size_t maxBytes, std::chrono::milliseconds timeLimit);

}  // namespace platform
