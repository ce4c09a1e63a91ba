#include "zip/RollForward.h"

#include <map>
#include <set>
#include <string>
#include <vector>

#include "platform/FileNameKey.h"
#include "zip/BaseDirectory.h"
#include "zip/InstallJournal.h"
#include "zip/JournalFile.h"
#include "zip/PartFile.h"
#include "zip/TargetPath.h"

namespace zip {
namespace {

std::string joined(const std::vector<std::string>& elements, size_t count) {
  std::string path;
  for (size_t i = 0; i < count; ++i) path += (i == 0 ? "" : "/") + elements[i];
  return path;
}

// A folder the journal names, and the keys of the targets it names there.
struct NamedFolder {
  std::vector<std::string> elements;
  std::set<std::string> targetKeys;
};

enum class Outcome { Installed, DoneBefore, Left };

// Completes one record of a journal written before the renames: its part file replaces its
// target, or, when the part file is gone because it did already, the target gets its
// attributes again (a kill may have come between the rename and those).
Outcome complete(const platform::Directory& folder, const std::string& target,
                 const InstallJournal::File& file) {
  if (!PartFile::isPartFileOf(file.part, target)) return Outcome::Left;
  const FileStamp stamp{.attributes = file.attributes, .executeBitsIfNew = file.executeBitsIfNew};
  try {
    if (folder.status(file.part).kind == platform::FileStatus::Kind::Missing) {
      platform::Directory::Held outcome = platform::Directory::Held::NotHere;
      if (auto held = folder.openHeldFile(target, outcome)) held->applyAttributes(file.attributes);
      return Outcome::DoneBefore;
    }
    PartFile::install(folder, file.part, target, stamp);
    return Outcome::Installed;
  } catch (const std::exception&) {
    return Outcome::Left;
  }
}

}  // namespace

RollForwardReport rollForwardInstall(const std::filesystem::path& journalPath,
                                     const std::filesystem::path& baseDirectory) noexcept {
  RollForwardReport report;
  try {
    const auto text = JournalFile::readLeftover(journalPath, report.heldByAnother);
    if (report.heldByAnother) return report;
    if (!text) {
      JournalFile::removeLeftover(journalPath);  // an unfinished ".new" alone
      return report;
    }
    report.found = true;
    const ParsedJournal parsed = parseJournal(*text);
    report.damaged = parsed.damaged;
    report.renaming = parsed.journal.phase == InstallJournal::Phase::Renaming;
    BaseDirectory base(baseDirectory);
    std::map<std::string, NamedFolder> folders;
    for (const InstallJournal::File& file : parsed.journal.files) {
      const auto elements = confinedPath(file.target);
      if (!elements || elements->empty()) {
        ++report.left;
        continue;
      }
      const std::string& name = elements->back();
      NamedFolder& named = folders[platform::fileNameKey(joined(*elements, elements->size() - 1))];
      named.elements.assign(elements->begin(), elements->end() - 1);
      named.targetKeys.insert(platform::fileNameKey(name));
      if (!report.renaming) continue;
      const BaseDirectory::Folder folder = base.existingFolder(*elements, elements->size() - 1);
      const Outcome outcome = folder ? complete(*folder, name, file) : Outcome::Left;
      if (outcome == Outcome::Installed) ++report.installed;
      if (outcome == Outcome::Left) ++report.left;
    }
    // Not a structured binding: clang 14 lets no lambda capture one.
    for (const auto& entry : folders) {
      const auto& named = entry.second;
      if (const auto folder = base.existingFolder(named.elements, named.elements.size())) {
        PartFile::removeLeftovers(*folder, [&](const std::string& name) {
          return named.targetKeys.contains(platform::fileNameKey(name));
        });
      }
    }
  } catch (...) {
    // Whatever could not be done stays as it is; the journal goes all the same, so that the
    // start does not meet it again and again.
  }
  JournalFile::removeLeftover(journalPath);
  return report;
}

}  // namespace zip
