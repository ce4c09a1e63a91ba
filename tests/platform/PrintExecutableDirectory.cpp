// Writes the directory it runs from, as the updater sees its own (UTF-8, with a trailing
// separator), into the file named by its one argument. Exit code 0 when it did.
#include <windows.h>

#include <shellapi.h>

#include <exception>

#include "platform/ExecutableDirectory.h"
#include "tests/support/ScratchDirectory.h"

int main() {
  int count = 0;
  wchar_t** arguments = CommandLineToArgvW(GetCommandLineW(), &count);
  if (arguments == nullptr || count != 2) return 2;
  try {
    testsupport::writeFile(arguments[1],
                           platform::withTrailingSeparator(platform::executableDirectory()));
  } catch (const std::exception&) {
    return 1;
  }
  LocalFree(arguments);
  return 0;
}
