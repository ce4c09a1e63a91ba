// The updater's entry point: it takes no arguments; everything comes from the resource library.
#include "app/Startup.h"
#include "branding/LinkedResources.h"
#include "net/HttpClient.h"
#include "platform/ExecutableDirectory.h"

#include <QApplication>

int main(int argc, char* argv[]) {
  net::globalInit();  // before any thread starts
  QApplication application(argc, argv);
  const branding::LinkedResources resources;
  return app::runUpdater(resources, platform::executableDirectory());
}
