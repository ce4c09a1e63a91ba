// Windows takes names that differ only in letter case for one file, as its file system does.
#include <gtest/gtest.h>

#include "platform/FileNameKey.h"

namespace {

TEST(FileNameKeyWindows, NamesThatDifferOnlyInCaseShareAKey) {
  const struct {
    const char* a;
    const char* b;
    bool oneFile;
  } cases[] = {
      {"A.txt", "a.txt", true},
      {"Lib/Informes/Factura.RPT", "lib/INFORMES/factura.rpt", true},
      {"\xC3\x91"
       "and\xC3\xBA.dat",
       "\xC3\xB1"
       "AND\xC3\x9A.DAT",
       true},  // Ñandú, ñANDÚ
      {"stra\xC3\x9F"
       "e",
       "STRASSE", false},  // ß is not SS to a file system
      {"a.txt", "a.txt ", false},
      {"Foo", "Foo/x", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.a) + " / " + c.b);
    EXPECT_EQ(platform::fileNameKey(c.a) == platform::fileNameKey(c.b), c.oneFile);
  }
}

}  // namespace
