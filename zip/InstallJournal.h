// The install journal's content and its text form, without any file: what an extraction is
// about to do to the base directory, so that a start after a kill can complete it (rolled
// forward) or clear what it left (JournalFile.h writes it, RollForward.h acts on it).
//
// Text, one record a line, so that a person can read it:
//   quendral-install-journal 1
//   phase renaming
//   file <target> <part file> <attributes> <execute bits>
//   ...
//   crc32 <8 hexadecimal digits>
// The target is the path relative to the base, elements joined by "/"; the part file is a name
// in the target's folder, "-" when there is none yet. Names are UTF-8 with every byte outside
// printable ASCII, and "%" and the space, written as "%" and two hexadecimal digits. The CRC-32
// covers every byte before its line.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace zip {

struct InstallJournal {
  enum class Phase {
    // Part files are being written; nothing is renamed yet. What a kill leaves is cleared.
    Decoding,
    // Every part file is whole and on disk; the renames are under way. A kill is completed.
    Renaming,
  };
  struct File {
    std::string target{};           // relative to the base, "/" between elements
    std::string part{};             // in the target's folder; empty while decoding
    uint32_t attributes = 0;        // as platform::applyAttributes takes them
    uint32_t executeBitsIfNew = 0;  // for a file that replaces none
    bool operator==(const File&) const = default;
  };

  Phase phase = Phase::Decoding;
  std::vector<File> files{};  // in archive order

  bool operator==(const InstallJournal&) const = default;
};

std::string formatJournal(const InstallJournal& journal);

struct ParsedJournal {
  InstallJournal journal;
  // The text is not one that formatJournal wrote (cut short, changed, another version): then
  // journal holds the records before the first that does not read, which are all the caller
  // may act on, and no more, after checking each name as any name from outside.
  bool damaged = false;
};

ParsedJournal parseJournal(std::string_view text);

}  // namespace zip
