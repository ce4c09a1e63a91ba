// An install killed at any moment, then a start: the program is the old version or the new
// one, whole, and neither a part file nor the journal stays. The extraction runs in a child
// process that tells every step of its progress and waits for the test's word to go on, so the
// test kills it at the step it chose, whatever the machine's load (the decoding threads go on
// writing meanwhile, so the kill also lands in the middle of their writes).
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "platform/FileStamps.h"
#include "tests/support/PartFiles.h"
#include "tests/support/ScratchDirectory.h"
#include "tests/support/ZipBuilder.h"
#include "zip/Extractor.h"
#include "zip/MemoryInputStream.h"
#include "zip/RollForward.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;
using testsupport::ZipFixtureEntry;

constexpr int fileCount = 200;
constexpr int killCount = 20;

// One step of progress, as the child reports it.
struct Step {
  zip::ExtractionPhase phase;
  uint32_t done;
};

std::string newContent(int i) {
  std::string content = "new " + std::to_string(i) + "\n";
  // A few large ones, so that decoding threads are writing when the kill comes.
  const size_t size = i % 40 == 0 ? 200000 : 100 + 37 * static_cast<size_t>(i);
  while (content.size() < size) content += std::to_string(i * 7919 % 100003) + ",";
  return content;
}

std::string nameOf(int i) {
  return "dir" + std::to_string(i % 7) + "/sub" + std::to_string(i % 3) + "/f" + std::to_string(i) +
         ".dat";
}

class InstallKill : public testing::Test {
protected:
  testsupport::ScratchDirectory scratch;
  fs::path base = scratch / "base";
  fs::path journal = base / "Update" / "install-journal";
  std::vector<ZipFixtureEntry> entries;
  std::string archive;

  void SetUp() override {
    for (int i = 0; i < fileCount; ++i) {
      entries.push_back({.name = nameOf(i), .data = newContent(i), .method = 8});
    }
    entries.push_back({.name = "Quendral.exe", .data = "new exe", .method = 8});
    archive = testsupport::buildZip(entries);
  }

  // The old version; every tenth file is the new one already (left in place, not decoded).
  void layOldVersion() {
    fs::remove_all(base);
    fs::create_directories(base / "Update");
    for (size_t i = 0; i < entries.size(); ++i) {
      const fs::path path = base / entries[i].name;
      if (i % 10 == 5) {
        writeFile(path, entries[i].data);
        platform::setLastWriteTimeFromDos(path, entries[i].dosDate, entries[i].dosTime);
      } else {
        writeFile(path, "old " + std::to_string(i));
      }
    }
  }

  // "old", "new", or "mixed" with the first file that differs.
  std::string versionOfTree() const {
    size_t olds = 0, news = 0;
    std::string odd;
    for (size_t i = 0; i < entries.size(); ++i) {
      const std::string content = readFile(base / entries[i].name);
      const bool isNew = content == entries[i].data;
      const bool isOld = i % 10 == 5 ? isNew : content == "old " + std::to_string(i);
      if (isOld) ++olds;
      if (isNew) ++news;
      if (!isOld && !isNew && odd.empty()) odd = entries[i].name;
    }
    if (odd.empty() && olds == entries.size()) return "old";
    if (odd.empty() && news == entries.size()) return "new";
    return "mixed (" + std::to_string(olds) + " old, " + std::to_string(news) + " new" +
           (odd.empty() ? "" : ", " + odd + " neither") + ")";
  }

  zip::ExtractionReport extract(const zip::ExtractionProgress& progress) {
    zip::MemoryInputStream stream(std::as_bytes(std::span(archive.data(), archive.size())));
    zip::ZipArchive opened(stream);
    zip::ExtractOptions options;
    options.journal = journal;
    options.progress = progress;
    return zip::Extractor(opened, base, options).run();
  }

  // Runs the extraction in a child and kills it once it has reported `killAt` steps (counted
  // from 1); returns the step it was killed at, or nothing when it ended first.
  std::optional<Step> extractKilledAt(size_t killAt) {
    int steps[2], words[2];
    if (::pipe(steps) != 0 || ::pipe(words) != 0) return std::nullopt;
    const pid_t child = ::fork();
    if (child == 0) {
      ::close(steps[0]);
      ::close(words[1]);
      extract([&](zip::ExtractionPhase phase, size_t done, size_t) {
        const Step step{phase, static_cast<uint32_t>(done)};
        char go = 0;
        if (::write(steps[1], &step, sizeof step) != sizeof step || ::read(words[0], &go, 1) != 1) {
          ::_exit(3);
        }
      });
      ::_exit(0);
    }
    ::close(steps[1]);
    ::close(words[0]);
    std::optional<Step> killedAt;
    Step step{};
    for (size_t count = 1; ::read(steps[0], &step, sizeof step) == sizeof step; ++count) {
      if (count == killAt) {
        ::kill(child, SIGKILL);
        killedAt = step;
        break;
      }
      if (::write(words[1], "g", 1) != 1) break;
    }
    ::waitpid(child, nullptr, 0);
    ::close(steps[0]);
    ::close(words[1]);
    return killedAt;
  }
};

TEST_F(InstallKill, AStartAfterAKillAtAnyStepShowsOneVersionWhole) {
  // The steps of an extraction that runs to its end.
  layOldVersion();
  size_t decodingSteps = 0, installingSteps = 0;
  const zip::ExtractionReport whole = extract([&](zip::ExtractionPhase phase, size_t, size_t) {
    ++(phase == zip::ExtractionPhase::Decoding ? decodingSteps : installingSteps);
  });
  ASSERT_TRUE(whole.skipped.empty() && !whole.endedBy);
  ASSERT_EQ(versionOfTree(), "new");
  ASSERT_EQ(decodingSteps, entries.size());
  ASSERT_GT(installingSteps, 1u);

  // Half of the kills spread over each phase, the first and the last step of each among them.
  std::vector<size_t> moments;
  for (int k = 0; k < killCount / 2; ++k) {
    moments.push_back(1 + k * (decodingSteps - 1) / (killCount / 2 - 1));
    moments.push_back(decodingSteps + 1 + k * (installingSteps - 1) / (killCount / 2 - 1));
  }
  std::map<zip::ExtractionPhase, int> killsIn;
  for (const size_t moment : moments) {
    SCOPED_TRACE("killed at step " + std::to_string(moment));
    layOldVersion();
    const std::optional<Step> killed = extractKilledAt(moment);
    ASSERT_TRUE(killed) << "the extraction ended before the step";
    ++killsIn[killed->phase];

    const zip::RollForwardReport start = zip::rollForwardInstall(journal, base);
    EXPECT_TRUE(start.found);
    EXPECT_FALSE(start.damaged);
    EXPECT_EQ(versionOfTree(), killed->phase == zip::ExtractionPhase::Decoding ? "old" : "new");
    EXPECT_FALSE(testsupport::hasPartFiles(base));
    EXPECT_TRUE(fs::is_empty(base / "Update"));
  }
  EXPECT_EQ(killsIn[zip::ExtractionPhase::Decoding], killCount / 2);
  EXPECT_EQ(killsIn[zip::ExtractionPhase::Installing], killCount / 2);
}

}  // namespace
