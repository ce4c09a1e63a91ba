// Feeds any bytes to the image decoding as an image stream from the resource library, and
// checks what must hold for every input: no crash, "Loading bitmap failed." or a picture no
// larger than the largest bitmap. libFuzzer's memory limits catch a decoder that allocates by a
// declared size (scripts/fuzz.sh runs it with -rss_limit_mb).
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include <QCoreApplication>
#include <QImage>

#include "branding/ImageLoading.h"
#include "tests/support/FixedResources.h"

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  // Qt finds its image plugins through the application; decoders' warnings only slow the run.
  static QCoreApplication application(*argc, *argv);
  qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const QByteArray bytes(reinterpret_cast<const char*>(data), static_cast<qsizetype>(size));
  testsupport::FixedImageStream stream(bytes, 0);
  try {
    const QImage image = branding::decodeImageStream(stream);
    if (size == 0 ? !image.isNull()
                  : image.width() <= 0 || image.height() <= 0 ||
                        image.width() > branding::kLargestBitmapSide ||
                        image.height() > branding::kLargestBitmapSide)
      std::abort();
  } catch (const branding::LoadingBitmapError&) {
    // Refused: the updater reports it and stops its start-up.
  }
  return 0;
}
