// What only a POSIX system shows here of the base directory's rules: symbolic links, a folder
// swapped while it is in use, and descriptors.
#include <dirent.h>
#include <gtest/gtest.h>

#include "tests/support/ScratchDirectory.h"
#include "zip/BaseDirectory.h"

namespace {

namespace fs = std::filesystem;
using testsupport::readFile;
using testsupport::writeFile;
using zip::BaseDirectory;

class BaseDirectoryPosixTest : public testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(scratch / "base" / "inside");
    fs::create_directories(scratch / "outside");
  }
  testsupport::ScratchDirectory scratch;
};

size_t openDescriptors() {
  size_t count = 0;
  for (const auto& ignored : fs::directory_iterator("/proc/self/fd")) {
    (void)ignored;
    ++count;
  }
  return count;
}

TEST_F(BaseDirectoryPosixTest, IsTakenAsItsCanonicalPathAndMustExist) {
  fs::create_directory_symlink(scratch / "base", scratch / "link-to-base");
  EXPECT_EQ(BaseDirectory(scratch / "link-to-base" / "").path(), fs::canonical(scratch / "base"));
  EXPECT_THROW(BaseDirectory(scratch / "missing"), zip::ZipError);
  writeFile(scratch / "file", "x");
  EXPECT_THROW(BaseDirectory(scratch / "file"), zip::ZipError);
}

// A link in a path is refused wherever it leads, inside the base too, and nothing is made past
// it.
TEST_F(BaseDirectoryPosixTest, NeverOpensAFolderThroughALink) {
  BaseDirectory base(scratch / "base");
  fs::create_directory_symlink(scratch / "outside", scratch / "base" / "out");
  fs::create_directory_symlink(scratch / "base" / "inside", scratch / "base" / "in");
  for (const char* link : {"out", "in"}) {
    SCOPED_TRACE(link);
    try {
      base.folder({link, "new", "file.txt"}, 2);
      ADD_FAILURE() << "went through the link";
    } catch (const zip::ExtractionEnded&) {
      ADD_FAILURE() << "a link ends the entry, not the extraction";
    } catch (const zip::ZipError& error) {
      EXPECT_NE(std::string(error.what()).find("symbolic link"), std::string::npos);
    }
  }
  EXPECT_FALSE(fs::exists(scratch / "outside" / "new"));
  EXPECT_FALSE(fs::exists(scratch / "base" / "inside" / "new"));
}

// A folder checked and opened, then renamed and replaced by a link to somewhere else: what is
// made in it still lands in the folder that was opened.
TEST_F(BaseDirectoryPosixTest, AFolderSwappedForALinkAfterItWasOpenedLeadsNowhereElse) {
  BaseDirectory base(scratch / "base");
  const auto folder = base.folder({"Lib", "x.dll"}, 1);
  fs::rename(scratch / "base" / "Lib", scratch / "base" / "Lib-moved");
  fs::create_directory_symlink(scratch / "outside", scratch / "base" / "Lib");

  platform::HeldFile file = folder->createHeldFile("x.dll");
  file.release();
  EXPECT_TRUE(fs::exists(scratch / "base" / "Lib-moved" / "x.dll"));
  EXPECT_TRUE(fs::is_empty(scratch / "outside"));
  const auto again = base.folder({"Lib", "y.dll"}, 1);
  EXPECT_EQ(again, folder) << "the folder in use is not looked up again";
}

// Folders that no one holds are let go: walking hundreds opens only a few at a time.
TEST_F(BaseDirectoryPosixTest, KeepsFewFoldersOpen) {
  BaseDirectory base(scratch / "base");
  const size_t before = openDescriptors();
  std::vector<BaseDirectory::Folder> held;
  for (int i = 0; i < 600; ++i) {
    const auto folder = base.folder({"d" + std::to_string(i % 150), "e" + std::to_string(i)}, 2);
    if (i % 50 == 0) held.push_back(folder);
  }
  EXPECT_LT(openDescriptors(), before + 100);
  EXPECT_TRUE(fs::is_directory(scratch / "base" / "d149" / "e599"));
  for (const auto& folder : held) EXPECT_TRUE(fs::is_directory(folder->path()));
}

}  // namespace
