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

// The buffers of one entry's decoding, reused entry after entry. Small, since a thread keeps
// many entries under way (DecodeLanes): the input is what one step reads of an entry's data.
struct DecodeBuffers {
  static constexpr size_t inputSize = 16 * 1024;
  static constexpr size_t outputSize = 64 * 1024;
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

  // Decodes the whole entry into sink; a reader decodes once. Throws ZipError when the data is
  // corrupt or truncated, when it decodes to more or fewer bytes than the entry declares, or when
  // its CRC-32 differs. An entry of size 0 is neither decoded nor tested.
  void decodeTo(OutputSink& sink, DecodeBuffers& buffers);

  // The same decoding in steps, so that one thread can advance several entries and decrypt
  // their data together: begin, then read input, decrypt it with cipher() and decode it, until
  // decodeInput reports the end. Each step throws as decodeTo does.
  void begin(OutputSink& sink, DecodeBuffers& buffers);
  // Reads the next part of the data into the input buffer when the decoder needs more; returns
  // those bytes, still encrypted, or nothing.
  std::span<std::byte> readInput();
  // The entry's cipher, ready for the data readInput returns; null when it is not encrypted.
  TraditionalCipher* cipher() { return cipher_ ? &*cipher_ : nullptr; }
  // Decodes the input read so far into the sink; true once the entry is whole and checked.
  bool decodeInput();

private:
  void finishChecks() const;

  ZipArchive& archive_;
  const ZipEntry& entry_;
  uint64_t dataOffset_ = 0;
  uint64_t dataSize_ = 0;
  std::optional<TraditionalCipher> cipher_;
  std::unique_ptr<Decoder> decoder_;

  // The decoding under way.
  OutputSink* sink_ = nullptr;
  DecodeBuffers* buffers_ = nullptr;
  std::span<const std::byte> input_;  // read and not yet consumed
  uint64_t produced_ = 0;
  uint32_t crc_ = 0;
};

}  // namespace zip
