// A finished file to put in the place of another: held, as the extraction's part files are.
#pragma once

#include <span>
#include <string>

#include "platform/Directory.h"
#include "platform/HeldFile.h"

namespace platformtest {

inline platform::HeldFile replacementFile(const platform::Directory& folder,
                                          const std::string& name, const std::string& content) {
  platform::HeldFile file = folder.createHeldFile(name);
  file.write(std::as_bytes(std::span(content.data(), content.size())));
  return file;
}

}  // namespace platformtest
