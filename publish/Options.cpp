#include "publish/Options.h"

#include <algorithm>
#include <functional>
#include <iterator>

#include "publish/FourPartVersion.h"
#include "publish/PublishError.h"

namespace publish {

std::string usageText() {
  return R"(Usage: quendral-publish --code CODE --version A.B.C.D --from FOLDER --changes FILE
                        --history FILE --out FOLDER [--sign KEYFILE] [--replace]

Publishes one release of a product line for the updater: the update archive
<CODE>Update-ESC.<A.B.C.D>.zip, its signature <archive>.minisig (with --sign), and the
version history with the release's block.

  --code CODE        the product line's system code (KUB)
  --version A.B.C.D  the release's version: four numbers, each 0 to 65535; FOLDER's
                     Quendral.exe must carry it as its file version
  --from FOLDER      the release's files, laid out as they go over an installation
  --changes FILE     the release's changes, one a line (UTF-8); each becomes "- <line>".
                     Left out of the archive when it lies in FOLDER
  --history FILE     the version history file; created (UTF-8 with a byte order mark,
                     CR LF) when missing, else rewritten whole in its own encoding and line
                     breaks
  --out FOLDER       where the archive and its signature are written
  --sign KEYFILE     sign the archive with this minisign secret key (made with
                     `minisign -G`); its password is asked for on the terminal, or read
                     from the first line of standard input when that is not a terminal
  --replace          publish a version that is not newer than the newest block: the
                     block of the same version is replaced where it stands (an older version
                     without a block is refused all the same)
  --help             this text

Checks before anything is written: the version is newer than the history's newest block
(the four numbers compared as numbers), Quendral.exe carries it, and the archive, read back
with the updater's own reader, holds exactly the release's files. The history file is
written last, by renaming a complete new file over the old one.

Exit codes: 0 published; 1 refused by a check (nothing written); 2 wrong command line;
3 a file could not be read or written, or zip failed.
)";
}

Options parseOptions(const std::vector<std::string>& arguments) {
  Options options;
  const auto usage = [](const std::string& what) { return PublishError(kUsage, what); };
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& name = arguments[i];
    if (name == "--help" || name == "-h") {
      options.help = true;
      return options;
    }
    if (name == "--replace") {
      options.replace = true;
      continue;
    }
    const std::pair<const char*, std::function<void(const std::string&)>> valued[] = {
        {"--code", [&](const std::string& v) { options.code = v; }},
        {"--version", [&](const std::string& v) { options.version = v; }},
        {"--from", [&](const std::string& v) { options.from = v; }},
        {"--changes", [&](const std::string& v) { options.changes = v; }},
        {"--history", [&](const std::string& v) { options.history = v; }},
        {"--out", [&](const std::string& v) { options.out = v; }},
        {"--sign", [&](const std::string& v) { options.signingKey = v; }},
    };
    const auto option = std::find_if(std::begin(valued), std::end(valued),
                                     [&](const auto& known) { return name == known.first; });
    if (option == std::end(valued)) throw usage("unknown argument " + name + " (see --help)");
    if (i + 1 >= arguments.size()) throw usage(name + " needs a value (see --help)");
    option->second(arguments[++i]);
  }
  const std::pair<const char*, bool> required[] = {
      {"--code", !options.code.empty()},       {"--version", !options.version.empty()},
      {"--from", !options.from.empty()},       {"--changes", !options.changes.empty()},
      {"--history", !options.history.empty()}, {"--out", !options.out.empty()},
  };
  for (const auto& [name, given] : required)
    if (!given) throw usage(std::string(name) + " is missing (see --help)");
  if (!parseFourPartVersion(options.version))
    throw usage(
        "the version must be four numbers from 0 to 65535 joined by dots, without "
        "leading zeros, such as 2.4.1.7");
  for (char c : options.code)
    if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9')))
      throw usage("the system code is letters and digits only, such as KUB");
  return options;
}

}  // namespace publish
