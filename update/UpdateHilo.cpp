#include "update/UpdateHilo.h"

#include "platform/EnsureDirectory.h"
#include "platform/PlainFileName.h"
#include "update/ArchiveName.h"

#include <QCoreApplication>
#include <QLabel>
#include <QProgressBar>
#include <algorithm>

namespace update {

TUpdateHilo::TUpdateHilo(QProgressBar* PB_, QLabel* TX_, QString version_, QString UpdatePathStr_,
                         Settings settings)
    : PB(PB_),
      TX(TX_),
      UpdatePathStr(std::move(UpdatePathStr_)),
      version(std::move(version_)),
      // The window's controls live on the UI thread; PB is one of them, so its thread is that
      // one.
      uiThreadCall_(PB_),
      settings_(std::move(settings)),
      nextRetryDelay_(settings_.firstRetryDelay) {}

TUpdateHilo::~TUpdateHilo() = default;

QString TUpdateHilo::archiveName(const QString& systemCode, const QString& version) {
  return QString::fromStdU16String(
      archiveFileName(systemCode.toStdU16String(), version.toStdU16String()));
}

void TUpdateHilo::run() {
  try {
    Execute();
  } catch (...) {
    // An error that leaves the body ends the worker without a message: the update path reports
    // nothing but its progress and end text. Only the destination file that another opener
    // holds gets here.
  }
  IdHTTPProgress.reset();
}

void TUpdateHilo::Execute() {
  while (!Terminated()) {
    inicio();
    if (!Terminated()) pauseBeforeNextAttempt();
  }
}

void TUpdateHilo::inicio() {
  const QString name = archiveName(settings_.systemCode(), version);
  // The version is the server's text: it must never choose where the archive is written. The
  // next attempt would build the same name, so this refusal ends the update as any other does.
  if (!platform::isPlainFileName(name.toStdU16String())) {
    Terminate();
    onUiThread([this] { showFinished(false); });
    return;
  }
  IdHTTPProgress = std::make_unique<TIdHTTPProgress>();
  // A failure is left to the downloader, which tries again for the destination's directories.
  platform::ensureDirectory(settings_.updateDirectory);

  IdHTTPProgress->setOnChange([this](TIdHTTPProgress& sender) { onProgressChange(sender); });
  IdHTTPProgress->onWorkEnd = [this] { onDownloadEnd(); };
  if (settings_.configureDownloader) settings_.configureDownloader(*IdHTTPProgress);

  const std::string archiveUrl = (UpdatePathStr + name).toStdString();
  const auto archivePath = settings_.updateDirectory / std::filesystem::path(name.toStdU16String());
  signature::StreamingHash archiveHash;
  if (settings_.updateKey) IdHTTPProgress->setBodyHash(&archiveHash);
  archiveBodyEnded_ = false;
  IdHTTPProgress->DownloadFile(archiveUrl, archivePath);
  if (archiveBodyEnded_) {
    lastExtraction_ = extractIfSigned(archiveUrl, archivePath, archiveHash);
    Terminate();
  }

  const bool complete = IdHTTPProgress->transferCompleted() && lastExtraction_.everythingWritten();
  // A refusal would meet the next attempt too, at once: without an end here, the attempts would
  // go on for ever, showing "0 %".
  if (IdHTTPProgress->refused()) Terminate();
  IdHTTPProgress->freeStream();
  IdHTTPProgress.reset();
  if (Terminated()) onUiThread([this, complete] { showFinished(complete); });
}

void TUpdateHilo::onProgressChange(TIdHTTPProgress& sender) {
  const int percent = sender.Progress();
  onUiThread([this, percent] { showProgress(percent); });
}

void TUpdateHilo::showProgress(int percent) {
  PB->setValue(percent);
  TX->setText(QString::number(PB->value()) + QStringLiteral(" %"));
  emit textShown(TX->text());
}

// The end of a response body: whatever arrived is extracted, and no further attempt is made.
void TUpdateHilo::onDownloadEnd() {
  // A signed archive waits for the GET to end: its signature is fetched and checked first.
  if (settings_.updateKey) {
    archiveBodyEnded_ = true;
    return;
  }
  if (platform::ExclusiveFile* archive = IdHTTPProgress->destination())
    lastExtraction_ = extractArchive(*archive, settings_.updaterDirectory,
                                     installJournalPath(settings_.updateDirectory));
  else
    lastExtraction_ = {};
  Terminate();
}

void TUpdateHilo::showFinished(bool complete) {
  TX->setText(QString::fromUtf8(complete ? kFinished : kFinishedWithErrors));
  emit textShown(TX->text());
}

// An attempt that read no body and met no refusal is followed by another, after a pause that
// doubles up to the longest, so that an unreachable server is not hammered. The pause ends
// early on Terminate().
void TUpdateHilo::pauseBeforeNextAttempt() {
  using namespace std::chrono;
  const auto until = steady_clock::now() + nextRetryDelay_;
  while (!Terminated() && steady_clock::now() < until) QThread::msleep(20);
  nextRetryDelay_ = std::min(nextRetryDelay_ * 2, settings_.longestRetryDelay);
}

void TUpdateHilo::onUiThread(const std::function<void()>& f) {
  uiThreadCall_(f);
}

}  // namespace update
