// The rules that keep an extraction's writes inside its base directory, on a real disk.
#include "zip/BaseDirectory.h"

#include <gtest/gtest.h>

#include "platform/ExclusiveFile.h"
#include "platform/Utf8Path.h"
#include "tests/support/ScratchDirectory.h"
#include "zip/ZipError.h"

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

TEST_F(BaseDirectoryTest, MakesTheFoldersOfAPathOneLevelAtATime) {
  BaseDirectory base(scratch / "base");
  writeFile(scratch / "base" / "blocker", "a file");

  const auto folder = base.folder({"a", "b", "c.txt"}, 2);
  EXPECT_TRUE(fs::is_directory(scratch / "base" / "a" / "b"));
  EXPECT_FALSE(fs::exists(scratch / "base" / "a" / "b" / "c.txt")) << "only `count` elements";
  EXPECT_EQ(fs::canonical(folder->path()), fs::canonical(scratch / "base" / "a" / "b"));
  EXPECT_EQ(base.folder({"a", "b"}, 2), folder) << "one open folder while it is held";
  EXPECT_EQ(base.folder({"x"}, 0)->path(), base.path());

  EXPECT_THROW(base.folder({"blocker", "x"}, 2), zip::ExtractionEnded);
}

TEST_F(BaseDirectoryTest, SaysWhyATargetMayNotBeReplaced) {
  const fs::path dir = scratch / "base";
  BaseDirectory base(dir);
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
      BaseDirectory::checkReplaceable(*base.folder({}, 0), c.name);
    } catch (const zip::ZipError& error) {
      reason = error.what();
    }
    EXPECT_EQ(reason, c.reason);
  }
}

// The messages are UTF-8 whatever the folder's name: on Windows the narrow form of a path is
// in the ANSI code page, which has no Greek or Japanese letters.
TEST_F(BaseDirectoryTest, NamesAFolderOutsideTheCodePageInItsMessages) {
  const std::string name = "Versi\u00f3n \u0395\u03bb\u03bb\u03ac\u03b4\u03b1 \u65e5\u672c";
  try {
    BaseDirectory missing(scratch.path() / platform::pathOfUtf8(name));
    FAIL() << "a folder that does not exist was taken as the base";
  } catch (const zip::ZipError& error) {
    EXPECT_NE(std::string(error.what()).find(name), std::string::npos) << error.what();
  }
}

}  // namespace
