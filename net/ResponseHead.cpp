#include "net/ResponseHead.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace net {

namespace {

std::string base64(std::string_view in) {
  static constexpr char kDigits[] =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  std::string out;
  out.reserve((in.size() + 2) / 3 * 4);
  std::size_t i = 0;
  for (; i + 2 < in.size(); i += 3) {
    const unsigned v = static_cast<unsigned char>(in[i]) << 16 |
                       static_cast<unsigned char>(in[i + 1]) << 8 |
                       static_cast<unsigned char>(in[i + 2]);
    out += kDigits[v >> 18 & 63];
    out += kDigits[v >> 12 & 63];
    out += kDigits[v >> 6 & 63];
    out += kDigits[v & 63];
  }
  if (i + 1 == in.size()) {
    const unsigned v = static_cast<unsigned char>(in[i]) << 16;
    out += kDigits[v >> 18 & 63];
    out += kDigits[v >> 12 & 63];
    out += "==";
  } else if (i + 2 == in.size()) {
    const unsigned v =
        static_cast<unsigned char>(in[i]) << 16 | static_cast<unsigned char>(in[i + 1]) << 8;
    out += kDigits[v >> 18 & 63];
    out += kDigits[v >> 12 & 63];
    out += kDigits[v >> 6 & 63];
    out += '=';
  }
  return out;
}

bool equalsNoCase(std::string_view a, std::string_view b) {
  return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) {
           return std::tolower(static_cast<unsigned char>(x)) ==
                  std::tolower(static_cast<unsigned char>(y));
         });
}

std::string_view trimmed(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() &&
         (s.back() == ' ' || s.back() == '\t' || s.back() == '\r' || s.back() == '\n'))
    s.remove_suffix(1);
  return s;
}

}  // namespace

ResponseKind classifyStatus(long status, bool hasLocation, bool mayRedirect) {
  if (status >= 200 && status <= 299) return ResponseKind::Final;
  if (status >= 300 && status <= 399 && status != 304 && hasLocation && mayRedirect)
    return ResponseKind::Redirect;
  return ResponseKind::Error;
}

void readHeaderLine(ResponseHead& head, std::string_view line) {
  const auto colon = line.find(':');
  if (colon == std::string_view::npos) return;
  const std::string_view name = line.substr(0, colon);
  const std::string_view value = trimmed(line.substr(colon + 1));
  if (equalsNoCase(name, "Location")) {
    head.location.emplace(value);
  } else if (equalsNoCase(name, "Content-Length")) {
    std::int64_t length = 0;
    const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
    // libcurl rejects a malformed length itself; we only need a valid one for the events.
    if (ec == std::errc() && end == value.data() + value.size() && length >= 0)
      head.contentLength = length;
  } else if (equalsNoCase(name, "Transfer-Encoding")) {
    std::string lower(value);
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
      return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    });
    head.chunked = lower.find("chunked") != std::string::npos;
  }
}

std::optional<std::int64_t> announcedBodyLength(long status, const ResponseHead& head) {
  // 204 and 304 never carry a body; a length of 0 announces none.
  const bool hasBody = status != 204 && status != 304 &&
                       (head.chunked || !head.contentLength || *head.contentLength > 0);
  if (!hasBody) return std::nullopt;
  return head.chunked || !head.contentLength ? 0 : *head.contentLength;
}

std::string basicCredentials(std::string_view user, std::string_view password) {
  std::string pair(user);
  pair += ':';
  pair += password;
  return "Basic " + base64(pair);
}

}  // namespace net
