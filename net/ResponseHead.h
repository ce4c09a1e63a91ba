// The head of an HTTP exchange as the client reads it: which kind of response a status makes,
// the few response headers the client acts on, whether a body follows and what length it
// announces, and the Basic credentials a request carries. Pure functions, no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace net {

// What a final (non-1xx) response means for the GET that asked for it.
enum class ResponseKind {
  Final,     // its body is the one the caller wants
  Redirect,  // the next request goes to its Location
  Error,     // it ends the GET with HttpError, once its body has been read and dropped
};

// 200..299 is Final. 300..399 but 304 is a Redirect when the response named a Location (even an
// empty one) and this request may follow redirects; every other status is Error, a 304 and a
// redirect not to be followed included.
ResponseKind classifyStatus(long status, bool hasLocation, bool mayRedirect);

// The headers of one response that the client acts on. Each status line starts a new head (an
// interim 1xx response comes before the real one).
struct ResponseHead {
  std::string statusLine;                     // as received, without CR LF
  std::optional<std::string> location;        // the Location value, spaces around it dropped
  std::optional<std::int64_t> contentLength;  // the last valid Content-Length, if any
  bool chunked = false;                       // the last Transfer-Encoding names chunked
};

// Takes one header line ("Name: value", with or without its CR LF) into head. Names match in
// any case; spaces and tabs around the value are dropped. A Content-Length that is not a
// plain non-negative decimal number is ignored (libcurl refuses such a response itself). Lines
// without a colon and other headers change nothing.
void readHeaderLine(ResponseHead& head, std::string_view line);

// The length to announce for the body that follows a final response with this status and head,
// 0 when the body is chunked or has no Content-Length; nullopt when no body follows (204, 304,
// a Content-Length of 0).
std::optional<std::int64_t> announcedBodyLength(long status, const ResponseHead& head);

// The value of an Authorization header with Basic credentials: "Basic " and the Base64 of
// "user:password" taken byte for byte (UTF-8 stays UTF-8). Empty ones give "Basic Og==".
std::string basicCredentials(std::string_view user, std::string_view password);

}  // namespace net
