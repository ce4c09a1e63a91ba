#include "net/HttpClient.h"

#include <curl/curl.h>

#include <mutex>
#include <new>

#include "net/Exchange.h"
#include "net/ResponseHead.h"
#include "net/Url.h"

namespace net {

namespace {

using Clock = std::chrono::steady_clock;

struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
using Slist = std::unique_ptr<curl_slist, SlistDeleter>;

void append(Slist& list, const std::string& line) {
  curl_slist* grown = curl_slist_append(list.get(), line.c_str());
  if (!grown) throw std::bad_alloc();
  (void)list.release();
  list.reset(grown);
}

}  // namespace

void globalInit() {
  static std::once_flag once;
  std::call_once(once, [] {
    if (curl_global_init(CURL_GLOBAL_DEFAULT) != CURLE_OK)
      throw Error("The HTTP library could not be initialised.");
  });
}

HttpClient::HttpClient() : curl_(std::make_unique<CurlHandle>()) {
  CURL* e = curl_->easy;
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_PROXY, "");       // no proxy, whatever the environment says
  curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");  // cookie engine on, in memory, per client
  curl_easy_setopt(e, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, static_cast<long>(kReceiveBufferSize));
  curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(e, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
  // Schannel (Windows) checks revocation and by default fails when the CA publishes no list or
  // its server cannot be reached; a certificate known to be revoked is still refused. OpenSSL
  // ignores this option.
  curl_easy_setopt(e, CURLOPT_SSL_OPTIONS, static_cast<long>(CURLSSLOPT_REVOKE_BEST_EFFORT));
}

HttpClient::~HttpClient() = default;

Response HttpClient::get(const std::string& url, BodySink& sink) {
  std::optional<Clock::time_point> deadline;
  if (totalTimeout_.count() > 0) deadline = Clock::now() + totalTimeout_;
  const std::uint64_t start = sink.position();
  std::string current = url;
  for (int redirects = 0;; ++redirects) {
    if (redirects > 0) sink.seek(start);
    ExchangeOutcome outcome = exchange(current, sink, followRedirects_, deadline);
    if (outcome.kind == ResponseKind::Final)
      return Response{outcome.status, outcome.statusLine, current, false};
    if (outcome.kind == ResponseKind::Error) throw HttpError(outcome.status, outcome.statusLine);
    if (redirects == kMaxRedirects)
      return Response{outcome.status, outcome.statusLine, current, true};

    // A relative Location is resolved against the URL that answered with it.
    UrlHandle next;
    parseUrl(next, current);
    parseUrl(next, outcome.location);
    // The certificate checks would be undone by one header: https never leads to plain http.
    if (isHttps(current) && !isHttps(next))
      throw HttpError(outcome.status, outcome.statusLine, Retry::Futile);
    current = next.part(CURLUPART_URL).value_or(outcome.location);
  }
}

ExchangeOutcome HttpClient::exchange(const std::string& url, BodySink& sink,
                                     bool followThisRedirect,
                                     std::optional<Clock::time_point> deadline) {
  UrlHandle target;
  parseUrl(target, url);

  // The credentials travel only in our own header, never through libcurl's auth handling.
  const auto user = target.part(CURLUPART_USER, CURLU_URLDECODE);
  const auto password = target.part(CURLUPART_PASSWORD, CURLU_URLDECODE);
  curl_url_set(target.h, CURLUPART_USER, nullptr, 0);
  curl_url_set(target.h, CURLUPART_PASSWORD, nullptr, 0);
  curl_url_set(target.h, CURLUPART_OPTIONS, nullptr, 0);
  curl_url_set(target.h, CURLUPART_FRAGMENT, nullptr, 0);
  const auto plainUrl = target.part(CURLUPART_URL);
  if (!plainUrl) throw TransportError("Malformed URL", Retry::Futile);

  Slist headers;
  append(headers, std::string("Accept: ") + kAccept);
  if (basicAuthByDefault_ || user || password)
    append(headers, "Authorization: " + basicCredentials(user.value_or(""), password.value_or("")));

  CURL* e = curl_->easy;
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout_.count()));
  // libcurl takes a file name as narrow text; a path's native text is wide on Windows.
  const std::string caFile = ioHandler_->caFile().string();
  const char* trusted = !caFile.empty()                 ? caFile.c_str()
                        : !curl_->defaultCaFile.empty() ? curl_->defaultCaFile.c_str()
                                                        : nullptr;
  curl_easy_setopt(e, CURLOPT_CAINFO, trusted);

  Exchange ex(
      *curl_, sink, WorkEvents{onWorkBegin, onWork, onWorkEnd},
      ExchangeLimits{readTimeout_, redirectBodyWait_, deadline, kPieceSize, kMaxHeaderBytes},
      followThisRedirect);
  return ex.perform(*plainUrl, headers.get());
}

}  // namespace net
