// TIdHTTPProgress: an HTTP client that downloads one URL into one file and reports, while the
// body arrives, a whole-number percentage from 0 to 100. The update worker makes one per
// download attempt, hooks OnChange (and may put its own handler in onWorkEnd), calls
// DownloadFile once, then freeStream, then discards it.
//
// Settings on top of net::HttpClient's: Basic authorization by default, redirects followed,
// a read time-out of 30000 ms per wait (tests may set a shorter one with setReadTimeout), and
// its own TLS handler IOHndl (TLS 1.2+, certificate and host name verified).
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>

#include "net/HttpClient.h"
#include "net/TlsIoHandler.h"
#include "platform/ExclusiveFile.h"
#include "signature/StreamingHash.h"

namespace update {

class TIdHTTPProgress : public net::HttpClient {
public:
  // A notify handler: receives the downloader as sender.
  using TNotifyEvent = std::function<void(TIdHTTPProgress& sender)>;

  static constexpr std::chrono::milliseconds kReadTimeout{30000};

  // Hooks transferBegin, transferStep and transferEnd to onWorkBegin, onWork and onWorkEnd;
  // each slot may then be given another handler by the user.
  TIdHTTPProgress();
  ~TIdHTTPProgress() override;

  // Writes 0 to Progress, creates the destination's missing directories (ignoring failures),
  // creates or truncates the destination, opened for reading and writing and shared with no
  // other opener, then GETs aFileUrl into it. The body breaks off, as a lost connection would
  // end it, when the rest of its announced length, or a piece of a body of unknown length,
  // would leave less than kFreeSpaceReserve (FreeSpaceReserve.h) free on the destination's
  // disk. Throws std::system_error when the destination cannot be created (no request is made
  // then). Every error of the GET is swallowed: the caller learns of a body's end through
  // onWorkEnd. The destination stays open, positioned after the last byte written, until
  // freeStream().
  void DownloadFile(const std::string& aFileUrl, const std::filesystem::path& aDestinationFile);
  // Whether the last DownloadFile got a final response of 200..299 whose body arrived whole
  // (false after any swallowed error, and when the redirect limit ended the GET).
  bool transferCompleted() const { return FTransferCompleted; }
  // Whether the last DownloadFile ended in a refusal that a repeat would meet again: an error
  // marked net::Retry::Futile, or the redirect limit. False after a success and after any other
  // failure.
  bool refused() const { return FRefused; }
  // Closes the destination; nothing happens when there is none.
  void freeStream();

  std::int32_t Progress() const { return FProgress; }
  // Stores the value and calls OnChange, on every write, also when the value is unchanged.
  void setProgress(std::int32_t value);
  std::int64_t BytesToTransfer() const { return FBytesToTransfer; }
  const TNotifyEvent& OnChange() const { return FOnChange; }
  void setOnChange(TNotifyEvent handler) { FOnChange = std::move(handler); }

  // From the next DownloadFile on, the final body is also fed to hash as it is written (the
  // hash restarts with the body); nullptr stops that. The hash stays the caller's.
  void setBodyHash(signature::StreamingHash* hash) { FBodyHash = hash; }
  // Whether the body hash of the last DownloadFile is that of everything the destination took
  // from its start (false without a body hash).
  bool bodyHashWhole() const { return FBodyHashWhole; }

  // The destination of the current download (LDestStream), or nullptr; owned by the
  // downloader until freeStream().
  platform::ExclusiveFile* destination() { return LDestStream.get(); }

private:
  void transferBegin(std::int64_t expected);
  void transferStep(std::int64_t count);
  void transferEnd();

  std::int32_t FProgress = 0;
  std::int64_t FBytesToTransfer = 0;
  TNotifyEvent FOnChange;
  std::unique_ptr<net::TlsIoHandler> IOHndl;
  std::unique_ptr<platform::ExclusiveFile> LDestStream;
  bool FTransferCompleted = false;
  bool FRefused = false;
  signature::StreamingHash* FBodyHash = nullptr;
  bool FBodyHashWhole = false;
};

}  // namespace update
