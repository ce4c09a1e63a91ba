#include "update/ArchiveSignature.h"

namespace update {
namespace {

// An answer larger than a signature file can be: no repeat makes it one.
struct TooLarge {};

class SignatureSink final : public net::BodySink {
public:
  void write(const char* data, std::size_t size) override {
    if (size > kMaxSignatureBytes - text.size()) throw TooLarge{};
    text.append(data, size);
  }
  std::uint64_t position() const override { return text.size(); }
  void seek(std::uint64_t position) override { text.resize(static_cast<std::size_t>(position)); }
  std::string text;
};

}  // namespace

std::string signatureUrl(const std::string& archiveUrl) {
  return archiveUrl + ".minisig";
}

FetchedSignature fetchSignature(net::HttpClient& client, const std::string& url) noexcept {
  using Result = FetchedSignature::Result;
  try {
    SignatureSink body;
    // The redirect limit ends the GET as it would end every repeat.
    if (client.get(url, body).redirectLimitHit) return {Result::Missing, {}};
    return {Result::Fetched, std::move(body.text)};
  } catch (const net::HttpError& error) {
    // A release published without its signature stays so: asking again changes nothing.
    if (error.status() == 404 || error.status() == 410 || error.retry() == net::Retry::Futile)
      return {Result::Missing, {}};
    return {Result::Unavailable, {}};
  } catch (const net::Error& error) {
    if (error.retry() == net::Retry::Futile) return {Result::Missing, {}};
    return {Result::Unavailable, {}};
  } catch (...) {
    // An answer too large to be a signature file (or no memory for it).
    return {Result::Missing, {}};
  }
}

}  // namespace update
