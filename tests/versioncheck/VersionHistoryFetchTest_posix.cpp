// The check's steps below the window, on a real temporary directory with a fake fetcher:
// the update directory, the URL, the local copy's life, and the errors with their paths.
#include "versioncheck/VersionHistoryFetch.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>

#include "platform/ExclusiveFile.h"
#include "tests/support/ChildCheck.h"
#include "tests/support/ScratchDirectory.h"
#include "versioncheck/VersionCheckError.h"

namespace versioncheck {
namespace {

namespace fs = std::filesystem;
using Lines = std::vector<std::u16string>;

const std::u16string kUpdatePath = u"http://127.0.0.1:8080/kub/";
const std::u16string kUpdateName = u"VersionesKUB.txt";
const std::string kBody = "KUB 2.4.1.6\r\n- Uno\r\nKUB 2.4.1.7\r\n- Dos\r\n";
const Lines kBodyLines = {u"KUB 2.4.1.6", u"- Uno", u"KUB 2.4.1.7", u"- Dos"};

std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary | std::ios::trunc) << bytes;
}

class VersionHistoryFetch : public testing::Test {
protected:
  testsupport::ScratchDirectory scratch_;

  fs::path updateDir() const { return root_ / "Update"; }
  fs::path copyPath() const { return updateDir() / "VersionesKUB.txt"; }

  // A fetcher that returns body and remembers what it saw when it was called.
  FetchBody fetcherReturning(std::string body) {
    return [this, body](const std::string& url) {
      fetchedUrl_ = url;
      updateDirExistedAtFetch_ = fs::is_directory(updateDir());
      return body;
    };
  }

  const fs::path root_ = scratch_.path();
  std::string fetchedUrl_;
  bool updateDirExistedAtFetch_ = false;
};

TEST_F(VersionHistoryFetch, ReadsTheBodyThroughACopyThatIsDeletedAfterwards) {
  const Lines lines =
      fetchVersionHistoryLines(updateDir(), kUpdatePath, kUpdateName, fetcherReturning(kBody));
  EXPECT_EQ(lines, kBodyLines);
  EXPECT_EQ(fetchedUrl_, "http://127.0.0.1:8080/kub/VersionesKUB.txt");
  EXPECT_TRUE(updateDirExistedAtFetch_);
  EXPECT_TRUE(fs::is_directory(updateDir()));
  EXPECT_TRUE(fs::is_empty(updateDir()));
}

TEST_F(VersionHistoryFetch, NamesAreAppendedAsUtf8WithoutSeparator) {
  const std::u16string name = u"Versi\u00F3nKUB.txt";
  const Lines lines = fetchVersionHistoryLines(updateDir(), u"http://h/dir", name,
                                               fetcherReturning("\xEF\xBB\xBFKUB 2.4.1.7"));
  EXPECT_EQ(lines, Lines{u"KUB 2.4.1.7"});
  EXPECT_EQ(fetchedUrl_, "http://h/dirVersi\xC3\xB3nKUB.txt");
  EXPECT_EQ(versionHistoryCopyPath(updateDir(), name), updateDir() / u8"Versi\u00F3nKUB.txt");
  EXPECT_TRUE(fs::is_empty(updateDir()));
}

// A stale copy longer than the new body must be emptied, not overwritten from the start.
TEST_F(VersionHistoryFetch, ReplacesALongerStaleCopyWhole) {
  fs::create_directory(updateDir());
  writeFile(copyPath(), std::string(1000, 'x') + "\nKUB 9.9.9.9\n");
  const Lines lines = fetchVersionHistoryLines(updateDir(), kUpdatePath, kUpdateName,
                                               fetcherReturning("KUB 2.4.1.7"));
  EXPECT_EQ(lines, Lines{u"KUB 2.4.1.7"});
  EXPECT_FALSE(fs::exists(copyPath()));
}

TEST_F(VersionHistoryFetch, EmptyBodyGivesNoLines) {
  EXPECT_TRUE(fetchVersionHistoryLines(updateDir(), kUpdatePath, kUpdateName, fetcherReturning(""))
                  .empty());
  EXPECT_TRUE(fs::is_empty(updateDir()));
}

// The update directory is created one level only, and a failure to create it shows up as
// the failure to create the copy, with the full path and the system's reason.
TEST_F(VersionHistoryFetch, CreateFailureNamesThePathAndTheCause) {
  struct Case {
    const char* name;
    fs::path updateDirectory;
    std::string cause;
  };
  writeFile(root_ / "file", "");
  const Case cases[] = {
      {"UpdaterDirectoryMissing", root_ / "missing" / "Update", "No such file or directory"},
      {"UpdateIsAFile", root_ / "file-parent" / "Update", "Not a directory"},
  };
  fs::create_directory(root_ / "file-parent");
  writeFile(root_ / "file-parent" / "Update", "not a directory");

  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path copy = c.updateDirectory / "VersionesKUB.txt";
    try {
      fetchVersionHistoryLines(c.updateDirectory, kUpdatePath, kUpdateName,
                               fetcherReturning(kBody));
      ADD_FAILURE() << "no error";
    } catch (const CannotCreateFileError& error) {
      EXPECT_EQ(std::string(error.what()),
                "Cannot create file \"" + copy.string() + "\". " + c.cause);
      EXPECT_EQ(error.path(), copy);
    }
  }
  EXPECT_FALSE(fs::exists(root_ / "missing"));
  EXPECT_EQ(readFile(root_ / "file-parent" / "Update"), "not a directory");
}

// A disk that refuses the copy half-way must not leave a half copy that a later check could
// read as the whole file.
TEST_F(VersionHistoryFetch, ACopyTheDiskRefusesIsNotLeftHalfWritten) {
  const std::string body = kBody + std::string(20000, '-');
  const std::string failure = testsupport::runWithFileSizeLimit(4096, [&]() -> std::string {
    try {
      fetchVersionHistoryLines(updateDir(), kUpdatePath, kUpdateName, fetcherReturning(body));
      return "the check succeeded";
    } catch (const CannotCreateFileError& error) {
      if (fs::exists(copyPath())) return "a half copy stayed";
      return std::string(error.what()).find("File too large") == std::string::npos
                 ? std::string("unexpected cause: ") + error.what()
                 : "";
    }
  });
  EXPECT_EQ(failure, "");
}

// Another opener of the program holds the copy (as on Windows, a file opened without
// sharing): the check fails and leaves that file as it was.
TEST_F(VersionHistoryFetch, CopyHeldByAnotherOpenerIsLeftAlone) {
  fs::create_directory(updateDir());
  writeFile(copyPath(), "held");
  platform::ExclusiveFile holder(copyPath(), platform::ExclusiveFile::Mode::OpenExisting);
  try {
    fetchVersionHistoryLines(updateDir(), kUpdatePath, kUpdateName, fetcherReturning(kBody));
    ADD_FAILURE() << "no error";
  } catch (const CannotCreateFileError& error) {
    EXPECT_TRUE(std::string(error.what())
                    .starts_with("Cannot create file \"" + copyPath().string() + "\". "));
  }
  holder.close();
  EXPECT_EQ(readFile(copyPath()), "held");
}

TEST_F(VersionHistoryFetch, FetchErrorsPassUnchangedAndWriteNothing) {
  const FetchBody failing = [](const std::string&) -> std::string {
    throw std::runtime_error("HTTP/1.1 404 Not Found");
  };
  try {
    fetchVersionHistoryLines(updateDir(), kUpdatePath, kUpdateName, failing);
    ADD_FAILURE() << "no error";
  } catch (const VersionCheckError&) {
    ADD_FAILURE() << "the fetcher's error was wrapped";
  } catch (const std::runtime_error& error) {
    EXPECT_STREQ(error.what(), "HTTP/1.1 404 Not Found");
  }
  EXPECT_TRUE(fs::is_directory(updateDir()));
  EXPECT_TRUE(fs::is_empty(updateDir()));
}

TEST_F(VersionHistoryFetch, BodyAboveTheCapIsRefusedUnwritten) {
  const std::string atCap(kMaxVersionHistoryBytes, 'a');
  EXPECT_EQ(fetchVersionHistoryLines(updateDir(), kUpdatePath, kUpdateName, fetcherReturning(atCap))
                .size(),
            1u);
  EXPECT_THROW(fetchVersionHistoryLines(updateDir(), kUpdatePath, kUpdateName,
                                        fetcherReturning(atCap + "a")),
               VersionHistoryTooLargeError);
  EXPECT_TRUE(fs::is_empty(updateDir()));
}

// The name is the last part of a path we write and delete: it must not reach elsewhere.
TEST_F(VersionHistoryFetch, NameThatIsNoPlainFileNameIsRefused) {
  using namespace std::string_literals;
  const std::u16string names[] = {
      u"", u".", u"..", u"../escaped.txt", u"sub/x.txt", u"..\\escaped.txt", u"a\0b"s};
  for (const std::u16string& name : names) {
    SCOPED_TRACE(testing::PrintToString(name));
    try {
      fetchVersionHistoryLines(updateDir(), kUpdatePath, name, fetcherReturning(kBody));
      ADD_FAILURE() << "no error";
    } catch (const CannotCreateFileError& error) {
      EXPECT_EQ(error.code(), std::errc::invalid_argument);
    }
  }
  EXPECT_FALSE(fs::exists(root_ / "escaped.txt"));
  EXPECT_TRUE(fs::is_empty(updateDir()));
}

TEST_F(VersionHistoryFetch, CopyThatCannotBeOpenedNamesThePath) {
  try {
    readVersionHistoryCopy(copyPath());
    ADD_FAILURE() << "no error";
  } catch (const CannotOpenFileError& error) {
    EXPECT_EQ(std::string(error.what()),
              "Cannot open file \"" + copyPath().string() + "\". No such file or directory");
  }
}

TEST_F(VersionHistoryFetch, CopyGrownPastTheCapIsRefusedAndStays) {
  fs::create_directory(updateDir());
  writeFile(copyPath(), std::string(kMaxVersionHistoryBytes + 1, 'a'));
  EXPECT_THROW(readVersionHistoryCopy(copyPath()), VersionHistoryTooLargeError);
  EXPECT_TRUE(fs::exists(copyPath()));
}

}  // namespace
}  // namespace versioncheck
