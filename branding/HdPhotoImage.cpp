#include "branding/HdPhotoImage.h"

#include "platform/ChildProcess.h"

#include <QtEndian>

#include <algorithm>
#include <bit>
#include <chrono>
#include <cstring>
#include <iterator>
#include <memory>
#include <optional>
#include <span>
#include <string>

// jxrlib defines min and max as macros: call std::max as (std::max).
#include <JXRGlue.h>

namespace branding {
namespace {

struct StreamClose {
  void operator()(WMPStream* stream) const { stream->Close(&stream); }
};
struct DecoderRelease {
  void operator()(PKImageDecode* decoder) const { decoder->Release(&decoder); }
};
struct ConverterRelease {
  void operator()(PKFormatConverter* converter) const { converter->Release(&converter); }
};
struct AlignedFree {
  void operator()(U8* buffer) const {
    void* memory = buffer;
    PKFreeAligned(&memory);
  }
};

// Bytes of one row of width pixels in the pixel format.
qsizetype rowBytes(const PKPixelFormatGUID& format, qsizetype width) {
  PKPixelInfo info{};
  info.pGUIDPixFmt = &format;
  if (Failed(PixelFormatLookup(&info, LOOKUP_FORWARD)) || info.cbitUnit == 0) return -1;
  if (info.bdBitDepth == BD_1) return (static_cast<qsizetype>(info.cbitUnit) * width + 7) / 8;
  return static_cast<qsizetype>((info.cbitUnit + 7) / 8) * width;
}

// A solid colour at the lowest quality takes about one byte for 500 pixels. Far fewer bytes for
// the size declared is a decompression bomb: the decoder would spend minutes on every macroblock
// of the declared size, even reduced.
constexpr qint64 kMostPixelsPerByte = 16384;
// The largest image takes well under a second; a decoder still busy after this is stuck.
constexpr std::chrono::seconds kLongestDecode{30};
// The child maps the decoded pixels and the picture it hands over, each at most the bitmap
// budget, and besides them libjxr's buffers of a few rows of macroblocks of the full width,
// the copy of the data it is handed, and the allocator's slack: this is room for those.
constexpr size_t kDecoderWorkingSpace = size_t{256} * 1024 * 1024;

// How many times to halve the image while decoding (JPEG XR decodes at 1/1 to 1/16) so that
// it stays at least as large as it is shown: the size that fits inside largest.
int reductionFor(QSize size, QSize largest) {
  const QSize shown = size.boundedTo(largest) == size
                          ? size
                          : size.scaled(largest, Qt::KeepAspectRatio).expandedTo({1, 1});
  int reduction = 0;
  while (reduction < 4) {
    const int next = reduction + 1;
    const int width = (size.width() + (1 << next) - 1) >> next;
    const int height = (size.height() + (1 << next) - 1) >> next;
    if (width < shown.width() || height < shown.height()) break;
    reduction = next;
  }
  return reduction;
}

// A pixel format libjxr can write and the QImage format with the same bytes. 32bppBGR(A) is
// B, G, R, A in memory: QImage's 32-bit ARGB on a little-endian machine.
struct Target {
  const PKPixelFormatGUID* jxr;
  QImage::Format qt;
};

// Formats taken as the decoder writes them, without a conversion.
constexpr Target kAsDecoded[] = {
    {&GUID_PKPixelFormat24bppBGR, QImage::Format_BGR888},
    {&GUID_PKPixelFormat24bppRGB, QImage::Format_RGB888},
    {&GUID_PKPixelFormat8bppGray, QImage::Format_Grayscale8},
    {&GUID_PKPixelFormat32bppBGRA, QImage::Format_ARGB32},
    {&GUID_PKPixelFormat32bppPBGRA, QImage::Format_ARGB32_Premultiplied},
    {&GUID_PKPixelFormat32bppBGR, QImage::Format_RGB32}};
// Any other format is converted to the first of these that libjxr converts it to. Its
// converters work in place, and those that widen a pixel overwrite the first pixels of a row
// before reading them, so narrowing ones are taken first.
constexpr Target kWithAlpha[] = {{&GUID_PKPixelFormat32bppBGRA, QImage::Format_ARGB32}};
constexpr Target kOpaque[] = {{&GUID_PKPixelFormat24bppBGR, QImage::Format_BGR888},
                              {&GUID_PKPixelFormat24bppRGB, QImage::Format_RGB888},
                              {&GUID_PKPixelFormat8bppGray, QImage::Format_Grayscale8},
                              {&GUID_PKPixelFormat32bppBGR, QImage::Format_RGB32}};
static_assert(std::endian::native == std::endian::little);

// Bytes of one value of an entry of the container's directory, by its type (TIFF's: BYTE,
// ASCII, SHORT, LONG, RATIONAL, their signed forms, FLOAT, DOUBLE); other types count as bytes.
quint64 valueBytes(quint16 type) {
  switch (type) {
    case 3:
    case 8:
      return 2;
    case 4:
    case 9:
    case 11:
      return 4;
    case 5:
    case 10:
    case 12:
      return 8;
    default:
      return 1;
  }
}

// libjxr allocates what an entry of the directory declares before it reads the entry's values
// (a few bytes may declare a text of 3 GiB): true when the directory, and the values of every
// entry that holds them elsewhere than in its own 4 bytes, lie within the data.
bool directoryFitsTheData(QByteArrayView data) {
  const auto size = static_cast<quint64>(data.size());
  const auto at = [&](quint64 offset) { return data.data() + offset; };
  if (size < 8) return false;
  const quint64 directory = qFromLittleEndian<quint32>(at(4));
  if (directory + 2 > size) return false;
  const quint64 entries = qFromLittleEndian<quint16>(at(directory));
  if (directory + 2 + 12 * entries > size) return false;
  for (quint64 entry = directory + 2; entry < directory + 2 + 12 * entries; entry += 12) {
    const quint64 bytes = valueBytes(qFromLittleEndian<quint16>(at(entry + 2))) *
                          qFromLittleEndian<quint32>(at(entry + 4));
    if (bytes > 4 && qFromLittleEndian<quint32>(at(entry + 8)) + bytes > size) return false;
  }
  return true;
}

// The picture as the child process hands it over: this header, then the rows.
struct Picture {
  int32_t width;
  int32_t height;
  int32_t format;  // QImage::Format
  int32_t bytesPerLine;
};

// The decoding itself, run in the child process: a picture in the form of Picture, or empty
// for data that is refused.
std::string decodeHere(QByteArrayView data, QSize largest, qsizetype maxBitmapBytes) {
  WMPStream* rawStream = nullptr;
  // A read-only stream: the decoder never writes through the pointer.
  if (Failed(CreateWS_Memory(&rawStream, const_cast<char*>(data.data()),
                             static_cast<size_t>(data.size()))))
    return {};
  const std::unique_ptr<WMPStream, StreamClose> stream(rawStream);

  PKImageDecode* rawDecoder = nullptr;
  if (Failed(PKImageDecode_Create_WMP(&rawDecoder))) return {};
  const std::unique_ptr<PKImageDecode, DecoderRelease> decoder(rawDecoder);
  if (Failed(decoder->Initialize(decoder.get(), stream.get()))) return {};
  if (Failed(decoder->SelectFrame(decoder.get(), 0))) return {};

  I32 fullWidth = 0, fullHeight = 0;
  PKPixelFormatGUID native{};
  if (Failed(decoder->GetSize(decoder.get(), &fullWidth, &fullHeight)) ||
      Failed(decoder->GetPixelFormat(decoder.get(), &native)) || fullWidth <= 0 || fullHeight <= 0)
    return {};
  if (static_cast<qint64>(fullWidth) * fullHeight / kMostPixelsPerByte > data.size()) return {};
  PKPixelInfo info{};
  info.pGUIDPixFmt = &native;
  if (Failed(PixelFormatLookup(&info, LOOKUP_FORWARD))) return {};
  const bool alpha = (info.grBit & PK_pixfmtHasAlpha) != 0;

  const int reduction = reductionFor(QSize(fullWidth, fullHeight), largest);
  const I32 width = (fullWidth + (1 << reduction) - 1) >> reduction;
  const I32 height = (fullHeight + (1 << reduction) - 1) >> reduction;
  // Refused before anything is allocated for pixels: no target takes more than 4 bytes a pixel.
  const qsizetype nativeRow = rowBytes(native, width);
  if (nativeRow <= 0 || (std::max)(nativeRow, qsizetype{4} * width) > maxBitmapBytes / height)
    return {};

  // The decoder decodes what these fields ask for; they have no defaults, so the caller sets
  // them: the whole frame, in its own colour format, with its alpha plane, at the reduction.
  auto& image = decoder->WMP.wmiI;
  decoder->WMP.wmiSCP.uAlphaMode = alpha ? 2 : 0;
  image.cfColorFormat = info.cfColorFormat;
  image.bdBitDepth = info.bdBitDepth;
  image.cBitsPerUnit = info.cbitUnit;
  image.cThumbnailWidth = static_cast<size_t>(width);
  image.cThumbnailHeight = static_cast<size_t>(height);
  image.bSkipFlexbits = FALSE;
  // Sub-sampled chroma cannot be decoded reduced.
  if (reduction > 0 && (image.cfColorFormat == YUV_420 || image.cfColorFormat == YUV_422))
    image.cfColorFormat = YUV_444;
  image.cROILeftX = 0;
  image.cROITopY = 0;
  image.cROIWidth = static_cast<size_t>(width);
  image.cROIHeight = static_cast<size_t>(height);
  image.oOrientation = O_NONE;
  image.cPostProcStrength = 0;

  PKFormatConverter* rawConverter = nullptr;
  if (Failed(PKCodecFactory_CreateFormatConverter(&rawConverter))) return {};
  const std::unique_ptr<PKFormatConverter, ConverterRelease> converter(rawConverter);
  const Target* target = nullptr;
  const auto tryTargets = [&](std::span<const Target> targets, bool onlyExact) {
    for (const Target& candidate : targets) {
      if (target != nullptr) return;
      if (onlyExact && std::memcmp(candidate.jxr, &native, sizeof native) != 0) continue;
      if (!onlyExact && rowBytes(*candidate.jxr, width) > nativeRow) continue;
      if (!Failed(converter->Initialize(converter.get(), decoder.get(), nullptr, *candidate.jxr)))
        target = &candidate;
    }
  };
  tryTargets(kAsDecoded, true);
  tryTargets(alpha ? std::span<const Target>(kWithAlpha) : std::span<const Target>(kOpaque), false);
  if (target == nullptr) return {};

  // The decoder writes its own pixel format into the buffer and the converter turns it into
  // the target in place, so a row must hold the wider of the two.
  const qsizetype targetRow = rowBytes(*target->jxr, width);
  const qsizetype stride = (std::max)(nativeRow, targetRow);
  void* rawPixels = nullptr;
  if (targetRow <= 0 ||
      Failed(PKAllocAligned(&rawPixels, static_cast<size_t>(stride * height), 128)))
    return {};
  const std::unique_ptr<U8, AlignedFree> pixels(static_cast<U8*>(rawPixels));
  const PKRect whole{0, 0, width, height};
  if (Failed(converter->Copy(converter.get(), &whole, pixels.get(), static_cast<U32>(stride))))
    return {};

  // Rows padded to 4 bytes, as a QImage over borrowed memory needs them.
  Picture head{width, height, static_cast<int32_t>(target->qt),
               (static_cast<int32_t>(targetRow) + 3) & ~3};
  std::string picture(sizeof head + static_cast<size_t>(head.bytesPerLine) * height, '\0');
  std::memcpy(picture.data(), &head, sizeof head);
  for (int y = 0; y < height; ++y) {
    char* row = picture.data() + sizeof head + static_cast<size_t>(y) * head.bytesPerLine;
    std::memcpy(row, pixels.get() + y * stride, static_cast<size_t>(targetRow));
    // The fourth byte of 32bppBGR is left undefined; RGB32 wants it opaque.
    if (target->qt == QImage::Format_RGB32)
      for (int x = 0; x < width; ++x) row[4 * x + 3] = static_cast<char>(0xFF);
  }
  return picture;
}

}  // namespace

bool isHdPhoto(QByteArrayView data) {
  return data.size() >= 4 && data[0] == 'I' && data[1] == 'I' &&
         static_cast<unsigned char>(data[2]) == 0xBC && (data[3] == 0 || data[3] == 1);
}

QImage decodeHdPhoto(QByteArrayView data, QSize largest, qsizetype maxBitmapBytes) {
  if (!isHdPhoto(data) || !directoryFitsTheData(data)) return {};
  // libjxr asserts on what it reads and trusts offsets in the file: a damaged image must end
  // a child process, not the updater.
  const auto bitmapBytes = static_cast<size_t>(maxBitmapBytes);
  std::optional<std::string> bytes =
      platform::runInChildProcess([&] { return decodeHere(data, largest, maxBitmapBytes); },
                                  {.resultBytes = sizeof(Picture) + bitmapBytes,
                                   .time = kLongestDecode,
                                   .addedAddressSpace = 2 * bitmapBytes + kDecoderWorkingSpace});
  if (!bytes || bytes->size() < sizeof(Picture)) return {};
  Picture head;
  std::memcpy(&head, bytes->data(), sizeof head);
  const auto format = static_cast<QImage::Format>(head.format);
  // Every format a target may have is among those taken as decoded.
  const bool known = std::any_of(std::begin(kAsDecoded), std::end(kAsDecoded),
                                 [&](const Target& t) { return t.qt == format; });
  if (!known || head.width <= 0 || head.height <= 0 || head.bytesPerLine % 4 != 0 ||
      head.bytesPerLine <
          qsizetype{head.width} * QImage::toPixelFormat(format).bitsPerPixel() / 8 ||
      bytes->size() != sizeof head + static_cast<size_t>(head.bytesPerLine) * head.height)
    return {};

  // The picture keeps the child's bytes without a copy, and frees them with its last copy.
  auto owner = std::make_unique<std::string>(std::move(*bytes));
  QImage picture(
      reinterpret_cast<uchar*>(owner->data() + sizeof head), head.width, head.height,
      head.bytesPerLine, format, [](void* held) { delete static_cast<std::string*>(held); },
      owner.get());
  if (picture.isNull()) return {};
  owner.release();
  return picture;
}

}  // namespace branding
