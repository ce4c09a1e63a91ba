// HD Photo through the Windows Imaging Component: the system's own JPEG XR decoder, maintained
// with the system, in this process.
#include "branding/HdPhotoImage.h"

#include "branding/HdPhotoContainer.h"

// windows.h first: the imaging header needs its types.
#include <windows.h>

#include <wincodec.h>

#include <algorithm>
#include <climits>
#include <memory>

namespace branding {
namespace {

// COM on the calling thread while this lives. A thread without COM joins the multithreaded
// apartment (the imaging objects are free-threaded and need no message loop) and leaves it
// again. A thread already in an apartment stays in it: Qt's GUI thread is in a single-threaded
// one, which CoInitializeEx answers with RPC_E_CHANGED_MODE; COM is usable there as it is, and
// that answer, unlike S_OK or S_FALSE, is not balanced by CoUninitialize.
class ComOnThisThread {
public:
  ComOnThisThread() : result_(CoInitializeEx(nullptr, COINIT_MULTITHREADED)) {}
  ~ComOnThisThread() {
    if (SUCCEEDED(result_)) CoUninitialize();
  }
  ComOnThisThread(const ComOnThisThread&) = delete;
  ComOnThisThread& operator=(const ComOnThisThread&) = delete;

  bool usable() const { return SUCCEEDED(result_) || result_ == RPC_E_CHANGED_MODE; }

private:
  HRESULT result_;
};

struct Release {
  void operator()(IUnknown* object) const { object->Release(); }
};
template <class Interface>
using Com = std::unique_ptr<Interface, Release>;

// The object that make hands out through its pointer argument, or null when it fails.
template <class Interface, class Make>
Com<Interface> made(Make make) {
  Interface* raw = nullptr;
  if (FAILED(make(&raw)) || raw == nullptr) return nullptr;
  return Com<Interface>(raw);
}

// Bits a pixel of the frame as the decoder holds it; 0 when the system does not know them.
UINT bitsPerPixel(IWICImagingFactory& factory, IWICBitmapFrameDecode& frame) {
  WICPixelFormatGUID format{};
  if (FAILED(frame.GetPixelFormat(&format))) return 0;
  const auto component = made<IWICComponentInfo>(
      [&](IWICComponentInfo** out) { return factory.CreateComponentInfo(format, out); });
  if (!component) return 0;
  const auto info = made<IWICPixelFormatInfo>([&](IWICPixelFormatInfo** out) {
    return component->QueryInterface(IID_IWICPixelFormatInfo, reinterpret_cast<void**>(out));
  });
  UINT bits = 0;
  if (!info || FAILED(info->GetBitsPerPixel(&bits))) return 0;
  return bits;
}

// The decoder holds the whole frame whatever part or size is asked of it, and the picture is
// made at 4 bytes a pixel: both must fit in the budget.
bool wholeFrameFits(QSize frame, UINT bitsPerPixel, qsizetype maxBitmapBytes) {
  if (bitsPerPixel == 0) return false;
  const qint64 bytesPerPixel = std::max<qint64>(4, (bitsPerPixel + 7) / 8);
  return bytesPerPixel * frame.width() <= maxBitmapBytes / frame.height();
}

// The first frame of the data as the system decodes it, 32-bit BGRA at full size; a null image
// for anything refused. Every COM object is released before the apartment is left.
QImage decodeWholeFrame(QByteArrayView data, qsizetype maxBitmapBytes) {
  const auto factory = made<IWICImagingFactory>([](IWICImagingFactory** out) {
    return CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                            IID_IWICImagingFactory, reinterpret_cast<void**>(out));
  });
  if (!factory) return {};
  const auto stream =
      made<IWICStream>([&](IWICStream** out) { return factory->CreateStream(out); });
  // A stream for reading only: nothing writes through the pointer.
  if (!stream ||
      FAILED(stream->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(data.data())),
                                          static_cast<DWORD>(data.size()))))
    return {};
  // The HD Photo decoder by name, never one the system would choose by content.
  const auto decoder = made<IWICBitmapDecoder>([&](IWICBitmapDecoder** out) {
    return factory->CreateDecoder(GUID_ContainerFormatWmp, nullptr, out);
  });
  if (!decoder || FAILED(decoder->Initialize(stream.get(), WICDecodeMetadataCacheOnDemand)))
    return {};
  const auto frame = made<IWICBitmapFrameDecode>(
      [&](IWICBitmapFrameDecode** out) { return decoder->GetFrame(0, out); });
  UINT width = 0, height = 0;
  if (!frame || FAILED(frame->GetSize(&width, &height)) || width == 0 || height == 0 ||
      width > INT_MAX || height > INT_MAX)
    return {};
  const QSize size(static_cast<int>(width), static_cast<int>(height));
  if (hdphoto::declaresTooManyPixels(size, data.size()) ||
      !wholeFrameFits(size, bitsPerPixel(*factory, *frame), maxBitmapBytes))
    return {};

  const auto converter = made<IWICFormatConverter>(
      [&](IWICFormatConverter** out) { return factory->CreateFormatConverter(out); });
  if (!converter || FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA,
                                                 WICBitmapDitherTypeNone, nullptr, 0.0,
                                                 WICBitmapPaletteTypeCustom)))
    return {};
  // 32bppBGRA is B, G, R, A in memory: QImage's 32-bit ARGB on a little-endian machine.
  QImage picture(size, QImage::Format_ARGB32);
  if (picture.isNull() ||
      FAILED(converter->CopyPixels(nullptr, static_cast<UINT>(picture.bytesPerLine()),
                                   static_cast<UINT>(picture.sizeInBytes()), picture.bits())))
    return {};
  return picture;
}

}  // namespace

QImage decodeHdPhoto(QByteArrayView data, QSize largest, qsizetype maxBitmapBytes) {
  if (!isHdPhoto(data) || data.size() > qsizetype{MAXDWORD} || !hdphoto::directoryFitsTheData(data))
    return {};
  QImage picture;
  {
    const ComOnThisThread com;
    if (!com.usable()) return {};
    picture = decodeWholeFrame(data, maxBitmapBytes);
  }
  if (picture.isNull()) return {};
  const int reduction = hdphoto::reductionFor(picture.size(), largest);
  if (reduction == 0) return picture;
  // Smooth scaling works on premultiplied pixels: converted in place, not through a copy.
  picture.convertTo(QImage::Format_ARGB32_Premultiplied);
  return picture.scaled(hdphoto::reducedSize(picture.size(), reduction), Qt::IgnoreAspectRatio,
                        Qt::SmoothTransformation);
}

}  // namespace branding
