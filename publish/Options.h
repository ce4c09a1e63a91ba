// The command line of quendral-publish.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace publish {

struct Options {
  std::string code;     // the system code: KUB
  std::string version;  // four numbers: 2.4.1.7
  std::filesystem::path from;
  std::filesystem::path changes;
  std::filesystem::path history;
  std::filesystem::path out;
  std::filesystem::path signingKey;  // empty: not signed
  bool replace = false;
  bool help = false;
};

// Reads the arguments (without the program's name). Throws PublishError (usage) for an unknown
// option, a missing value or a missing required option, a version that is not four numbers, a
// system code that is not a plain name.
Options parseOptions(const std::vector<std::string>& arguments);

// What --help prints.
std::string usageText();

}  // namespace publish
