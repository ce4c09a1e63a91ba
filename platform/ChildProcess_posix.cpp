#include "platform/ChildProcess.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <csignal>
#include <cstdint>
#include <cstring>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
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

// Standard output and standard error to /dev/null. False when that cannot be done: the work
// then does not run, rather than write into the caller's output.
bool silenceOutput() {
  const int nothing = ::open("/dev/null", O_WRONLY);
  if (nothing < 0) return false;
  const bool done = ::dup2(nothing, STDOUT_FILENO) >= 0 && ::dup2(nothing, STDERR_FILENO) >= 0;
  if (nothing > STDERR_FILENO) ::close(nothing);
  return done;
}

// The address space mapped now: the first field of /proc/self/statm, in pages.
std::optional<uint64_t> mappedBytes() {
  const int statm = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
  if (statm < 0) return std::nullopt;
  char text[128];
  const ssize_t got = ::read(statm, text, sizeof text);
  ::close(statm);
  uint64_t pages = 0;
  if (got <= 0 || std::from_chars(text, text + got, pages).ec != std::errc()) return std::nullopt;
  return pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

// RLIMIT_AS at what is mapped now plus added. The limit counts every mapping, inherited ones
// too, so it is measured from what the child has: an address sanitizer reserves terabytes for
// its shadow memory before main(), and an absolute limit would leave it no room. Measured from
// here, those reservations count as already there, and what the sanitizer maps while the work
// runs counts against added like any allocation. A tighter limit already set is kept.
bool limitAddressSpace(uint64_t added) {
  const std::optional<uint64_t> mapped = mappedBytes();
  rlimit limit{};
  if (!mapped || ::getrlimit(RLIMIT_AS, &limit) != 0) return false;
  if (added >= RLIM_INFINITY - *mapped) return true;
  const rlim_t wanted = std::min<rlim_t>(*mapped + added, limit.rlim_max);
  if (limit.rlim_cur <= wanted) return true;
  limit.rlim_cur = wanted;
  return ::setrlimit(RLIMIT_AS, &limit) == 0;
}

// The child's whole life: it leaves with _exit, so no destructor, atexit handler or buffered
// stream of the parent's copy runs twice.
[[noreturn]] void runChild(int out, const std::function<std::string()>& work,
                           size_t addedAddressSpace) {
  // A fatal signal ends the child quietly, whatever handlers the parent has installed (a crash
  // reporter, the sanitizers, a fuzzer's) that would report the parent's state as a crash.
  for (const int fatal : {SIGABRT, SIGSEGV, SIGBUS, SIGFPE, SIGILL, SIGTRAP})
    ::signal(fatal, SIG_DFL);
  if (!silenceOutput() || !limitAddressSpace(addedAddressSpace)) ::_exit(4);
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
                                             const ChildLimits& limits) {
  const auto deadline = std::chrono::steady_clock::now() + limits.time;
  int pipeEnds[2];
  if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return std::nullopt;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(pipeEnds[0]);
    runChild(pipeEnds[1], work, limits.addedAddressSpace);
  }
  ::close(pipeEnds[1]);
  if (child < 0) {
    ::close(pipeEnds[0]);
    return std::nullopt;
  }

  // The size comes first, so the result is allocated once and never beyond resultBytes.
  std::optional<std::string> result;
  uint64_t size = 0;
  if (readAll(pipeEnds[0], reinterpret_cast<char*>(&size), sizeof size, deadline) &&
      size <= limits.resultBytes) {
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
