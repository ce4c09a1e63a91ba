// The errors of a GET: one base for all, the final response's status, or no answer at all.
#pragma once

#include <stdexcept>
#include <string>

namespace net {

// Every error get() raises derives from this one; what() is the text to show.
class Error : public std::runtime_error {
public:
  using std::runtime_error::runtime_error;
};

// The final response had a status outside 200..299 (a redirect that was not followed, 304, 401,
// 404, ...). what() is the status line exactly as received, without its CR LF.
class HttpError : public Error {
public:
  HttpError(long status, const std::string& statusLine) : Error(statusLine), status_(status) {}
  long status() const { return status_; }

private:
  long status_;
};

// No answer could be had: connection refused, host not found, TLS failure, a connection that
// broke, a reply that is not HTTP, "Read timed out.", "Unknown Protocol". what() is our text,
// mostly libcurl's description of the cause.
class TransportError : public Error {
public:
  using Error::Error;
};

}  // namespace net
