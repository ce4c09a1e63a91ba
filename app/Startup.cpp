#include "app/Startup.h"

#include "app/EmptyTitle.h"
#include "app/ErrorReporting.h"
#include "app/UpdateFrm.h"
#include "branding/EstiloComponentesUpdater.h"
#include "platform/CodeAddress.h"

#include <QApplication>
#include <QFontDatabase>
#include <QScreen>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace app {
namespace {

// Where the show handler lies in the program file, for the fatal report's first line.
quintptr showHandlerAddress() {
  auto handler = &TUpdateFrm::FormShow;
  void* code = nullptr;
  static_assert(sizeof(handler) >= sizeof(code));
  std::memcpy(&code, &handler, sizeof(code));
  return platform::offsetInModule(code).value_or(0);
}

// The layout's sizes were drawn for a 12-pixel sans-serif text; Liberation Sans keeps the widths
// of the common Windows faces, so the labels fit as designed. Without it the system's own stays.
void useDefaultFont() {
  QFont font = QApplication::font();
  if (QFontDatabase::families().contains(QStringLiteral("Liberation Sans")))
    font.setFamily(QStringLiteral("Liberation Sans"));
  font.setPixelSize(12);
  QApplication::setFont(font);
}

void centreOnScreen(QWidget& window) {
  if (const QScreen* screen = window.screen())
    window.move(screen->availableGeometry().center() - window.rect().center());
}

}  // namespace

int runUpdater(const branding::ResourcesUpdateDll& resources,
               const std::filesystem::path& updaterDirectory) {
  useDefaultFont();
  TUpdateFrm UpdateFrm(resources, updaterDirectory);
  branding::TEstiloComponentesUpdaterFrm EstiloComponentesUpdaterFrm(resources);
  UpdateFrm.setStyleCatalogue(&EstiloComponentesUpdaterFrm);
  try {
    UpdateFrm.FormShow();
  } catch (...) {
    reportFatalStartupError(showHandlerAddress());
    return 1;
  }
  centreOnScreen(UpdateFrm);
  UpdateFrm.show();
  clearTitleBar(UpdateFrm);
  const int exitCode = QApplication::exec();
  // Closing the window ends the process at once, an update under way included. A worker may be
  // waiting on this thread or writing a file; unwinding would pull its controls from under it.
  // Extracted files are written beside their targets and renamed only when all are whole,
  // under a journal that the next start completes (TUpdateFrm::FormShow), so the program is
  // left one version, whole.
  if (UpdateFrm.workersRunning()) {
    std::fflush(nullptr);
    std::_Exit(exitCode);
  }
  return exitCode;
}

}  // namespace app
