#include "net/Url.h"

#include "net/Error.h"

namespace net {

namespace {

constexpr const char* kUnknownProtocol = "Unknown Protocol";

constexpr unsigned kUrlFlags = CURLU_NON_SUPPORT_SCHEME | CURLU_URLENCODE | CURLU_ALLOW_SPACE;

}  // namespace

std::optional<std::string> UrlHandle::part(CURLUPart which, unsigned flags) const {
  char* value = nullptr;
  if (curl_url_get(h, which, &value, flags) != CURLUE_OK) return std::nullopt;
  std::string out(value);
  curl_free(value);
  return out;
}

void parseUrl(UrlHandle& url, const std::string& text) {
  const CURLUcode rc = curl_url_set(url.h, CURLUPART_URL, text.c_str(), kUrlFlags);
  // The same text would be parsed the same way again: each failure is a refusal.
  if (rc == CURLUE_BAD_SCHEME || rc == CURLUE_NO_SCHEME)
    throw TransportError(kUnknownProtocol, Retry::Futile);
  if (rc != CURLUE_OK) throw TransportError(curl_url_strerror(rc), Retry::Futile);
  const auto scheme = url.part(CURLUPART_SCHEME);
  if (!scheme ||
      (!curl_strequal(scheme->c_str(), "http") && !curl_strequal(scheme->c_str(), "https")))
    throw TransportError(kUnknownProtocol, Retry::Futile);
}

bool isHttps(const UrlHandle& url) {
  const auto scheme = url.part(CURLUPART_SCHEME);
  return scheme && curl_strequal(scheme->c_str(), "https");
}

bool isHttps(const std::string& text) {
  UrlHandle url;
  parseUrl(url, text);
  return isHttps(url);
}

}  // namespace net
