// The TLS settings of a client, which a caller may own and share.
#pragma once

#include <filesystem>

namespace net {

// The TLS settings a client applies to https URLs: TLS 1.2 or newer, the server certificate
// verified against the system's trusted certificates, the host name verified and sent in the
// handshake. Users have no way to loosen this; only tests may name another CA.
class TlsIoHandler {
public:
  // FOR TESTS ONLY: trust the certificates in this PEM file instead of the system's store.
  void setCaFileForTests(const std::filesystem::path& caFile) { caFile_ = caFile; }
  const std::filesystem::path& caFile() const { return caFile_; }

private:
  std::filesystem::path caFile_;
};

}  // namespace net
