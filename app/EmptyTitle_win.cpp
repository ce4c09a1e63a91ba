#include "app/EmptyTitle.h"
#include "platform/WindowTitle.h"

#include <QGuiApplication>
#include <QWidget>

namespace app {

void clearTitleBar(QWidget& window) {
  // Only the windows platform's native windows are the system's; offscreen ones are not.
  if (QGuiApplication::platformName() != QLatin1String("windows")) return;
  platform::clearWindowTitle(static_cast<std::uintptr_t>(window.winId()));
}

}  // namespace app
