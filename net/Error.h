// The errors of a GET: one base for all, the final response's status, or no answer at all. Each
// says whether making the same GET again could end otherwise.
#pragma once

#include <stdexcept>
#include <string>

namespace net {

// Whether a repeat of the failed GET could end otherwise.
enum class Retry {
  // What the network or the server may change: a refused, lost or timed-out connection, a
  // reply that is not HTTP, an error status.
  MayHelp,
  // A refusal of ours that every repeat meets again: a URL or redirect Location that is not an
  // http or https URL, a redirect from https to plain http, a server certificate or host name
  // that fails verification, trusted certificates that cannot be read.
  Futile,
};

// Every error get() raises derives from this one; what() is the text to show.
class Error : public std::runtime_error {
public:
  explicit Error(const std::string& what, Retry retry = Retry::MayHelp)
      : std::runtime_error(what), retry_(retry) {}
  Retry retry() const { return retry_; }

private:
  Retry retry_;
};

// The final response had a status outside 200..299 (a redirect that was not followed, 304, 401,
// 404, ...). what() is the status line exactly as received, without its CR LF. Futile only for
// a redirect from https to plain http.
class HttpError : public Error {
public:
  HttpError(long status, const std::string& statusLine, Retry retry = Retry::MayHelp)
      : Error(statusLine, retry), status_(status) {}
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
