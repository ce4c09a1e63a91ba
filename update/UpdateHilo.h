// TUpdateHilo: the worker thread behind "Actualizar". It downloads the update archive of one
// version into the update directory, attempt after attempt until a response body has been
// read or an attempt meets a refusal that every further one would meet too (the archive's name
// is not a plain file name, or the downloader was refused(): https to plain http, a certificate
// that fails verification, the redirect limit, ...), drives the window's progress bar and text
// through blocking calls onto the UI thread, has the archive extracted over the updater's
// directory when a body ends, and shows the end text. It releases itself when its body ends.
#pragma once

#include "signature/PublicKey.h"
#include "update/ExtractArchive.h"
#include "update/IdHTTPProgressU.h"
#include "update/UiThreadCall.h"

#include <QString>
#include <QThread>
#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

class QLabel;
class QProgressBar;

namespace update {

class TUpdateHilo : public QThread {
  Q_OBJECT

public:
  // What the attempts need besides the window's controls.
  struct Settings {
    std::function<QString()> systemCode;     // asked anew for each attempt
    std::filesystem::path updaterDirectory;  // the base of the extraction
    // Where the archive is downloaded; created when missing.
    std::filesystem::path updateDirectory;
    // Pause after an attempt that read no body and met no refusal (a failure that may pass: no
    // connection, a time-out, an error status without a body): the first, doubling up to the
    // longest.
    std::chrono::milliseconds firstRetryDelay{1000};
    std::chrono::milliseconds longestRetryDelay{30000};
    // Called on each new downloader before it downloads (tests: a test CA, short time-outs).
    std::function<void(TIdHTTPProgress&)> configureDownloader;
    // The product line's update key. With one, an archive is extracted only once its signature
    // (<archive URL>.minisig, fetched after the archive by the same downloader) verifies
    // against the key, for the archive's own name, over the hash taken while it downloaded. A
    // signature that does not verify, or cannot be had (404), ends the update "con errores"
    // with nothing extracted and the archive removed; one that cannot be fetched for a reason
    // that may pass is asked for again after the pauses between attempts. Without a key
    // nothing is asked beyond the archive.
    std::optional<signature::PublicKey> updateKey;
  };

  static constexpr const char* kFinished = "Proceso finalizado.";
  static constexpr const char* kFinishedWithErrors = "Proceso finalizado con errores.";

  // Creates the thread, not started. PB and TX stay the window's; they are touched on the UI
  // thread only.
  TUpdateHilo(QProgressBar* PB, QLabel* TX, QString version, QString UpdatePathStr,
              Settings settings);
  ~TUpdateHilo() override;

  // Sets the stop flag: no further attempt begins, and a pause between attempts ends.
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }

  // The archive's name for a system code and version: KUBUpdate-ESC.2.4.1.7.zip.
  static QString archiveName(const QString& systemCode, const QString& version);

signals:
  // After each change of the progress text, on the UI thread (the text as shown).
  void textShown(const QString& text);

protected:
  void run() override;

private:
  // The window's progress bar and progress text.
  QProgressBar* PB;
  QLabel* TX;
  // The downloader of the attempt under way.
  std::unique_ptr<TIdHTTPProgress> IdHTTPProgress;
  // The base URL, to which the archive's name is appended.
  QString UpdatePathStr;
  // The version to download, as the version history's header line gives it.
  const QString version;

  void Execute();
  void inicio();
  void onProgressChange(TIdHTTPProgress& sender);
  void showProgress(int percent);
  void onDownloadEnd();
  // With an update key (UpdateHiloSignature.cpp): the archive of a GET that has ended is
  // extracted only when its signature verifies; otherwise it is removed.
  ExtractionResult extractIfSigned(const std::string& archiveUrl,
                                   const std::filesystem::path& archivePath,
                                   signature::StreamingHash& archiveHash);
  bool archiveBodyEnded_ = false;
  void showFinished(bool complete);
  void pauseBeforeNextAttempt();
  // Runs f on the UI thread and waits until it has run.
  void onUiThread(const std::function<void()>& f);
  UiThreadCall uiThreadCall_;

  Settings settings_;
  std::atomic<bool> terminated_{false};
  std::chrono::milliseconds nextRetryDelay_;
  ExtractionResult lastExtraction_;
};

}  // namespace update
