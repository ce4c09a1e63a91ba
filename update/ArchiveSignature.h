// The signature of an update archive: fetched from beside the archive (<archive URL>.minisig)
// and checked against the product line's key and the hash taken while the archive arrived.
#pragma once

#include <string>
#include <string_view>

#include "net/HttpClient.h"
#include "signature/PublicKey.h"
#include "signature/StreamingHash.h"
#include "signature/Verifier.h"

namespace update {

// The file name of an archive's signature: minisign's, the archive's name and ".minisig".
std::string signatureUrl(const std::string& archiveUrl);

// What fetching a signature file gave.
struct FetchedSignature {
  enum class Result {
    Fetched,      // text holds the file
    Missing,      // a 404 or 410, or a refusal that every repeat meets too: final
    Unavailable,  // no connection, a time-out, a 5xx, another error status: may pass
  };
  Result result = Result::Unavailable;
  std::string text;
};

// A signature file is a few hundred bytes; a larger answer is not one.
inline constexpr std::size_t kMaxSignatureBytes = 16 * 1024;

// GETs url with client (its settings: TLS, time-outs, redirects) into memory, at most
// kMaxSignatureBytes. Raises nothing.
FetchedSignature fetchSignature(net::HttpClient& client, const std::string& url) noexcept;

}  // namespace update
