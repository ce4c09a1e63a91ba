#include "zip/EntryReader.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "zip/Crc32.h"
#include "zip/ZipError.h"
#include "zip/codecs/Codecs.h"

namespace zip {
namespace {

constexpr uint16_t aesMethod = 99;

}  // namespace

EntryReader::EntryReader(ZipArchive& archive, const ZipEntry& entry,
                         const PasswordSettings& password)
    : archive_(archive), entry_(entry) {
  const LocalHeader local = archive_.readLocalHeader(entry_);
  dataOffset_ = local.dataOffset;
  dataSize_ = entry_.compressedSize;

  if (entry_.isEncrypted()) {
    if ((entry_.flags & StrongEncryption) != 0 || entry_.method == aesMethod) {
      throw ZipError("strong and AES encryption are not supported");
    }
    if (dataSize_ < TraditionalCipher::headerSize) {
      throw ZipError("the encrypted entry is shorter than its encryption header");
    }
    std::array<std::byte, TraditionalCipher::headerSize> header{};
    archive_.readAt(dataOffset_, header.data(), header.size());
    // Writers that stream (flag bit 3) do not know the CRC when they write the header, so
    // they check against the time instead; the local header is the one that tells.
    const auto checkByte = static_cast<uint8_t>(
        (local.flags & DataDescriptor) != 0 ? local.dosTime >> 8 : entry_.crc32 >> 24);
    // Every test uses the same password, so each gives the same answer; the tests exist for
    // a password prompt, which this reader does not have.
    for (int test = 0; test < std::max(password.tests, 1) && !cipher_; ++test) {
      TraditionalCipher cipher(password.password);
      if (cipher.acceptHeader(header, checkByte)) cipher_ = cipher;
    }
    if (!cipher_) throw ZipError("wrong password");
    dataOffset_ += TraditionalCipher::headerSize;
    dataSize_ -= TraditionalCipher::headerSize;
  }

  decoder_ = makeDecoder(entry_.method, {entry_.uncompressedSize, entry_.flags});
  if (!decoder_) {
    throw ZipError("compression method " + std::to_string(entry_.method) + " is not supported");
  }
}

size_t EntryReader::fillInput(std::span<std::byte> buffer) {
  const auto wanted = static_cast<size_t>(std::min<uint64_t>(dataSize_, buffer.size()));
  archive_.readAt(dataOffset_, buffer.data(), wanted);
  dataOffset_ += wanted;
  dataSize_ -= wanted;
  if (cipher_) cipher_->decrypt(buffer.first(wanted));
  return wanted;
}

void EntryReader::decodeTo(OutputSink& sink, DecodeBuffers& buffers) {
  if (entry_.uncompressedSize == 0) return;
  const std::span<std::byte> inputBuffer(buffers.input);
  const std::span<std::byte> outputBuffer(buffers.output);
  std::span<const std::byte> input;
  uint64_t produced = 0;
  uint32_t crc = 0;
  for (;;) {
    if (input.size() <= Decoder::maxHeldBack && dataSize_ > 0) {
      // What the decoder held back moves to the front, the next part of the data behind it.
      const size_t kept = input.size();
      if (kept > 0) std::memmove(inputBuffer.data(), input.data(), kept);
      input = inputBuffer.first(kept + fillInput(inputBuffer.subspan(kept)));
    }
    const bool inputEnded = dataSize_ == 0;
    const DecodeStep step = decoder_->decode(input, inputEnded, outputBuffer);
    input = input.subspan(step.consumed);
    if (step.produced > 0) {
      // The size guard: nothing beyond what the entry declares ever reaches the sink.
      if (step.produced > entry_.uncompressedSize - produced) {
        throw ZipError("the entry decodes to more data than it declares");
      }
      produced += step.produced;
      crc = crc32(crc, outputBuffer.data(), step.produced);
      sink.write(outputBuffer.first(step.produced));
    }
    if (step.finished) break;
    if (step.consumed == 0 && step.produced == 0 &&
        (inputEnded || input.size() > Decoder::maxHeldBack)) {
      throw ZipError("the compressed data does not decode");
    }
  }
  if (produced != entry_.uncompressedSize) {
    throw ZipError("the entry decodes to less data than it declares");
  }
  if (crc != entry_.crc32) throw ZipError("CRC-32 mismatch");
}

}  // namespace zip
