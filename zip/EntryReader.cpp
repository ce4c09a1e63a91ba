#include "zip/EntryReader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <stdexcept>

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

void EntryReader::decodeTo(OutputSink& sink, DecodeBuffers& buffers) {
  begin(sink, buffers);
  for (;;) {
    const std::span<std::byte> read = readInput();
    if (cipher_) cipher_->decrypt(read);
    if (decodeInput()) return;
  }
}

void EntryReader::begin(OutputSink& sink, DecodeBuffers& buffers) {
  if (!decoder_) throw std::logic_error("an entry is decoded once");
  sink_ = &sink;
  buffers_ = &buffers;
  input_ = {};
  produced_ = 0;
  crc_ = 0;
}

std::span<std::byte> EntryReader::readInput() {
  if (entry_.uncompressedSize == 0 || input_.size() > Decoder::maxHeldBack || dataSize_ == 0) {
    return {};
  }
  // What the decoder held back moves to the front, the next part of the data behind it.
  const std::span<std::byte> buffer(buffers_->input);
  const size_t kept = input_.size();
  if (kept > 0) std::memmove(buffer.data(), input_.data(), kept);
  const auto wanted = static_cast<size_t>(std::min<uint64_t>(dataSize_, buffer.size() - kept));
  archive_.readAt(dataOffset_, buffer.data() + kept, wanted);
  dataOffset_ += wanted;
  dataSize_ -= wanted;
  input_ = buffer.first(kept + wanted);
  return buffer.subspan(kept, wanted);
}

bool EntryReader::decodeInput() {
  if (entry_.uncompressedSize == 0) return true;
  const std::span<std::byte> output(buffers_->output);
  for (;;) {
    const bool inputEnded = dataSize_ == 0;
    const DecodeStep step = decoder_->decode(input_, inputEnded, output);
    input_ = input_.subspan(step.consumed);
    if (step.produced > 0) {
      // The size guard: nothing beyond what the entry declares ever reaches the sink.
      if (step.produced > entry_.uncompressedSize - produced_) {
        throw ZipError("the entry decodes to more data than it declares");
      }
      produced_ += step.produced;
      crc_ = crc32(crc_, output.data(), step.produced);
      sink_->write(output.first(step.produced));
    }
    if (step.finished) {
      // The decoder's memory (a deflate window, an LZMA dictionary) goes at once: the reader
      // itself lives on until the extraction finishes the entry, in archive order.
      decoder_.reset();
      finishChecks();
      return true;
    }
    if (step.consumed == 0 && step.produced == 0 &&
        (inputEnded || input_.size() > Decoder::maxHeldBack)) {
      throw ZipError("the compressed data does not decode");
    }
    if (input_.size() <= Decoder::maxHeldBack && !inputEnded) return false;
  }
}

void EntryReader::finishChecks() const {
  if (produced_ != entry_.uncompressedSize) {
    throw ZipError("the entry decodes to less data than it declares");
  }
  if (crc_ != entry_.crc32) throw ZipError("CRC-32 mismatch");
}

}  // namespace zip
