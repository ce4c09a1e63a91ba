// The whole update through the real window: presses "Actualizar" for one version against a
// server, waits for the end text and prints the time from the press to that text, the UI
// thread's longest stall meanwhile, and the peak resident memory. The window is the product's
// own (TUpdateFrm), given a product line whose update path is the URL given here.
//
//   update_bench <update path URL, ending in /> <version> <updater directory>
// The archive fetched is <URL>KUBUpdate-ESC.<version>.zip; it is installed over the directory.
// Exit code 0 when the end text is "Proceso finalizado.". With UPDATE_BENCH_KEY set to the key
// line of a minisign public key, the product line signs: the archive's signature
// (<archive>.minisig) is fetched and verified before it is installed.
//
// The stall: a timer on the UI thread asks to run every millisecond; the longest gap between
// two of its runs, less that millisecond, is the longest the event loop was kept from turning.
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/UpdateFrm.h"
#include "branding/CornerButton.h"
#include "net/HttpClient.h"
#include "tests/support/FixedResources.h"
#include "update/UpdateHilo.h"

int main(int argc, char** argv) {
  if (argc != 4) {
    std::fprintf(stderr, "usage: %s <update path URL> <version> <updater directory>\n", argv[0]);
    return 2;
  }
  net::globalInit();
  QApplication application(argc, argv);
  testsupport::FixedResources resources;
  resources.updatePath = QString::fromUtf8(argv[1]);
  if (const char* key = std::getenv("UPDATE_BENCH_KEY")) resources.updateKey = key;
  app::TUpdateFrm window(resources, std::filesystem::path(argv[3]) / "");
  window.FormShow();
  window.show();
  window.Text7->setText(QString::fromUtf8(argv[2]));
  window.CornerButton16->setEnabled(true);

  QElapsedTimer sinceTick;
  qint64 longestGapNs = 0;
  QTimer ticker;
  ticker.setTimerType(Qt::PreciseTimer);
  ticker.setInterval(1);
  QObject::connect(&ticker, &QTimer::timeout, [&] {
    longestGapNs = std::max(longestGapNs, sinceTick.nsecsElapsed());
    sinceTick.restart();
  });

  QElapsedTimer sincePress;
  QTimer::singleShot(0, [&] {
    sincePress.start();
    sinceTick.start();
    ticker.start();
    window.CornerButton16->click();
  });
  QTimer watcher;
  QObject::connect(&watcher, &QTimer::timeout, [&] {
    if (!window.workersRunning()) application.quit();
  });
  watcher.start(5);
  application.exec();
  const double seconds = static_cast<double>(sincePress.nsecsElapsed()) / 1e9;

  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  const QString endText = window.Text11->text();
  std::printf("seconds=%.3f longest_stall_ms=%.1f maxrss_kb=%ld end=\"%s\"\n", seconds,
              std::max<double>(0, static_cast<double>(longestGapNs) / 1e6 - 1.0), usage.ru_maxrss,
              endText.toUtf8().constData());
  return endText == QString::fromUtf8(update::TUpdateHilo::kFinished) ? 0 : 1;
}
