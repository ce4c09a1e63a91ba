// Inside net/ only: URLs as libcurl parses them, limited to http and https.
#pragma once

#include <curl/curl.h>

#include <new>
#include <optional>
#include <string>

namespace net {

// Owns a CURLU and frees it.
struct UrlHandle {
  CURLU* h = curl_url();
  UrlHandle() {
    if (!h) throw std::bad_alloc();
  }
  ~UrlHandle() { curl_url_cleanup(h); }
  UrlHandle(const UrlHandle&) = delete;
  UrlHandle& operator=(const UrlHandle&) = delete;

  // One part of the URL, or nullopt when it has none.
  std::optional<std::string> part(CURLUPart which, unsigned flags = 0) const;
};

// Parses text into url, relative to what url already holds; throws TransportError with
// Retry::Futile, with "Unknown Protocol" for anything but http and https.
void parseUrl(UrlHandle& url, const std::string& text);

bool isHttps(const UrlHandle& url);
// Throws as parseUrl does.
bool isHttps(const std::string& text);

}  // namespace net
