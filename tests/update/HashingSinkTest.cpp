// The hash a download takes as it writes: of the final body only, and only of what was written.
#include <gtest/gtest.h>

#include <string>

#include "net/BodySink.h"
#include "net/Error.h"
#include "signature/StreamingHash.h"
#include "update/HashingSink.h"

namespace {

signature::FileHash hashOf(const std::string& text) {
  signature::StreamingHash hash;
  hash.update(text.data(), text.size());
  return hash.finish();
}

TEST(HashingSink, HashesTheBodyWrittenSinceTheLastReturnToTheStart) {
  net::MemorySink file(1 << 20);
  file.write("kept", 4);  // before the body: not part of it
  signature::StreamingHash hash;
  update::HashingSink sink(file, hash);
  sink.write("a redirect's body", 17);
  sink.seek(4);  // the client's return to the body's start before the next request
  sink.write("PK\3\4", 4);
  sink.write("rest", 4);
  EXPECT_TRUE(sink.hashesWhatWasWritten());
  EXPECT_EQ(file.data(), std::string("keptPK\3\4rest"));
  EXPECT_EQ(hash.finish(), hashOf(std::string("PK\3\4rest")));
}

TEST(HashingSink, ASeekElsewhereLeavesNoWholeHash) {
  net::MemorySink file(1 << 20);
  signature::StreamingHash hash;
  update::HashingSink sink(file, hash);
  sink.write("abcdef", 6);
  sink.seek(3);
  EXPECT_FALSE(sink.hashesWhatWasWritten());
  sink.seek(0);
  EXPECT_TRUE(sink.hashesWhatWasWritten()) << "a new body from the start";
}

TEST(HashingSink, AWriteTheFileRefusedIsNotHashed) {
  net::MemorySink file(6);  // a full disk after 6 bytes
  signature::StreamingHash hash;
  update::HashingSink sink(file, hash);
  sink.write("abcd", 4);
  EXPECT_THROW(sink.write("efgh", 4), net::TransportError);
  EXPECT_EQ(hash.finish(), hashOf("abcd"));
}

}  // namespace
