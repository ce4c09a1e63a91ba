#include "branding/HdPhotoImage.h"

#include "branding/HdPhotoContainer.h"
#include "platform/ChildProcess.h"

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

// The largest image takes well under a second; a decoder still busy after this is stuck.
constexpr std::chrono::seconds kLongestDecode{30};
// The child maps the decoded pixels and the picture it hands over, each at most the bitmap
// budget, and besides them libjxr's buffers of a few rows of macroblocks of the full width,
// the copy of the data it is handed, and the allocator's slack: this is room for those.
constexpr size_t kDecoderWorkingSpace = size_t{256} * 1024 * 1024;

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

// The picture as the child process hands it over: this header, then the rows.
struct Picture {
  int32_t width;
  int32_t height;
  int32_t format;  // QImage::Format
  int32_t bytesPerLine;
};

using Stream = std::unique_ptr<WMPStream, StreamClose>;
using Decoder = std::unique_ptr<PKImageDecode, DecoderRelease>;
using Converter = std::unique_ptr<PKFormatConverter, ConverterRelease>;
using Pixels = std::unique_ptr<U8, AlignedFree>;

// A decoder at the first frame of a stream over the data; the decoder goes before the stream.
struct OpenFrame {
  Stream stream;
  Decoder decoder;
};

std::optional<OpenFrame> openFirstFrame(QByteArrayView data) {
  WMPStream* rawStream = nullptr;
  // A read-only stream: the decoder never writes through the pointer.
  if (Failed(CreateWS_Memory(&rawStream, const_cast<char*>(data.data()),
                             static_cast<size_t>(data.size()))))
    return std::nullopt;
  OpenFrame frame{Stream(rawStream), nullptr};
  PKImageDecode* rawDecoder = nullptr;
  if (Failed(PKImageDecode_Create_WMP(&rawDecoder))) return std::nullopt;
  frame.decoder.reset(rawDecoder);
  PKImageDecode* decoder = frame.decoder.get();
  if (Failed(decoder->Initialize(decoder, frame.stream.get()))) return std::nullopt;
  if (Failed(decoder->SelectFrame(decoder, 0))) return std::nullopt;
  return frame;
}

// The frame as its header declares it: full size and pixel format.
struct Declared {
  I32 width;
  I32 height;
  PKPixelFormatGUID native;
  COLORFORMAT colorFormat;
  BITDEPTH_BITS bitDepth;
  U32 bitsPerUnit;
  bool alpha;
};

// What the header declares, or nothing for a frame without size, of an unknown pixel format, or
// declaring far more pixels than dataBytes can hold.
std::optional<Declared> readDeclared(PKImageDecode& decoder, qsizetype dataBytes) {
  Declared frame{};
  if (Failed(decoder.GetSize(&decoder, &frame.width, &frame.height)) ||
      Failed(decoder.GetPixelFormat(&decoder, &frame.native)) || frame.width <= 0 ||
      frame.height <= 0)
    return std::nullopt;
  if (hdphoto::declaresTooManyPixels(QSize(frame.width, frame.height), dataBytes))
    return std::nullopt;
  PKPixelInfo info{};
  info.pGUIDPixFmt = &frame.native;
  if (Failed(PixelFormatLookup(&info, LOOKUP_FORWARD))) return std::nullopt;
  frame.colorFormat = info.cfColorFormat;
  frame.bitDepth = info.bdBitDepth;
  frame.bitsPerUnit = info.cbitUnit;
  frame.alpha = (info.grBit & PK_pixfmtHasAlpha) != 0;
  return frame;
}

// The size the frame is decoded at, and the bytes of a row of it as the decoder writes it.
struct Reduced {
  int reduction;
  I32 width;
  I32 height;
  qsizetype nativeRow;
};

// The reduced size, or nothing when its bitmap would not fit in maxBitmapBytes: refused before
// anything is allocated for pixels. No target takes more than 4 bytes a pixel.
std::optional<Reduced> reducedWithinBudget(const Declared& frame, QSize largest,
                                           qsizetype maxBitmapBytes) {
  const int reduction = hdphoto::reductionFor(QSize(frame.width, frame.height), largest);
  const QSize reduced = hdphoto::reducedSize(QSize(frame.width, frame.height), reduction);
  const I32 width = reduced.width();
  const I32 height = reduced.height();
  const qsizetype nativeRow = rowBytes(frame.native, width);
  if (nativeRow <= 0 || (std::max)(nativeRow, qsizetype{4} * width) > maxBitmapBytes / height)
    return std::nullopt;
  return Reduced{reduction, width, height, nativeRow};
}

// The decoder decodes what these fields ask for; they have no defaults, so the caller sets
// them: the whole frame, in its own colour format, with its alpha plane, at the reduction.
void askForWholeFrame(PKImageDecode& decoder, const Declared& frame, const Reduced& size) {
  auto& image = decoder.WMP.wmiI;
  decoder.WMP.wmiSCP.uAlphaMode = frame.alpha ? 2 : 0;
  image.cfColorFormat = frame.colorFormat;
  image.bdBitDepth = frame.bitDepth;
  image.cBitsPerUnit = frame.bitsPerUnit;
  image.cThumbnailWidth = static_cast<size_t>(size.width);
  image.cThumbnailHeight = static_cast<size_t>(size.height);
  image.bSkipFlexbits = FALSE;
  // Sub-sampled chroma cannot be decoded reduced.
  if (size.reduction > 0 && (image.cfColorFormat == YUV_420 || image.cfColorFormat == YUV_422))
    image.cfColorFormat = YUV_444;
  image.cROILeftX = 0;
  image.cROITopY = 0;
  image.cROIWidth = static_cast<size_t>(size.width);
  image.cROIHeight = static_cast<size_t>(size.height);
  image.oOrientation = O_NONE;
  image.cPostProcStrength = 0;
}

Converter createConverter() {
  PKFormatConverter* rawConverter = nullptr;
  if (Failed(PKCodecFactory_CreateFormatConverter(&rawConverter))) return nullptr;
  return Converter(rawConverter);
}

// The target the converter is initialised for: the native format when it is taken as
// decoded, else the first of the alpha or opaque targets no wider than it that libjxr converts
// to; null when there is none.
const Target* chooseTarget(PKFormatConverter& converter, PKImageDecode& decoder,
                           const Declared& frame, const Reduced& size) {
  const Target* target = nullptr;
  const auto tryTargets = [&](std::span<const Target> targets, bool onlyExact) {
    for (const Target& candidate : targets) {
      if (target != nullptr) return;
      if (onlyExact && std::memcmp(candidate.jxr, &frame.native, sizeof frame.native) != 0)
        continue;
      if (!onlyExact && rowBytes(*candidate.jxr, size.width) > size.nativeRow) continue;
      if (!Failed(converter.Initialize(&converter, &decoder, nullptr, *candidate.jxr)))
        target = &candidate;
    }
  };
  tryTargets(kAsDecoded, true);
  tryTargets(frame.alpha ? std::span<const Target>(kWithAlpha) : std::span<const Target>(kOpaque),
             false);
  return target;
}

// The decoded rows in the target's format, stride bytes apart, each targetRow bytes long.
struct Rows {
  Pixels pixels;
  qsizetype stride;
  qsizetype targetRow;
};

std::optional<Rows> decodeRows(PKFormatConverter& converter, const Target& target,
                               const Reduced& size) {
  // The decoder writes its own pixel format into the buffer and the converter turns it into
  // the target in place, so a row must hold the wider of the two.
  const qsizetype targetRow = rowBytes(*target.jxr, size.width);
  const qsizetype stride = (std::max)(size.nativeRow, targetRow);
  void* rawPixels = nullptr;
  if (targetRow <= 0 ||
      Failed(PKAllocAligned(&rawPixels, static_cast<size_t>(stride * size.height), 128)))
    return std::nullopt;
  Rows rows{Pixels(static_cast<U8*>(rawPixels)), stride, targetRow};
  const PKRect whole{0, 0, size.width, size.height};
  if (Failed(converter.Copy(&converter, &whole, rows.pixels.get(), static_cast<U32>(stride))))
    return std::nullopt;
  return rows;
}

// The picture handed over: its head, then the rows padded to 4 bytes, as a QImage over
// borrowed memory needs them.
std::string packPicture(const Rows& rows, const Target& target, const Reduced& size) {
  Picture head{size.width, size.height, static_cast<int32_t>(target.qt),
               (static_cast<int32_t>(rows.targetRow) + 3) & ~3};
  std::string picture(sizeof head + static_cast<size_t>(head.bytesPerLine) * size.height, '\0');
  std::memcpy(picture.data(), &head, sizeof head);
  for (int y = 0; y < size.height; ++y) {
    char* row = picture.data() + sizeof head + static_cast<size_t>(y) * head.bytesPerLine;
    std::memcpy(row, rows.pixels.get() + y * rows.stride, static_cast<size_t>(rows.targetRow));
    // The fourth byte of 32bppBGR is left undefined; RGB32 wants it opaque.
    if (target.qt == QImage::Format_RGB32)
      for (int x = 0; x < size.width; ++x) row[4 * x + 3] = static_cast<char>(0xFF);
  }
  return picture;
}

// The decoding itself, run in the child process: a picture in the form of Picture, or empty
// for data that is refused.
std::string decodeHere(QByteArrayView data, QSize largest, qsizetype maxBitmapBytes) {
  const std::optional<OpenFrame> frame = openFirstFrame(data);
  if (!frame) return {};
  const std::optional<Declared> declared = readDeclared(*frame->decoder, data.size());
  if (!declared) return {};
  const std::optional<Reduced> size = reducedWithinBudget(*declared, largest, maxBitmapBytes);
  if (!size) return {};
  askForWholeFrame(*frame->decoder, *declared, *size);
  const Converter converter = createConverter();
  if (!converter) return {};
  const Target* target = chooseTarget(*converter, *frame->decoder, *declared, *size);
  if (target == nullptr) return {};
  const std::optional<Rows> rows = decodeRows(*converter, *target, *size);
  if (!rows) return {};
  return packPicture(*rows, *target, *size);
}

}  // namespace

QImage decodeHdPhoto(QByteArrayView data, QSize largest, qsizetype maxBitmapBytes) {
  if (!isHdPhoto(data) || !hdphoto::directoryFitsTheData(data)) return {};
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
