#include "tests/support/ChildCheck.h"

#include <grp.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <exception>
#include <string>

namespace testsupport {
namespace {

// The conventional "nobody" of Debian; no file belongs to it, and it has no rights of its own.
constexpr uid_t kNobodyUser = 65534;
constexpr gid_t kNobodyGroup = 65534;

void handOver(const std::filesystem::path& directory) {
  if (::geteuid() != 0) return;
  ::chown(directory.c_str(), kNobodyUser, kNobodyGroup);
  std::error_code ignored;
  for (auto it = std::filesystem::recursive_directory_iterator(directory, ignored);
       it != std::filesystem::recursive_directory_iterator(); it.increment(ignored))
    ::lchown(it->path().c_str(), kNobodyUser, kNobodyGroup);
}

// In the child: prepare, run the check, write its verdict to the pipe, and leave at once (no
// exit handlers, no leak check of a copy of the parent).
[[noreturn]] void runChild(int out, const std::function<std::string()>& prepare,
                           const ChildCheck& check) {
  std::string verdict = prepare();
  if (verdict.empty()) {
    try {
      verdict = check();
    } catch (const std::exception& error) {
      verdict = std::string("the check threw: ") + error.what();
    } catch (...) {
      verdict = "the check threw";
    }
  }
  if (verdict.empty()) verdict = "ok";
  [[maybe_unused]] const auto written = ::write(out, verdict.data(), verdict.size());
  ::_exit(0);
}

std::string runInChild(const std::function<std::string()>& prepare, const ChildCheck& check) {
  int channel[2];
  if (::pipe(channel) != 0) return "pipe failed";
  const pid_t child = ::fork();
  if (child < 0) return "fork failed";
  if (child == 0) {
    ::close(channel[0]);
    runChild(channel[1], prepare, check);
  }
  ::close(channel[1]);
  std::string verdict;
  char buffer[512];
  for (ssize_t n; (n = ::read(channel[0], buffer, sizeof buffer)) > 0;)
    verdict.append(buffer, static_cast<size_t>(n));
  ::close(channel[0]);
  int status = 0;
  ::waitpid(child, &status, 0);
  if (verdict.empty())
    return "the check ended without a verdict (status " + std::to_string(status) + ")";
  return verdict == "ok" ? std::string() : verdict;
}

}  // namespace

std::string runUnprivileged(const std::filesystem::path& workDirectory, const ChildCheck& check) {
  handOver(workDirectory);
  return runInChild(
      []() -> std::string {
        if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setgid(kNobodyGroup) != 0 ||
                                 ::setuid(kNobodyUser) != 0))
          return "could not become the unprivileged user";
        return "";
      },
      check);
}

std::string runWithFileSizeLimit(std::uint64_t maxFileBytes, const ChildCheck& check) {
  return runInChild(
      [maxFileBytes]() -> std::string {
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{static_cast<rlim_t>(maxFileBytes), static_cast<rlim_t>(maxFileBytes)};
        return ::setrlimit(RLIMIT_FSIZE, &limit) == 0 ? "" : "could not limit the file size";
      },
      check);
}

std::string runOnSmallFileSystem(const std::filesystem::path& mountPoint, std::uint64_t bytes,
                                 const ChildCheck& check) {
  return runInChild(
      [&]() -> std::string {
        const auto refused = [](const char* what) {
          return std::string(kNoSmallFileSystem) + what + ": " + std::strerror(errno);
        };
        if (::unshare(CLONE_NEWNS) != 0) return refused("unshare");
        // Mounts made here must not reach the namespace we came from.
        if (::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
          return refused("private mounts");
        }
        const std::string size = "size=" + std::to_string(bytes);
        if (::mount("tmpfs", mountPoint.c_str(), "tmpfs", 0, size.c_str()) != 0) {
          return refused("mount tmpfs");
        }
        return "";
      },
      check);
}

std::string runWithOpenFileLimit(unsigned maxOpenFiles, const ChildCheck& check) {
  return runInChild(
      [maxOpenFiles]() -> std::string {
        const rlimit limit{maxOpenFiles, maxOpenFiles};
        return ::setrlimit(RLIMIT_NOFILE, &limit) == 0 ? "" : "could not limit the open files";
      },
      check);
}

}  // namespace testsupport
