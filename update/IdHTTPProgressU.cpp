#include "update/IdHTTPProgressU.h"

#include <optional>
#include <system_error>

#include "net/BodySink.h"
#include "update/HashingSink.h"
#include "update/TransferPercent.h"

namespace update {

namespace {

// The body goes straight into the exclusively opened destination file.
class FileSink : public net::BodySink {
public:
  explicit FileSink(platform::ExclusiveFile& file) : file_(file) {}
  void write(const char* data, std::size_t size) override { file_.write(data, size); }
  std::uint64_t position() const override { return file_.position(); }
  void seek(std::uint64_t position) override { file_.seek(position); }

private:
  platform::ExclusiveFile& file_;
};

}  // namespace

TIdHTTPProgress::TIdHTTPProgress() : IOHndl(std::make_unique<net::TlsIoHandler>()) {
  setBasicAuthByDefault(true);
  setFollowRedirects(true);
  setIoHandler(IOHndl.get());
  setReadTimeout(kReadTimeout);
  onWork = [this](std::int64_t count) { transferStep(count); };
  onWorkBegin = [this](std::int64_t expected) { transferBegin(expected); };
  onWorkEnd = [this] { transferEnd(); };
}

// The client base must stop using IOHndl before it goes; it does nothing after destruction.
TIdHTTPProgress::~TIdHTTPProgress() {
  setIoHandler(nullptr);
}

void TIdHTTPProgress::setProgress(std::int32_t value) {
  FProgress = value;
  // A copy, so that a handler may replace OnChange while it runs.
  if (const TNotifyEvent handler = FOnChange) handler(*this);
}

void TIdHTTPProgress::DownloadFile(const std::string& aFileUrl,
                                   const std::filesystem::path& aDestinationFile) {
  FTransferCompleted = false;
  FRefused = false;
  setProgress(0);
  FBytesToTransfer = 0;
  if (const auto directory = aDestinationFile.parent_path(); !directory.empty()) {
    std::error_code ignored;  // a failure shows up as the failure to create the file
    std::filesystem::create_directories(directory, ignored);
  }
  LDestStream = std::make_unique<platform::ExclusiveFile>(
      aDestinationFile, platform::ExclusiveFile::Mode::CreateOrTruncate);
  FileSink fileSink(*LDestStream);
  std::optional<HashingSink> hashingSink;
  if (FBodyHash != nullptr) hashingSink.emplace(fileSink, *FBodyHash);
  net::BodySink& sink = hashingSink ? static_cast<net::BodySink&>(*hashingSink) : fileSink;
  // By design every transfer error ends here: the update path reports nothing to the user,
  // and the caller has already seen the end of any body that began.
  try {
    // The same server would lead through the same redirects again.
    FRefused = get(aFileUrl, sink).redirectLimitHit;
    FTransferCompleted = !FRefused;
  } catch (const net::Error& e) {
    FRefused = e.retry() == net::Retry::Futile;
  } catch (...) {
  }
  FBodyHashWhole = hashingSink && hashingSink->hashesWhatWasWritten();
}

void TIdHTTPProgress::freeStream() {
  LDestStream.reset();
}

void TIdHTTPProgress::transferBegin(std::int64_t expected) {
  FBytesToTransfer = expected;
}

void TIdHTTPProgress::transferStep(std::int64_t count) {
  if (FBytesToTransfer != 0) setProgress(transferPercent(count, FBytesToTransfer));
}

void TIdHTTPProgress::transferEnd() {
  FBytesToTransfer = 0;
  setProgress(100);
}

}  // namespace update
