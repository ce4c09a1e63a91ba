// Putting a finished file in the place of another in one step.
#pragma once

#include <filesystem>

namespace platform {

// Renames replacement over target, which then has the new content whole: no reader ever sees
// a part of it, and a crash leaves the old file or the new one. Both must lie in the same
// directory (the same volume).
//
// When target exists, the new file keeps what the old one was besides its content: on Windows
// its attributes (hidden, system, archive, ...), on POSIX its permission bits. A missing
// target is simply created, with replacement's own attributes or mode.
//
// Throws std::system_error, and then target is as it was and replacement is still there (the
// caller removes it), when:
//   - target is read-only (the read-only attribute; on POSIX no owner-write bit), since an
//     entry stored read-only must stay so;
//   - target is a directory;
//   - on Windows, target is open in another program (ERROR_ACCESS_DENIED or
//     ERROR_SHARING_VIOLATION), a running program among them;
//   - the system refuses for any other reason.
// On POSIX a running program or an open file is replaced like any other: its users keep the
// old file until they close it.
void replaceFile(const std::filesystem::path& replacement, const std::filesystem::path& target);

}  // namespace platform
