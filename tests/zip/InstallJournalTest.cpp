// The install journal: its text form, and what a start does with one that a killed install
// left, damaged ones included.
#include "zip/InstallJournal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "platform/Directory.h"
#include "tests/support/PartFiles.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"
#include "zip/Extractor.h"
#include "zip/JournalFile.h"
#include "zip/MemoryInputStream.h"
#include "zip/RollForward.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;
using zip::InstallJournal;

const InstallJournal oddNames{
    .phase = InstallJournal::Phase::Renaming,
    .files = {{.target = "Quendral.exe",
               .part = ".Quendral.exe.quendral-part-0123456789abcdef",
               .attributes = 0x20,
               .executeBitsIfNew = 0},
              {.target = "Lib/a b%c\n\td\xc3\xa9.dll",
               .part = ".a b%c\n\td\xc3\xa9.dll.quendral-part-fedcba9876543210",
               .attributes = 0x01,
               .executeBitsIfNew = 0111}}};

TEST(InstallJournal, ReadsBackWhatItWrote) {
  for (const InstallJournal& journal :
       {oddNames, InstallJournal{}, InstallJournal{.files = {{.target = "x"}}}}) {
    const zip::ParsedJournal parsed = zip::parseJournal(zip::formatJournal(journal));
    EXPECT_FALSE(parsed.damaged);
    EXPECT_EQ(parsed.journal, journal);
  }
}

// Whatever is done to the text, it is taken for damaged, and what is kept of it is records the
// journal held, in order, and no more.
TEST(InstallJournal, DamageIsSeenAndOnlyWholeRecordsBeforeItAreKept) {
  const std::string text = zip::formatJournal(oddNames);
  const auto keptOnlyARecordPrefix = [&](const zip::ParsedJournal& parsed) {
    const auto& files = parsed.journal.files;
    return parsed.damaged && files.size() <= oddNames.files.size() &&
           std::equal(files.begin(), files.end(), oddNames.files.begin());
  };
  for (size_t cut = 0; cut < text.size(); ++cut) {
    SCOPED_TRACE("cut at " + std::to_string(cut));
    EXPECT_TRUE(keptOnlyARecordPrefix(zip::parseJournal(text.substr(0, cut))));
  }
  for (size_t at = 0; at < text.size(); ++at) {
    SCOPED_TRACE("byte changed at " + std::to_string(at));
    std::string changed = text;
    changed[at] = static_cast<char>(changed[at] ^ 0x04);
    const zip::ParsedJournal parsed = zip::parseJournal(changed);
    EXPECT_TRUE(parsed.damaged);
  }
  EXPECT_TRUE(zip::parseJournal(text + "more\n").damaged);
  std::string otherVersion = text;
  otherVersion.replace(otherVersion.find(" 1\n"), 3, " 2\n");
  EXPECT_TRUE(zip::parseJournal(otherVersion).journal.files.empty());
}

// A base with an old version, the part files of a new one beside it, and the journal an
// install would write for them, in its own Update folder.
class RollForwardTest : public testing::Test {
protected:
  testsupport::ScratchDirectory scratch;
  fs::path base = scratch / "base";
  fs::path journalPath = base / "Update" / "install-journal";
  std::vector<std::string> targets = {"Quendral.exe", "Lib/ResourcesUpd.dll", "Lib/b.dat"};

  void SetUp() override {
    fs::create_directories(base / "Update");
    for (const std::string& target : targets) writeFile(base / target, "old " + target);
  }

  static std::string partOf(const std::string& target, int suffix) {
    const std::string name = fs::path(target).filename().string();
    return "." + name + ".quendral-part-00000000000000" + std::to_string(10 + suffix);
  }

  // Part files with the new content for every target, and the journal naming them.
  InstallJournal stageNewVersion() {
    InstallJournal journal{.phase = InstallJournal::Phase::Renaming};
    for (size_t i = 0; i < targets.size(); ++i) {
      const std::string part = partOf(targets[i], static_cast<int>(i));
      writeFile((base / targets[i]).parent_path() / part, "new " + targets[i]);
      journal.files.push_back({.target = targets[i], .part = part});
    }
    return journal;
  }

  void writeJournal(const std::string& text) { writeFile(journalPath, text); }

  std::string versionOf(const std::string& target) { return readFile(base / target).substr(0, 3); }
};

TEST_F(RollForwardTest, ARenamingJournalIsCompletedAndADecodingOneCleared) {
  for (const auto phase : {InstallJournal::Phase::Renaming, InstallJournal::Phase::Decoding}) {
    for (const std::string& target : targets) writeFile(base / target, "old " + target);
    InstallJournal journal = stageNewVersion();
    journal.phase = phase;
    if (phase == InstallJournal::Phase::Renaming) {
      // The kill came after the first rename.
      fs::rename(base / journal.files[0].part, base / targets[0]);
    }
    writeJournal(zip::formatJournal(journal));
    const zip::RollForwardReport report = zip::rollForwardInstall(journalPath, base);
    EXPECT_TRUE(report.found);
    EXPECT_FALSE(report.damaged);
    const std::string expected = phase == InstallJournal::Phase::Renaming ? "new" : "old";
    for (const std::string& target : targets) EXPECT_EQ(versionOf(target), expected) << target;
    EXPECT_EQ(report.installed, phase == InstallJournal::Phase::Renaming ? 2u : 0u);
    EXPECT_FALSE(testsupport::hasPartFiles(base));
    EXPECT_FALSE(fs::exists(journalPath));
  }
}

// A journal that is not what an install wrote: what can be completed inside the base is, the
// rest is left as it is, nothing outside the base changes, and the journal goes.
TEST_F(RollForwardTest, ADamagedJournalTouchesNothingOutsideTheBaseAndGoes) {
  writeFile(scratch / "outside" / "victim.txt", "outside");
  writeFile(scratch / "outside" / ".victim.txt.quendral-part-0000000000000099", "intruder");
  struct Row {
    std::string name;
    std::function<std::string(InstallJournal&)> damage;  // returns the journal's text
    std::vector<std::string> expected;                   // the versions of the targets after
  };
  const std::vector<Row> rows = {
      {"CutShort",
       [](InstallJournal& journal) {
         const std::string text = zip::formatJournal(journal);
         return text.substr(0, text.find("Lib/b.dat"));
       },
       {"new", "new", "old"}},
      {"TargetsOutsideTheBase",
       [](InstallJournal& journal) {
         for (const std::string target : {"../outside/victim.txt", "/outside/victim.txt"}) {
           journal.files.push_back(
               {.target = target, .part = ".victim.txt.quendral-part-0000000000000099"});
         }
         return zip::formatJournal(journal);
       },
       {"new", "new", "new"}},
      {"APartFileThatIsGone",
       [&](InstallJournal& journal) {
         fs::remove(base / "Lib" / journal.files[1].part);
         return zip::formatJournal(journal);
       },
       {"new", "old", "new"}},
      {"APartFileOfAnotherTarget",
       [](InstallJournal& journal) {
         std::swap(journal.files[1].part, journal.files[2].part);
         return zip::formatJournal(journal);
       },
       {"new", "old", "old"}},
      {"NotAJournal",
       [](InstallJournal&) {
         return std::string(
             "\x7f"
             "ELF\x02\x01\x01");
       },
       {"old", "old", "old"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    for (const std::string& target : targets) writeFile(base / target, "old " + target);
    InstallJournal journal = stageNewVersion();
    writeJournal(row.damage(journal));
    zip::rollForwardInstall(journalPath, base);
    for (size_t i = 0; i < targets.size(); ++i) {
      EXPECT_EQ(versionOf(targets[i]), row.expected[i]) << targets[i];
    }
    EXPECT_EQ(readFile(scratch / "outside" / "victim.txt"), "outside");
    EXPECT_TRUE(fs::exists(scratch / "outside" / ".victim.txt.quendral-part-0000000000000099"));
    EXPECT_FALSE(fs::exists(journalPath));
    // Part files go from the folders it names.
    if (row.name != "NotAJournal") {
      EXPECT_FALSE(testsupport::hasPartFiles(base));
    }
    for (const auto& entry : fs::recursive_directory_iterator(base)) {
      if (zip::PartFile::isPartFileName(entry.path().filename().string())) {
        fs::remove(entry);
      }
    }
  }
}

// A journal that an install running now holds is its own: a start beside it leaves it alone.
TEST_F(RollForwardTest, AJournalInUseIsLeftAlone) {
  const InstallJournal journal = stageNewVersion();
  zip::JournalFile file(journalPath);
  file.write(journal, false);
  const zip::RollForwardReport report = zip::rollForwardInstall(journalPath, base);
  EXPECT_TRUE(report.heldByAnother);
  EXPECT_EQ(versionOf(targets[0]), "old");
  EXPECT_TRUE(fs::exists(journalPath));
  file.remove();
  EXPECT_FALSE(fs::exists(journalPath));
}

// An extraction with a journal holds it while it runs, so that a start beside leaves it alone,
// and leaves none behind; what it holds is the journal of its phase: the files it may write
// while decoding, the renames while installing (readable beside it on POSIX only: Windows
// shares the held file with no reader).
TEST_F(RollForwardTest, AnExtractionWritesItsJournalAndRemovesIt) {
  const std::string archive = testsupport::buildZip(
      {{.name = "Quendral.exe", .data = "new exe"}, {.name = "Lib/b.dat", .data = "new b"}});
  zip::MemoryInputStream stream(std::as_bytes(std::span(archive.data(), archive.size())));
  zip::ZipArchive opened(stream);
  std::vector<zip::ParsedJournal> seen;
  int heldWhileRunning = 0;
  zip::ExtractOptions options;
  options.journal = journalPath;
  options.progress = [&](zip::ExtractionPhase phase, size_t done, size_t) {
    if (done != (phase == zip::ExtractionPhase::Decoding ? 1u : 0u)) return;
    heldWhileRunning += zip::rollForwardInstall(journalPath, base).heldByAnother ? 1 : 0;
#ifndef _WIN32
    seen.push_back(zip::parseJournal(readFile(journalPath)));
#endif
  };
  const zip::ExtractionReport report = zip::Extractor(opened, base, options).run();
  EXPECT_EQ(report.filesWritten, 2u);
  EXPECT_EQ(heldWhileRunning, 2);
  EXPECT_FALSE(fs::exists(journalPath));
  EXPECT_EQ(readFile(base / "Lib" / "b.dat"), "new b");
#ifndef _WIN32
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_FALSE(seen[0].damaged || seen[1].damaged);
  EXPECT_EQ(seen[0].journal.phase, InstallJournal::Phase::Decoding);
  EXPECT_EQ(seen[1].journal.phase, InstallJournal::Phase::Renaming);
  ASSERT_EQ(seen[1].journal.files.size(), 2u);
  EXPECT_EQ(seen[1].journal.files[1].target, "Lib/b.dat");
  EXPECT_TRUE(zip::PartFile::isPartFileOf(seen[1].journal.files[1].part, "b.dat"));
#endif
}

// Without its journal an install could not be completed after a kill: it writes nothing.
TEST_F(RollForwardTest, AnExtractionWhoseJournalCannotBeWrittenInstallsNothing) {
  const std::string archive = testsupport::buildZip({{.name = "Quendral.exe", .data = "new"}});
  zip::MemoryInputStream stream(std::as_bytes(std::span(archive.data(), archive.size())));
  zip::ZipArchive opened(stream);
  zip::ExtractOptions options;
  options.journal = base / "missing" / "install-journal";
  const zip::ExtractionReport report = zip::Extractor(opened, base, options).run();
  EXPECT_NE(report.endedBy.value_or("").find("install journal"), std::string::npos);
  EXPECT_EQ(report.filesWritten, 0u);
  EXPECT_EQ(versionOf("Quendral.exe"), "old");
  EXPECT_FALSE(testsupport::hasPartFiles(base));
}

}  // namespace
