#include "app/ErrorReporting.h"

#include "app/ErrorText.h"
#include "platform/ErrorBox.h"
#include "platform/ExecutableDirectory.h"

#include <cxxabi.h>
#include <QCoreApplication>
#include <QFileInfo>
#include <QGuiApplication>
#include <QMessageBox>
#include <cstdio>
#include <memory>
#include <typeinfo>

namespace app {
namespace {

QString demangledCurrentType() {
  const std::type_info* type = abi::__cxa_current_exception_type();
  if (type == nullptr) return QStringLiteral("Exception");
  int status = 0;
  std::unique_ptr<char, void (*)(void*)> name(
      abi::__cxa_demangle(type->name(), nullptr, nullptr, &status), std::free);
  QString full =
      (status == 0 && name) ? QString::fromUtf8(name.get()) : QString::fromUtf8(type->name());
  const qsizetype scope = full.lastIndexOf(QStringLiteral("::"));
  return scope < 0 ? full : full.mid(scope + 2);
}

// Only a platform with a screen can show a box somebody will close; a headless start
// (offscreen, minimal) must not wait forever for a click.
bool canShowDialogs() {
  const QString platform = QGuiApplication::platformName();
  return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

}  // namespace

QString currentErrorMessage() {
  try {
    throw;
  } catch (const std::exception& error) {
    return QString::fromUtf8(error.what());
  } catch (...) {
    return QStringLiteral("Unknown error");
  }
}

QString currentErrorClassName() {
  return demangledCurrentType();
}

void showErrorDialog(QWidget* parent, const QString& message) {
  QMessageBox box(QMessageBox::Critical, QStringLiteral("Error"), clickErrorText(message),
                  QMessageBox::Ok, parent);
  box.setTextFormat(Qt::PlainText);  // messages carry servers' text: never markup, never links
  box.exec();
}

void reportMissingOperation(const std::string& operation, const std::string& library) {
  const QString program =
      QString::fromStdU16String(platform::executablePath().filename().u16string());
  const QString title = program + QStringLiteral(" - Entry Point Not Found");
  const QString text = QStringLiteral(
                           "The procedure entry point %1 could not be located in the "
                           "dynamic link library %2.")
                           .arg(QString::fromStdString(operation), QString::fromStdString(library));
  std::fprintf(stderr, "%s\n%s\n", title.toLocal8Bit().constData(), text.toLocal8Bit().constData());
  std::fflush(stderr);
  platform::showErrorBox(title.toStdU16String(), text.toStdU16String());
}

void reportFatalStartupError(quintptr address) {
  const QString module = QFileInfo(QCoreApplication::applicationFilePath()).fileName();
  const QString headline = fatalErrorHeadline(currentErrorClassName(), module, address);
  const QString detail = fatalErrorText(currentErrorMessage());
  std::fprintf(stderr, "%s\n%s\n", headline.toLocal8Bit().constData(),
               detail.toLocal8Bit().constData());
  std::fflush(stderr);
  if (!canShowDialogs()) return;
  const QString title = QStringLiteral("Application Error");
  const QString text = headline + u'\n' + detail;
  // The system's own box where it has one (Windows); elsewhere ours, showing the text as is.
  if (platform::showErrorBox(title.toStdU16String(), text.toStdU16String())) return;
  QMessageBox box(QMessageBox::Critical, title, text, QMessageBox::Ok);
  box.setTextFormat(Qt::PlainText);
  box.exec();
}

}  // namespace app
