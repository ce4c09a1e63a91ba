// A held file tells a file being written now from one a killed writer left behind.
#include "platform/HeldFile.h"

#include <gtest/gtest.h>

#include <span>
#include <system_error>

#include "platform/Directory.h"
#include "tests/platform/TempDir.h"

namespace {

using platform::HeldFile;
using platformtest::readFile;
using platformtest::TempDir;
using platformtest::writeFile;

TEST(HeldFile, IsCreatedNewAndWrittenThroughItsHandle) {
  TempDir dir;
  writeFile(dir / "taken", "x");
  EXPECT_THROW(HeldFile::createNew(dir / "taken"), std::system_error);
  try {
    HeldFile::createNew(dir / "taken");
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code(), std::errc::file_exists);
  }

  HeldFile held = HeldFile::createNew(dir / "part");
  held.write(std::as_bytes(std::span("content", 7)));
  EXPECT_FALSE(platform::Directory::open(dir.path()).removeIfUnheld("part"))
      << "still held while being written";
  held.release();
  EXPECT_EQ(readFile(dir / "part"), "content");
}

TEST(HeldFile, OnlyAFileThatNoOneHoldsIsRemoved) {
  TempDir dir;
  writeFile(dir / "leftover", "half");
  HeldFile held = HeldFile::createNew(dir / "being-written");
  const auto folder = platform::Directory::open(dir.path());

  EXPECT_TRUE(folder.removeIfUnheld("leftover"));
  EXPECT_FALSE(std::filesystem::exists(dir / "leftover"));
  EXPECT_FALSE(folder.removeIfUnheld("being-written"));
  EXPECT_TRUE(std::filesystem::exists(dir / "being-written"));
  EXPECT_FALSE(folder.removeIfUnheld("missing"));

  held.release();
  EXPECT_TRUE(folder.removeIfUnheld("being-written"));
}

}  // namespace
