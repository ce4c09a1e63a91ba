// Putting a finished file in the place of another in one step.
#pragma once

#include <cstdint>
#include <string>

#include "platform/Directory.h"
#include "platform/FileStatus.h"
#include "platform/HeldFile.h"

namespace platform {

// Renames the held file `replacement`, called replacementName in folder, over `target` in the
// same folder, which then has the new content whole: no reader ever sees a part of it, and a
// crash leaves the old file or the new one. The rename replaces whatever is at target, a link
// itself rather than what it leads to.
//
// `replaced` is what the caller found at target just before: when it is a regular file, the
// new file keeps what the old one was besides its content, set through replacement's handle
// before the rename: on POSIX its permission bits (0777: never set-user-ID, set-group-ID or
// sticky, which an overwrite in place would have cleared too), on Windows its attributes
// (hidden, system, archive, ...). Otherwise (no file, or a link) the new file keeps its own
// mode, with executeBitsIfNew added where reading is allowed (HeldFile::addExecuteBits).
//
// Throws std::system_error, and then target is as it was and replacement is still there (the
// caller removes it), when:
//   - replaced is read-only, or is a folder or anything else but a file or a link;
//   - on Windows, target is open in another program (ERROR_ACCESS_DENIED or
//     ERROR_SHARING_VIOLATION), a running program among them, or became read-only;
//   - the system refuses for any other reason.
// On POSIX a running program or an open file is replaced like any other: its users keep the
// old file until they close it.
void replaceFile(const Directory& folder, HeldFile& replacement, const std::string& replacementName,
                 const std::string& target, const FileStatus& replaced,
                 uint32_t executeBitsIfNew = 0);

}  // namespace platform
