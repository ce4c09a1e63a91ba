// Downloads one URL through TIdHTTPProgress the way the update worker does: on a worker thread,
// with an OnChange handler that makes a blocking queued call onto the UI thread for every
// change of the percentage. Prints one line: bytes, seconds, MiB/s, OnChange calls, last
// percentage and peak resident memory.
//
//   download_bench <url> <destination file>
#include <sys/resource.h>

#include <QCoreApplication>
#include <QMetaObject>
#include <QThread>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

#include "net/HttpClient.h"
#include "update/IdHTTPProgressU.h"

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <url> <destination file>\n", argv[0]);
    return 2;
  }
  net::globalInit();
  QCoreApplication app(argc, argv);
  const std::string url = argv[1];
  const std::filesystem::path destination = argv[2];

  long long changes = 0;  // touched on the UI thread only
  int shownPercent = -1;
  double seconds = 0;
  std::uintmax_t bytes = 0;

  std::unique_ptr<QThread> worker(QThread::create([&] {
    update::TIdHTTPProgress downloader;
    downloader.setOnChange([&](update::TIdHTTPProgress& sender) {
      const int percent = sender.Progress();
      QMetaObject::invokeMethod(
          &app,
          [&, percent] {
            ++changes;
            shownPercent = percent;
          },
          Qt::BlockingQueuedConnection);
    });
    const auto start = std::chrono::steady_clock::now();
    downloader.DownloadFile(url, destination);
    seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    bytes = downloader.destination() ? downloader.destination()->position() : 0;
    downloader.freeStream();
  }));
  QObject::connect(worker.get(), &QThread::finished, &app, &QCoreApplication::quit);
  worker->start();
  app.exec();
  worker->wait();

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  std::printf("bytes=%ju seconds=%.3f MiBps=%.1f onchange=%lld percent=%d maxrss_kb=%ld\n", bytes,
              seconds, seconds > 0 ? static_cast<double>(bytes) / seconds / 1048576.0 : 0.0,
              changes, shownPercent, usage.ru_maxrss);
  return bytes > 0 && shownPercent == 100 ? 0 : 1;
}
