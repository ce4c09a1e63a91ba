// The update archive's file name, made in one place for the updater and the publishing command.
#pragma once

#include <string>
#include <string_view>

namespace update {

// "<system code>Update-ESC.<version>.zip": KUBUpdate-ESC.2.4.1.7.zip. The version is the one
// the version history's header line gives.
inline std::u16string archiveFileName(std::u16string_view systemCode, std::u16string_view version) {
  return std::u16string(systemCode) + u"Update-ESC." + std::u16string(version) + u".zip";
}

}  // namespace update
