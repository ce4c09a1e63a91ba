// Reads one file entry's data: locates it behind its local header, checks the password of an
// encrypted entry, and decodes it in one pass through fixed buffers into a sink, with the
// CRC-32 computed on the way. Memory does not depend on the entry's size.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "zip/Decoder.h"
#include "zip/TraditionalCipher.h"
#include "zip/ZipArchive.h"

namespace zip {

// Where decoded bytes go. May throw to end the entry.
class OutputSink {
public:
  virtual ~OutputSink() = default;
  virtual void write(std::span<const std::byte> data) = 0;
};

// The buffers of one extraction, reused entry after entry.
struct DecodeBuffers {
  static constexpr size_t inputSize = 128 * 1024;
  static constexpr size_t outputSize = 256 * 1024;
  std::vector<std::byte> input = std::vector<std::byte>(inputSize);
  std::vector<std::byte> output = std::vector<std::byte>(outputSize);
};

struct PasswordSettings {
  std::string password;
  // How often the encryption header is tested before the entry fails for a wrong password.
  int tests = 1;
};

class EntryReader {
public:
  // Reads the local header and, for an encrypted entry, tests the password. Throws ZipError
  // when the header is wrong, the entry uses strong or AES encryption, the password does not
  // fit, or the method is not supported. The archive and entry must outlive the reader.
  EntryReader(ZipArchive& archive, const ZipEntry& entry, const PasswordSettings& password);

  // Decodes the whole entry into sink. Throws ZipError when the data is corrupt or truncated,
  // when it decodes to more or fewer bytes than the entry declares, or when its CRC-32 differs.
  // An entry of size 0 is neither decoded nor tested.
  void decodeTo(OutputSink& sink, DecodeBuffers& buffers);

private:
  size_t fillInput(std::span<std::byte> buffer);

  ZipArchive& archive_;
  const ZipEntry& entry_;
  uint64_t dataOffset_ = 0;
  uint64_t dataSize_ = 0;
  std::optional<TraditionalCipher> cipher_;
  std::unique_ptr<Decoder> decoder_;
};

}  // namespace zip
