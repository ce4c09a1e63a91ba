// The rules that keep an extraction's writes inside its base directory, on a real disk.
#include "zip/BaseDirectory.h"

#include <gtest/gtest.h>

#include "platform/ExclusiveFile.h"
#include "tests/support/ScratchDirectory.h"

namespace {

namespace fs = std::filesystem;
using testsupport::writeFile;
using zip::BaseDirectory;

class BaseDirectoryTest : public testing::Test {
protected:
  void SetUp() override {
    fs::create_directories(scratch / "base" / "inside");
    fs::create_directories(scratch / "outside");
  }
  testsupport::ScratchDirectory scratch;
};

TEST_F(BaseDirectoryTest, IsTakenAsItsCanonicalPathAndMustExist) {
  fs::create_directory_symlink(scratch / "base", scratch / "link-to-base");
  EXPECT_EQ(BaseDirectory(scratch / "link-to-base" / "").path(), fs::canonical(scratch / "base"));
  EXPECT_THROW(BaseDirectory(scratch / "missing"), zip::ZipError);
  writeFile(scratch / "file", "x");
  EXPECT_THROW(BaseDirectory(scratch / "file"), zip::ZipError);
}

TEST_F(BaseDirectoryTest, MakesDirectoriesButNeverThroughALinkThatLeadsOutside) {
  BaseDirectory base(scratch / "base");
  fs::create_directory_symlink(scratch / "outside", scratch / "base" / "out");
  fs::create_directory_symlink(scratch / "base" / "inside", scratch / "base" / "in");
  writeFile(scratch / "base" / "blocker", "a file");

  EXPECT_TRUE(base.makeDirectories({"a", "b", "c.txt"}, 2));
  EXPECT_TRUE(fs::is_directory(scratch / "base" / "a" / "b"));
  EXPECT_FALSE(fs::exists(scratch / "base" / "a" / "b" / "c.txt")) << "only `count` elements";

  EXPECT_TRUE(base.makeDirectories({"in", "new"}, 2)) << "a link that stays inside is followed";
  EXPECT_TRUE(fs::is_directory(scratch / "base" / "inside" / "new"));

  EXPECT_FALSE(base.makeDirectories({"out", "new"}, 2));
  EXPECT_FALSE(fs::exists(scratch / "outside" / "new"));

  EXPECT_THROW(base.makeDirectories({"blocker", "x"}, 2), zip::ExtractionEnded);
}

TEST_F(BaseDirectoryTest, ATargetThatIsALinkMustStayInside) {
  BaseDirectory base(scratch / "base");
  writeFile(scratch / "outside" / "victim", "x");
  writeFile(scratch / "base" / "inside" / "mine", "x");
  fs::create_symlink(scratch / "outside" / "victim", scratch / "base" / "evil");
  fs::create_symlink(scratch / "base" / "inside" / "mine", scratch / "base" / "fine");
  EXPECT_THROW(base.checkNotOutside(base.targetOf({"evil"})), zip::ZipError);
  EXPECT_NO_THROW(base.checkNotOutside(base.targetOf({"fine"})));
  EXPECT_NO_THROW(base.checkNotOutside(base.targetOf({"not", "there"})));
}

TEST_F(BaseDirectoryTest, SaysWhyATargetMayNotBeReplaced) {
  const fs::path dir = scratch / "base";
  writeFile(dir / "free.txt", "x");
  writeFile(dir / "readonly.dll", "x");
  fs::permissions(dir / "readonly.dll", fs::perms::owner_read);
  writeFile(dir / "held.exe", "x");
  platform::ExclusiveFile held(dir / "held.exe", platform::ExclusiveFile::Mode::OpenExisting);
  const struct {
    const char* name;
    const char* reason;  // "" when it may be replaced
  } cases[] = {
      {"missing.txt", ""},
      {"free.txt", ""},
      {"readonly.dll", "the existing file is read-only"},
      {"held.exe", "the existing file cannot be opened for writing"},
      {"inside", "something other than a file is in the way"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string reason;
    try {
      BaseDirectory::checkReplaceable(dir / c.name);
    } catch (const zip::ZipError& error) {
      reason = error.what();
    }
    EXPECT_EQ(reason, c.reason);
  }
}

}  // namespace
