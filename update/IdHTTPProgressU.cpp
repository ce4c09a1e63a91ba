#include "update/IdHTTPProgressU.h"

#include <algorithm>
#include <optional>
#include <system_error>

#include "net/BodySink.h"
#include "platform/Directory.h"
#include "update/FreeSpaceReserve.h"
#include "update/HashingSink.h"
#include "update/TransferPercent.h"

namespace update {

namespace {

// The body goes straight into the exclusively opened destination file, as long as the disk
// keeps kFreeSpaceReserve free after it: the rest of an announced body, or this piece of one
// whose length is not known, must fit above the reserve, or the body breaks off here as on a
// full disk. The folder tells the free space; without one (it cannot be opened) the disk is
// left to say when it is full.
class FileSink : public net::BodySink {
public:
  FileSink(platform::ExclusiveFile& file, const std::optional<platform::Directory>& folder,
           const std::int64_t& announced)
      : file_(file), folder_(folder), announced_(announced) {}

  void write(const char* data, std::size_t size) override {
    if (folder_) keepReserve(size);
    file_.write(data, size);
  }
  std::uint64_t position() const override { return file_.position(); }
  void seek(std::uint64_t position) override { file_.seek(position); }

private:
  void keepReserve(std::size_t size) const {
    const std::optional<std::uint64_t> free = folder_->freeSpace();
    if (!free) return;
    const std::uint64_t written = file_.position();
    const std::uint64_t announced = announced_ > 0 ? static_cast<std::uint64_t>(announced_) : 0;
    const std::uint64_t coming =
        std::max<std::uint64_t>(size, announced > written ? announced - written : 0);
    if (coming > *free || *free - coming < kFreeSpaceReserve) {
      throw std::system_error(std::make_error_code(std::errc::no_space_on_device),
                              "the download would leave too little free space");
    }
  }

  platform::ExclusiveFile& file_;
  const std::optional<platform::Directory>& folder_;
  const std::int64_t& announced_;  // the length the final response announced, 0 if none
};

std::optional<platform::Directory> folderOf(const std::filesystem::path& file) {
  try {
    return platform::Directory::open(file.has_parent_path() ? file.parent_path()
                                                            : std::filesystem::path("."));
  } catch (const std::system_error&) {
    return std::nullopt;
  }
}

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
  const std::optional<platform::Directory> folder = folderOf(aDestinationFile);
  FileSink fileSink(*LDestStream, folder, FBytesToTransfer);
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
