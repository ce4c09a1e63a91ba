// The updater's entry point: it takes no arguments; everything comes from the resource library.
#include "app/ErrorReporting.h"
#include "app/Startup.h"
#include "branding/LinkedResources.h"
#include "net/HttpClient.h"
#include "platform/ExecutableDirectory.h"

#include <QApplication>

int main(int argc, char* argv[]) {
  // A library that lacks an operation stops the start before this on Windows and Linux; Wine
  // binds a stub in its place instead, so the start refuses it here as Windows would.
  if (const auto missing = branding::LinkedResources::missingOperations(); !missing.empty()) {
    app::reportMissingOperation(missing.front(), branding::LinkedResources::kFileName);
    return 1;
  }
  net::globalInit();  // before any thread starts
  QApplication application(argc, argv);
  const branding::LinkedResources resources;
  return app::runUpdater(resources, platform::executableDirectory());
}
