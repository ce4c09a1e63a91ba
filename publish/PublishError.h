// Why the publishing command stops, and the exit code that says so.
#pragma once

#include <stdexcept>
#include <string>

namespace publish {

// The exit codes of quendral-publish (its --help lists them).
enum ExitCode : int {
  kPublished = 0,
  kRefused = 1,  // a check failed: nothing was written
  kUsage = 2,    // the command line is wrong
  kFailed = 3,   // a file could not be read or written, or a tool failed
};

class PublishError : public std::runtime_error {
public:
  PublishError(ExitCode code, const std::string& what) : std::runtime_error(what), code_(code) {}
  ExitCode code() const { return code_; }

private:
  ExitCode code_;
};

}  // namespace publish
