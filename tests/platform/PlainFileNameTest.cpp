#include "platform/PlainFileName.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct NameCase {
  std::u16string name;
  bool plain;
};

TEST(PlainFileName, AcceptsOneFileNameAndNothingThatLeadsElsewhere) {
  const NameCase cases[] = {
      {u"KUBUpdate-ESC.2.4.1.7.zip", true},
      {u"VersionesKUB.txt", true},
      {u"Versión ñ 2.txt", true},
      {u".hidden", true},
      {u"CONTROL.txt", true},
      {u"COM0", true},
      {u"", false},
      {u".", false},
      {u"..", false},
      {u"...", false},
      {u"KUBUpdate-ESC./../../../outside.zip", false},
      {u"..\\..\\outside.zip", false},
      {u"sub/file.zip", false},
      {u"C:file.zip", false},
      {u"file.zip:stream", false},
      {std::u16string(u"a\0b.zip", 7), false},
      {u"tab\there", false},
      {u"what?.zip", false},
      {u"a*b", false},
      {u"a<b>c", false},
      {u"a|b", false},
      {u"\"quoted\"", false},
      {u"trailing.", false},
      {u"trailing ", false},
      {u"CON", false},
      {u"nul.zip", false},
      {u"Aux.tar.gz", false},
      {u"com1.txt", false},
      {u"LPT9", false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.name.begin(), c.name.end()));
    EXPECT_EQ(platform::isPlainFileName(c.name), c.plain);
  }
}

}  // namespace
