#include "platform/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

namespace platform {
namespace {

bool writeAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t done = ::write(fd, data, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

// Reads until size bytes have come, the writer has gone, or the deadline has passed.
bool readAll(int fd, char* data, size_t size, std::chrono::steady_clock::time_point deadline) {
  while (size > 0) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    pollfd ready{fd, POLLIN, 0};
    const int polled = ::poll(&ready, 1, static_cast<int>(std::min<int64_t>(left.count(), 60000)));
    if (polled < 0 && errno == EINTR) continue;
    if (polled < 0) return false;
    if (polled == 0) continue;
    const ssize_t done = ::read(fd, data, size);
    if (done < 0 && errno == EINTR) continue;
    if (done <= 0) return false;
    data += done;
    size -= static_cast<size_t>(done);
  }
  return true;
}

// The child's whole life: it leaves with _exit, so no destructor, atexit handler or buffered
// stream of the parent's copy runs twice.
[[noreturn]] void runChild(int out, const std::function<std::string()>& work) {
  // A fatal signal ends the child quietly, whatever handlers the parent has installed (a crash
  // reporter, the sanitizers, a fuzzer's) that would report the parent's state as a crash.
  for (const int fatal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP})
    ::signal(fatal, SIG_DFL);
  std::string result;
  try {
    result = work();
  } catch (...) {
    ::_exit(2);
  }
  const uint64_t size = result.size();
  const bool written = writeAll(out, reinterpret_cast<const char*>(&size), sizeof size) &&
                       writeAll(out, result.data(), result.size());
  ::_exit(written ? 0 : 3);
}

}  // namespace

std::optional<std::string> runInChildProcess(const std::function<std::string()>& work,
                                             size_t maxBytes, std::chrono::milliseconds timeLimit) {
  const auto deadline = std::chrono::steady_clock::now() + timeLimit;
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    runChild(pipeEnds[1], work);
  }
  ::close(pipeEnds[1]);
  if (child < 0) {
    ::close(pipeEnds[0]);
    return std::nullopt;
  }

  // The size comes first, so the result is allocated once and never beyond maxBytes.
  std::optional<std::string> result;
  uint64_t size = 0;
  if (readAll(pipeEnds[0], reinterpret_cast<char*>(&size), sizeof size, deadline) &&
      size <= maxBytes) {
    std::string bytes(static_cast<size_t>(size), '\0');
    if (readAll(pipeEnds[0], bytes.data(), bytes.size(), deadline)) result = std::move(bytes);
  }
  ::close(pipeEnds[0]);
  if (!result) ::kill(child, SIGKILL);  // it may still be working or writing what we do not take

  int status = 0;
  while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
  }
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) return std::nullopt;
  return result;
}

}  // namespace platform
