// Downloads one URL through TIdHTTPProgress the way the update worker does: on a worker thread,
// with an OnChange handler that makes a blocking queued call onto the UI thread for every
// write of the percentage (about once per 32 KiB). Prints one line: bytes, seconds, MiB/s,
// calls onto the UI thread, last percentage and peak resident memory.
//
//   download_bench <url> <destination file> [--hop-on-change | --no-ui]
// --hop-on-change: call the UI thread only when the percentage differs from the last one sent
// (at most 101 calls); --no-ui: never (the transfer alone). Both are for comparison only.
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
#include "update/UiThreadCall.h"

int main(int argc, char** argv) {
  enum class Hop { EveryWrite, BlockingQueued, OnChange, Never } hop = Hop::EveryWrite;
  if (argc == 4 && std::string(argv[3]) == "--blocking-queued")
    hop = Hop::BlockingQueued;
  else if (argc == 4 && std::string(argv[3]) == "--hop-on-change")
    hop = Hop::OnChange;
  else if (argc == 4 && std::string(argv[3]) == "--no-ui")
    hop = Hop::Never;
  else if (argc != 3) {
    std::fprintf(
        stderr,
        "usage: %s <url> <destination file> [--blocking-queued | --hop-on-change | --no-ui]\n",
        argv[0]);
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
    update::UiThreadCall onUiThread(&app);
    int lastSent = -1;
    downloader.setOnChange([&](update::TIdHTTPProgress& sender) {
      const int percent = sender.Progress();
      if (hop == Hop::Never || (hop == Hop::OnChange && percent == lastSent)) return;
      lastSent = percent;
      const auto show = [&, percent] {
        ++changes;
        shownPercent = percent;
      };
      if (hop == Hop::BlockingQueued)
        QMetaObject::invokeMethod(&app, show, Qt::BlockingQueuedConnection);
      else
        onUiThread(show);
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
  return bytes > 0 && (hop == Hop::Never || shownPercent == 100) ? 0 : 1;
}
