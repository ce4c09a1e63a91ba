#include "publish/ArchiveMaking.h"

#include <sys/wait.h>
#include <unistd.h>

#include <vector>

#include "publish/PublishError.h"

namespace publish {

void makeArchive(const std::filesystem::path& folder, const std::filesystem::path& archive,
                 const std::string& password, const std::string& excluded) {
  // -X: no extra attributes that depend on the machine (owner ids); -r: the whole tree. The
  // password on the command line is no secret: every updater holds it.
  std::vector<std::string> arguments{"zip", "-q", "-r", "-X", "-P", password, archive.string(),
                                     "."};
  if (!excluded.empty()) {
    arguments.push_back("-x");
    arguments.push_back(excluded);
  }
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  const std::string directory = folder.string();

  const pid_t child = fork();
  if (child < 0) throw PublishError(kFailed, "cannot start zip");
  if (child == 0) {
    if (chdir(directory.c_str()) != 0) _exit(126);
    execvp("zip", argv.data());
    _exit(127);
  }
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
  }
  if (WIFEXITED(status) && WEXITSTATUS(status) == 127)
    throw PublishError(kFailed, "needs Info-ZIP's zip on the PATH (Debian: apt-get install zip)");
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    throw PublishError(kFailed, "zip failed making " + archive.string());
}

}  // namespace publish
