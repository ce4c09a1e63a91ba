#include "app/ErrorText.h"

namespace app {

QString clickErrorText(const QString& message) {
  if (!message.isEmpty() && message.back() > QChar(u'.')) return message + u'.';
  return message;
}

QString fatalErrorText(const QString& message) {
  if (!message.isEmpty() && !message.endsWith(u'.')) return message + u'.';
  return message;
}

QString fatalErrorHeadline(const QString& className, const QString& moduleName, quintptr address) {
  return QStringLiteral("Exception %1 in module %2 at %3.")
      .arg(className, moduleName,
           QStringLiteral("%1").arg(address, int(sizeof(quintptr) * 2), 16, QChar(u'0')).toUpper());
}

}  // namespace app
