// Names that come from outside (a server's version text, the resource library) and become the
// name of a file we create in a folder of ours. Such a name must name one file in that folder
// and nothing else, on any system the updater runs on: never a path, a drive, a stream, a
// device or a name the system would silently change.
#pragma once

#include <string_view>

namespace platform {

// True when name is a plain file name: not empty; no "/", "\", ":" (a drive or an alternate
// stream), NUL or other control character, nor any of < > " | ? *; not made of dots only;
// not ending in a dot or a blank (Windows drops them, so the name would be another file's);
// not a device name such as CON, NUL, COM1 or LPT1, with or without an extension.
bool isPlainFileName(std::u16string_view name);

}  // namespace platform
