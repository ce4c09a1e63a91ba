// quendral-publish: the vendor's one command to publish a release (see --help).
#include <termios.h>
#include <unistd.h>

#include <cstdio>
#include <iostream>
#include <string>
#include <vector>

#include "publish/Options.h"
#include "publish/PublishError.h"
#include "publish/Publisher.h"

namespace {

// The signing key's password: asked on the terminal without echo, or the first line of
// standard input when that is not a terminal (scripts).
std::string askPassword() {
  std::string password;
  if (isatty(STDIN_FILENO) == 0) {
    std::getline(std::cin, password);
    return password;
  }
  std::cerr << "Password of the signing key: " << std::flush;
  termios saved{};
  const bool quiet = tcgetattr(STDIN_FILENO, &saved) == 0;
  if (quiet) {
    termios silent = saved;
    silent.c_lflag &= ~static_cast<tcflag_t>(ECHO);
    tcsetattr(STDIN_FILENO, TCSAFLUSH, &silent);
  }
  std::getline(std::cin, password);
  if (quiet) tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
  std::cerr << "\n";
  return password;
}

}  // namespace

int main(int argc, char* argv[]) {
  using namespace publish;
  try {
    const Options options = parseOptions(std::vector<std::string>(argv + 1, argv + argc));
    if (options.help) {
      std::cout << usageText();
      return kPublished;
    }
    const PublishedRelease release = publishRelease(options, askPassword);
    std::cout << "Published " << options.code << " " << options.version << " (its block "
              << (release.blockReplaced ? "replaced" : "added") << ").\n"
              << "Upload these files side by side into the product line's update folder (the "
                 "updatePath of its resource library), the history last, so that no updater "
                 "is offered what is not there yet:\n"
              << "  " << release.archive.string() << "\n";
    if (release.signature) std::cout << "  " << release.signature->string() << "\n";
    std::cout << "  " << release.history.string() << "\n";
    return kPublished;
  } catch (const PublishError& error) {
    std::cerr << "quendral-publish: " << error.what() << "\n";
    return error.code();
  } catch (const std::exception& error) {
    std::cerr << "quendral-publish: " << error.what() << "\n";
    return kFailed;
  }
}
