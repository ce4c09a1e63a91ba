// Checks that must run in a process of their own, so that what they change of the process (its
// user, its limits) does not touch the tests around them. The check runs in a forked child and
// returns "" when the behaviour held, otherwise a description, which comes back to the caller;
// an exception or a crash in the child comes back as a description too. No gtest assertions
// in a check.
//
//   EXPECT_EQ(testsupport::runUnprivileged(dir.path(), [&]() -> std::string {
//     ...;
//     return ok ? "" : "what went wrong";
//   }), "");
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>

namespace testsupport {

using ChildCheck = std::function<std::string()>;

// Some behaviour only shows for an ordinary user: the system lets the superuser write to a
// read-only file, say. CI runs as root, so when started as root the child first becomes the
// unprivileged user "nobody"; such a check is never skipped. workDirectory (and what is in
// it) is handed to that user first, so the check can create files there.
std::string runUnprivileged(const std::filesystem::path& workDirectory, const ChildCheck& check);

// The disk refusing more data, as a full disk would: in the child no file may grow past
// maxFileBytes (a write beyond fails with EFBIG instead of raising SIGXFSZ).
std::string runWithFileSizeLimit(std::uint64_t maxFileBytes, const ChildCheck& check);

// A real full disk: in the child, mountPoint (an empty folder) holds a file system of its own
// of `bytes`, a tmpfs mounted in a mount namespace of the child's own (unshare), which no
// other process sees and which goes with the child. Needs the privilege to mount (root, as
// CI runs); when the system refuses, the verdict begins with kNoSmallFileSystem.
inline constexpr char kNoSmallFileSystem[] = "cannot make a small file system: ";
std::string runOnSmallFileSystem(const std::filesystem::path& mountPoint, std::uint64_t bytes,
                                 const ChildCheck& check);

// Few descriptors: in the child no more than maxOpenFiles files may be open at once.
std::string runWithOpenFileLimit(unsigned maxOpenFiles, const ChildCheck& check);

}  // namespace testsupport
