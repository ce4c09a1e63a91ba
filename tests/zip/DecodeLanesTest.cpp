#include "zip/DecodeLanes.h"

#include <gtest/gtest.h>

#include <stdexcept>

#include "tests/support/InvoiceText.h"
#include "tests/support/StringSink.h"
#include "tests/support/ZipBuilder.h"
#include "tests/support/ZipTestPassword.h"
#include "zip/MemoryInputStream.h"
#include "zip/ZipError.h"

namespace {

using testsupport::buildZip;
using testsupport::invoiceText;
using testsupport::StringSink;
using testsupport::ZipFixtureEntry;

const std::string password = testsupport::kZipTestPassword;

// How a job's last step ends.
enum class Finish { Whole, Throws, ThrowsNonException };

// Decodes its entry into a string, or, given no reader, has nothing to decode; tells whether it
// was abandoned.
class StringJob final : public zip::DecodeJob {
public:
  StringJob(zip::EntryReader* reader, StringSink& sink, bool& abandoned,
            Finish finish = Finish::Whole)
      : reader_(reader), sink_(sink), abandoned_(abandoned), finish_(finish) {}

  zip::EntryReader* start(zip::DecodeBuffers& buffers) override {
    if (reader_ != nullptr) reader_->begin(sink_, buffers);
    return reader_;
  }
  void finish() override {
    if (finish_ == Finish::Throws) throw std::runtime_error("could not put it in place");
    if (finish_ == Finish::ThrowsNonException) throw 7;
  }
  void abandon() noexcept override { abandoned_ = true; }

private:
  zip::EntryReader* reader_;
  StringSink& sink_;
  bool& abandoned_;
  Finish finish_;
};

TEST(DecodeLanesTest, EntriesAdvancedTogetherComeOutAsEachAloneAndFailAlone) {
  struct Row {
    ZipFixtureEntry entry;
    Finish finish = Finish::Whole;
    const char* failure = nullptr;  // what the future holds; none for a whole entry
  };
  std::vector<Row> rows = {
      {{.name = "deflated", .data = invoiceText(300000, 1), .method = 8, .password = password}},
      {{.name = "stored", .data = invoiceText(70000, 2), .password = password}},
      {{.name = "tiny", .data = "x", .method = 8, .password = password}},
      {{.name = "empty", .password = password}},
      {{.name = "plain", .data = invoiceText(90000, 3), .method = 8}},
      {{.name = "crc",
        .data = invoiceText(40000, 4),
        .method = 8,
        .password = password,
        .crc = 0x12345678},
       Finish::Whole,
       "CRC-32 mismatch"},
      {{.name = "placed", .data = invoiceText(5000, 5), .method = 8, .password = password},
       Finish::Throws,
       "could not put it in place"},
      {{.name = "odd", .data = invoiceText(3000, 6), .method = 8, .password = password},
       Finish::ThrowsNonException,
       "unknown error"},
  };
  std::vector<ZipFixtureEntry> entries;
  for (const Row& row : rows) entries.push_back(row.entry);
  const std::string bytes = buildZip(entries);
  zip::MemoryInputStream stream(std::as_bytes(std::span(bytes.data(), bytes.size())));
  zip::ZipArchive archive(stream);

  std::vector<std::unique_ptr<zip::EntryReader>> readers;
  std::vector<StringSink> sinks(rows.size() + 1);
  auto abandoned = std::make_unique<bool[]>(rows.size() + 1);
  std::vector<std::future<zip::DecodeJob::Failure>> done;
  zip::DecodeLanes lanes;
  for (size_t i = 0; i < rows.size(); ++i) {
    readers.push_back(std::make_unique<zip::EntryReader>(archive, archive.entries()[i],
                                                         zip::PasswordSettings{password}));
    std::promise<zip::DecodeJob::Failure> promise;
    done.push_back(promise.get_future());
    lanes.start(
        std::make_unique<StringJob>(readers.back().get(), sinks[i], abandoned[i], rows[i].finish),
        std::move(promise));
  }
  // A job with nothing to decode ends as it starts.
  std::promise<zip::DecodeJob::Failure> promise;
  done.push_back(promise.get_future());
  lanes.start(std::make_unique<StringJob>(nullptr, sinks.back(), abandoned[rows.size()]),
              std::move(promise));
  EXPECT_EQ(lanes.size(), rows.size());

  lanes.runAll();
  for (size_t i = 0; i < rows.size(); ++i) {
    SCOPED_TRACE(rows[i].entry.name);
    EXPECT_EQ(abandoned[i], rows[i].failure != nullptr);
    const zip::DecodeJob::Failure failure = done[i].get();
    if (rows[i].failure == nullptr) {
      EXPECT_EQ(failure, std::nullopt);
      EXPECT_EQ(sinks[i].text, rows[i].entry.data);
    } else {
      EXPECT_EQ(failure, rows[i].failure);
    }
  }
  EXPECT_EQ(done.back().get(), std::nullopt);
  EXPECT_FALSE(abandoned[rows.size()]);
  EXPECT_TRUE(lanes.empty());
}

}  // namespace
