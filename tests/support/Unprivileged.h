// Some behaviour only shows for an ordinary user: the system lets the superuser write to a
// read-only file, say. CI runs as root, so such a check runs in a child process that, when
// started as root, first becomes the unprivileged user "nobody"; it is never skipped.
//
//   const std::string failure = testsupport::runUnprivileged(dir.path(), [&]() -> std::string {
//     ...;                                   // no gtest assertions in here
//     return ok ? "" : "what went wrong";
//   });
//   EXPECT_EQ(failure, "");
#pragma once

#include <filesystem>
#include <functional>
#include <string>

namespace testsupport {

// Runs check in a forked child and returns what it returned: "" when the behaviour held,
// otherwise a description. workDirectory (and what is in it) is handed to the unprivileged
// user first, so the check can create files there. An exception or a crash in the child
// comes back as a description too.
std::string runUnprivileged(const std::filesystem::path& workDirectory,
                            const std::function<std::string()>& check);

}  // namespace testsupport
