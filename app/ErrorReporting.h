// The one way errors reach the user.
//
// A click handler runs under guarded(): an error that leaves it ends the handler, is shown in a
// modal "Error" dialog with a single OK button, and the window carries on.
// An error while the window is first shown is fatal: reportFatalStartupError() writes the two
// lines to standard error and shows them in an "Application Error" box, and the caller ends the
// process with exit code 1.
#pragma once

#include <QString>
#include <QWidget>
#include <exception>
#include <functional>
#include <string>

namespace app {

// The message of the exception being handled; for errors not derived from std::exception, a
// generic text.
QString currentErrorMessage();
// The class name of the exception being handled, without namespaces.
QString currentErrorClassName();

void showErrorDialog(QWidget* parent, const QString& message);

// Wraps a handler so that any error leaving it is shown in the "Error" dialog.
template <typename Window>
std::function<void()> guarded(Window* window, void (Window::*handler)()) {
  return [window, handler] {
    try {
      (window->*handler)();
    } catch (...) {
      showErrorDialog(window, currentErrorMessage());
    }
  };
}

// Reports, as Windows' loader does, that the resource library lacks an operation: the two lines
// to standard error and the system's box ("Entry Point Not Found"); the caller ends the process.
// Runs before any QApplication exists.
void reportMissingOperation(const std::string& operation, const std::string& library);

// Reports the error being handled as fatal. address: where the failing code lies in the
// program file, 0 when unknown.
void reportFatalStartupError(quintptr address);

}  // namespace app
