#include "app/WindowAccessibility.h"

#include "app/UpdateFrm.h"

#include <QAccessibleWidget>
#include <mutex>

namespace app {
namespace {

QAccessibleInterface* mainWindowInterface(const QString& className, QObject* object) {
  if (className != QLatin1String(TUpdateFrm::staticMetaObject.className())) return nullptr;
  return new QAccessibleWidget(static_cast<QWidget*>(object), QAccessible::Window);
}

}  // namespace

void announceMainWindowAsWindow() {
  static std::once_flag once;
  std::call_once(once, [] { QAccessible::installFactory(&mainWindowInterface); });
}

}  // namespace app
