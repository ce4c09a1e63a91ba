// The version history is written back in its own form: byte order mark, encoding, line break.
#include <gtest/gtest.h>

#include <string>

#include "publish/HistoryFile.h"
#include "publish/PublishError.h"

namespace {

using publish::HistoryFile;

std::string utf16le(std::u16string_view text) {
  std::string bytes = "\xFF\xFE";
  for (char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}

TEST(HistoryFile, AddsABlockInTheFilesOwnForm) {
  const struct {
    const char* name;
    std::string before;
    std::string after;
  } rows[] = {
      {"new file", "", "\xEF\xBB\xBFKUB 2.4.1.8\r\n- Cami\xC3\xB3n\r\n\r\n"},
      {"UTF-8 with LF, no break at the end", "\xEF\xBB\xBFKUB 2.4.1.7\n- a",
       "\xEF\xBB\xBFKUB 2.4.1.7\n- a\n\nKUB 2.4.1.8\n- Cami\xC3\xB3n\n\n"},
      {"UTF-16 little-endian with CR LF", utf16le(u"KUB 2.4.1.7\r\n- a\r\n\r\n"),
       utf16le(u"KUB 2.4.1.7\r\n- a\r\n\r\nKUB 2.4.1.8\r\n- Cami\u00F3n\r\n\r\n")},
      {"code page 1252 with CR", "KUB 2.4.1.7\r- d\xE9j\xE0\r\r",
       "KUB 2.4.1.7\r- d\xE9j\xE0\r\rKUB 2.4.1.8\r- Cami\xF3n\r\r"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    HistoryFile file = HistoryFile::fromBytes(row.before);
    file.appendBlock({u"KUB 2.4.1.8", u"- Cami\u00F3n"});
    EXPECT_EQ(file.bytes(), row.after);
  }
}

TEST(HistoryFile, ReplacesOneBlockAndKeepsEverythingElse) {
  const std::string before =
      "\xEF\xBB\xBFKUB 2.4.1.6\r\n- old\r\n\r\nKUB 2.4.1.7\r\n- first try\r\n- typo\r\n\r\n";
  HistoryFile file = HistoryFile::fromBytes(before);
  const auto blocks = file.blocks();
  ASSERT_EQ(blocks.size(), 2u);
  EXPECT_EQ(blocks[1].version, u"2.4.1.7");
  file.replaceBlock(blocks[1], {u"KUB 2.4.1.7", u"- second try"});
  EXPECT_EQ(file.bytes(),
            "\xEF\xBB\xBFKUB 2.4.1.6\r\n- old\r\n\r\nKUB 2.4.1.7\r\n- second try\r\n\r\n");
}

TEST(HistoryFile, RefusesWhatItCouldNotWriteBackAsItIs) {
  const struct {
    const char* name;
    std::string bytes;
  } rows[] = {
      {"mixed line breaks", "\xEF\xBB\xBFKUB 2.4.1.6\r\n- a\nKUB 2.4.1.7\r\n"},
      {"ill-formed UTF-8", "\xEF\xBB\xBFKUB 2.4.1.7\r\n- \xC3(\r\n"},
      {"a NUL", std::string("KUB 2.4.1.7\r\n\0- a\r\n", 19)},
  };
  for (const auto& row : rows)
    EXPECT_THROW(HistoryFile::fromBytes(row.bytes), publish::PublishError) << row.name;
  HistoryFile ansi = HistoryFile::fromBytes("KUB 2.4.1.7\r\n");
  ansi.appendBlock({u"KUB 2.4.1.8", u"- \u20AC ok", u"- \u4E2D not in 1252"});
  EXPECT_THROW(ansi.bytes(), publish::PublishError);
}

}  // namespace
