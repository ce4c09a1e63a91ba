#include "net/HttpClient.h"

#include <curl/curl.h>
#include <sys/socket.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <exception>
#include <mutex>
#include <optional>
#include <string_view>
#include <utility>

namespace net {

namespace {

using Clock = std::chrono::steady_clock;

constexpr const char* kReadTimedOut = "Read timed out.";
constexpr const char* kUnknownProtocol = "Unknown Protocol";

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

// Owns a CURLU and frees it.
struct UrlHandle {
  CURLU* h = curl_url();
  UrlHandle() {
    if (!h) throw std::bad_alloc();
  }
  ~UrlHandle() { curl_url_cleanup(h); }
  UrlHandle(const UrlHandle&) = delete;
  UrlHandle& operator=(const UrlHandle&) = delete;

  std::optional<std::string> part(CURLUPart which, unsigned flags = 0) const {
    char* value = nullptr;
    if (curl_url_get(h, which, &value, flags) != CURLUE_OK) return std::nullopt;
    std::string out(value);
    curl_free(value);
    return out;
  }
};

constexpr unsigned kUrlFlags = CURLU_NON_SUPPORT_SCHEME | CURLU_URLENCODE | CURLU_ALLOW_SPACE;

// Parses url into handle; throws "Unknown Protocol" for anything but http and https.
void parseUrl(UrlHandle& url, const std::string& text) {
  const CURLUcode rc = curl_url_set(url.h, CURLUPART_URL, text.c_str(), kUrlFlags);
  if (rc == CURLUE_BAD_SCHEME || rc == CURLUE_NO_SCHEME) throw TransportError(kUnknownProtocol);
  if (rc != CURLUE_OK) throw TransportError(curl_url_strerror(rc));
  const auto scheme = url.part(CURLUPART_SCHEME);
  if (!scheme || (!equalsNoCase(*scheme, "http") && !equalsNoCase(*scheme, "https")))
    throw TransportError(kUnknownProtocol);
}

bool isHttps(const UrlHandle& url) {
  const auto scheme = url.part(CURLUPART_SCHEME);
  return scheme && equalsNoCase(*scheme, "https");
}

bool isHttps(const std::string& text) {
  UrlHandle url;
  parseUrl(url, text);
  return isHttps(url);
}

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

void MemorySink::write(const char* data, std::size_t size) {
  if (size > cap_ - std::min(cap_, data_.size()))
    throw TransportError("The response is larger than " + std::to_string(cap_) + " bytes.");
  data_.append(data, size);
}

void MemorySink::seek(std::uint64_t position) {
  if (position < data_.size()) data_.resize(static_cast<std::size_t>(position));
}

struct HttpClient::Curl {
  CURL* easy = nullptr;
  CURLM* multi = nullptr;
  char errorText[CURL_ERROR_SIZE] = {};
  std::string defaultCaFile;  // libcurl's built-in bundle: the system's trusted certificates

  Curl() : easy(curl_easy_init()), multi(curl_multi_init()) {
    if (!easy || !multi) {
      cleanup();
      throw Error("The HTTP library could not be initialised.");
    }
    char* path = nullptr;
    if (curl_easy_getinfo(easy, CURLINFO_CAINFO, &path) == CURLE_OK && path) defaultCaFile = path;
  }
  ~Curl() { cleanup(); }
  void cleanup() {
    if (multi) curl_multi_cleanup(multi);
    if (easy) curl_easy_cleanup(easy);
  }
};

// How one request ended, as far as get() needs to know.
struct HttpClient::Outcome {
  enum class Kind { Final, Redirect, Error } kind = Kind::Error;
  long status = 0;
  std::string statusLine;
  std::string location;
};

// The state of one request and its response, shared with the libcurl callbacks.
struct HttpClient::Exchange {
  enum class Body { None, Final, Drop };

  HttpClient& client;
  BodySink& sink;
  bool mayRedirect;
  std::optional<Clock::time_point> deadline;  // the end of the whole get(), if it has one

  // The response being received; reset by every status line (an interim 1xx comes first).
  std::string statusLine;
  std::string location;
  bool haveLocation = false;
  std::optional<std::int64_t> contentLength;
  bool chunked = false;
  std::size_t headerBytes = 0;
  bool headersDone = false;
  long status = 0;
  Outcome::Kind kind = Outcome::Kind::Error;

  // The body and its events.
  Body body = Body::None;
  bool begun = false;
  bool ended = false;
  std::int64_t count = 0;     // bytes of this body taken in
  std::int64_t reported = 0;  // bytes of this body that onWork has been told of

  // The read time-out: runs from the connection on, restarted by every byte that arrives.
  bool connected = false;
  curl_socket_t socket = CURL_SOCKET_BAD;
  Clock::time_point lastData{};
  bool timedOut = false;
  bool headersTooLarge = false;
  std::exception_ptr failure;

  Exchange(HttpClient& c, BodySink& s, bool redirects, std::optional<Clock::time_point> end)
      : client(c), sink(s), mayRedirect(redirects), deadline(end) {}

  void startResponse(std::string_view line) {
    statusLine.assign(line);
    location.clear();
    haveLocation = false;
    contentLength.reset();
    chunked = false;
  }

  void header(std::string_view line) {
    const auto colon = line.find(':');
    if (colon == std::string_view::npos) return;
    const std::string_view name = line.substr(0, colon);
    const std::string_view value = trimmed(line.substr(colon + 1));
    if (equalsNoCase(name, "Location")) {
      location.assign(value);
      haveLocation = true;
    } else if (equalsNoCase(name, "Content-Length")) {
      std::int64_t length = 0;
      const auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), length);
      // libcurl rejects a malformed length itself; we only need a valid one for the events.
      if (ec == std::errc() && end == value.data() + value.size() && length >= 0)
        contentLength = length;
    } else if (equalsNoCase(name, "Transfer-Encoding")) {
      std::string lower(value);
      std::transform(lower.begin(), lower.end(), lower.begin(), [](char c) {
        return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      });
      chunked = lower.find("chunked") != std::string::npos;
    }
  }

  void endOfHeaders() {
    curl_easy_getinfo(client.curl_->easy, CURLINFO_RESPONSE_CODE, &status);
    if (status < 200) return;  // an interim response; the real one follows
    headersDone = true;
    if (status >= 200 && status <= 299)
      kind = Outcome::Kind::Final;
    else if (status >= 300 && status <= 399 && status != 304 && haveLocation && mayRedirect)
      kind = Outcome::Kind::Redirect;
    else
      kind = Outcome::Kind::Error;

    // 204 and 304 never carry a body; a length of 0 announces none.
    const bool hasBody =
        status != 204 && status != 304 && (chunked || !contentLength || *contentLength > 0);
    if (!hasBody) return;
    body = kind == Outcome::Kind::Final ? Body::Final : Body::Drop;
    begin(chunked || !contentLength ? 0 : *contentLength);
  }

  void begin(std::int64_t expected) {
    begun = true;
    if (auto handler = client.onWorkBegin) handler(expected);
  }

  // Takes a piece of the body in. libcurl hands bodies over in slices of at most 16 KiB, so
  // the step events are raised afterwards by reportSteps(), in pieces of up to kPieceSize:
  // half as many calls into handlers that may cross threads.
  void piece(const char* data, std::size_t size) {
    if (!begun) begin(0);
    if (body == Body::Final) sink.write(data, size);
    count += static_cast<std::int64_t>(size);
  }

  // Raises onWork for the bytes taken in since the last report, at most kPieceSize a step.
  void reportSteps() {
    while (reported < count) {
      reported = std::min(count, reported + static_cast<std::int64_t>(kPieceSize));
      if (auto handler = client.onWork) handler(reported);
    }
  }

  void end() {
    if (!begun || ended) return;
    ended = true;
    if (!failure) {
      try {
        reportSteps();
      } catch (...) {
        failure = std::current_exception();
      }
    }
    if (auto handler = client.onWorkEnd) handler();
  }

  // The longest we may wait for the next byte now, if there is a limit.
  std::optional<std::chrono::milliseconds> waitLimit() const {
    std::optional<std::chrono::milliseconds> limit;
    if (client.readTimeout_.count() > 0) limit = client.readTimeout_;
    if (headersDone && kind == Outcome::Kind::Redirect && begun && count == 0)
      limit = limit ? std::min(*limit, client.redirectBodyWait_) : client.redirectBodyWait_;
    return limit;
  }

  // How long until the wait for data or the whole get() runs out, if either has a limit now.
  std::optional<Clock::duration> timeLeft() const {
    std::optional<Clock::duration> left;
    if (const auto limit = waitLimit(); limit && connected) left = *limit - (Clock::now() - lastData);
    if (deadline) {
      const Clock::duration toDeadline = *deadline - Clock::now();
      left = left ? std::min(*left, toDeadline) : toDeadline;
    }
    return left;
  }

  bool redirectBodySkipped() const {
    return timedOut && kind == Outcome::Kind::Redirect && headersDone && count == 0;
  }

  void sawData() {
    connected = true;
    lastData = Clock::now();
  }

  // Runs the transfer on the calling thread until it ends, breaks off or times out.
  CURLcode run() {
    Curl& curl = *client.curl_;
    if (curl_multi_add_handle(curl.multi, curl.easy) != CURLM_OK)
      throw TransportError("The HTTP library could not start the request.");
    // Taking the handle out of the multi handle mid-transfer closes that connection.
    struct Detach {
      Curl& curl;
      ~Detach() {
        curl_multi_remove_handle(curl.multi, curl.easy);
        curl_easy_setopt(curl.easy, CURLOPT_HTTPHEADER, nullptr);
      }
    } detach{curl};

    for (;;) {
      int running = 0;
      if (curl_multi_perform(curl.multi, &running) != CURLM_OK) return CURLE_FAILED_INIT;
      try {
        reportSteps();
      } catch (...) {
        failure = std::current_exception();
        return CURLE_ABORTED_BY_CALLBACK;
      }
      int left = 0;
      while (CURLMsg* message = curl_multi_info_read(curl.multi, &left))
        if (message->msg == CURLMSG_DONE) return message->data.result;

      // Until the connection stands only the connect time-out and the deadline apply; the TLS
      // handshake after it is a wait for data like any other.
      if (!connected && socketConnected()) sawData();
      const auto remaining = timeLeft();
      if (remaining && *remaining <= Clock::duration::zero()) {
        timedOut = true;
        return CURLE_OPERATION_TIMEDOUT;
      }
      int waitMs = 1000;
      if (remaining) {
        const auto ms = std::chrono::ceil<std::chrono::milliseconds>(*remaining).count();
        waitMs = static_cast<int>(std::min<long long>(ms, waitMs));
      }
      curl_multi_poll(curl.multi, nullptr, 0, waitMs, nullptr);
    }
  }

  // Ends the body that began, then says how the request ended, or throws why it failed.
  Outcome conclude(CURLcode result) {
    end();
    if (failure) std::rethrow_exception(failure);
    if (redirectBodySkipped())
      return Outcome{Outcome::Kind::Redirect, status, statusLine, location};
    if (timedOut) throw TransportError(kReadTimedOut);
    if (headersTooLarge) throw TransportError("The response headers are too large.");
    // libcurl refuses a single header line past its own limit as if memory had run out.
    if (result == CURLE_OUT_OF_MEMORY && !headersDone)
      throw TransportError("The response headers are too large.");
    const char* errorText = client.curl_->errorText;
    if (result != CURLE_OK)
      throw TransportError(errorText[0] ? errorText : curl_easy_strerror(result));
    if (!headersDone) throw TransportError("The connection closed before a response came.");
    return Outcome{kind, status, statusLine, location};
  }

  // libcurl callbacks: no exception may cross them, so a failure is kept and the transfer
  // broken off by returning a count that differs from the one given.
  static size_t onHeader(char* data, size_t size, size_t count, void* self) {
    auto& ex = *static_cast<Exchange*>(self);
    const size_t n = size * count;
    try {
      ex.sawData();
      ex.headerBytes += n;
      if (ex.headerBytes > kMaxHeaderBytes) {
        ex.headersTooLarge = true;
        return 0;
      }
      if (ex.headersDone) return n;  // trailers of a chunked body
      std::string_view line(data, n);
      while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
      if (line.substr(0, 5) == "HTTP/")
        ex.startResponse(line);
      else if (line.empty())
        ex.endOfHeaders();
      else
        ex.header(line);
      return n;
    } catch (...) {
      ex.failure = std::current_exception();
      return 0;
    }
  }

  static size_t onBody(char* data, size_t size, size_t count, void* self) {
    auto& ex = *static_cast<Exchange*>(self);
    const size_t n = size * count;
    try {
      ex.sawData();
      ex.piece(data, n);
      return n;
    } catch (...) {
      ex.failure = std::current_exception();
      return n == 0 ? 1 : 0;
    }
  }

  // The socket libcurl is about to connect; once it has a peer, the connection stands.
  static int onSocket(void* self, curl_socket_t socket, curlsocktype) {
    static_cast<Exchange*>(self)->socket = socket;
    return CURL_SOCKOPT_OK;
  }

  bool socketConnected() const {
    if (socket == CURL_SOCKET_BAD) return false;
    sockaddr_storage peer{};
    socklen_t length = sizeof peer;
    return ::getpeername(socket, reinterpret_cast<sockaddr*>(&peer), &length) == 0;
  }

  static int onConnected(void* self, char*, char*, int, int) {
    auto& ex = *static_cast<Exchange*>(self);
    if (!ex.connected) ex.sawData();
    return CURL_PREREQFUNC_OK;
  }
};

HttpClient::HttpClient() : curl_(std::make_unique<Curl>()) {
  CURL* e = curl_->easy;
  curl_easy_setopt(e, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(e, CURLOPT_ERRORBUFFER, curl_->errorText);
  curl_easy_setopt(e, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
  curl_easy_setopt(e, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(e, CURLOPT_FOLLOWLOCATION, 0L);
  curl_easy_setopt(e, CURLOPT_PROXY, "");       // no proxy, whatever the environment says
  curl_easy_setopt(e, CURLOPT_COOKIEFILE, "");  // cookie engine on, in memory, per client
  curl_easy_setopt(e, CURLOPT_USERAGENT, kUserAgent);
  curl_easy_setopt(e, CURLOPT_BUFFERSIZE, static_cast<long>(kReceiveBufferSize));
  curl_easy_setopt(e, CURLOPT_HTTPGET, 1L);
  curl_easy_setopt(e, CURLOPT_HEADERFUNCTION, &Exchange::onHeader);
  curl_easy_setopt(e, CURLOPT_WRITEFUNCTION, &Exchange::onBody);
  curl_easy_setopt(e, CURLOPT_PREREQFUNCTION, &Exchange::onConnected);
  curl_easy_setopt(e, CURLOPT_SOCKOPTFUNCTION, &Exchange::onSocket);
  curl_easy_setopt(e, CURLOPT_SSLVERSION, static_cast<long>(CURL_SSLVERSION_TLSv1_2));
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(e, CURLOPT_SSL_VERIFYHOST, 2L);
}

HttpClient::~HttpClient() = default;

Response HttpClient::get(const std::string& url, BodySink& sink) {
  std::optional<Clock::time_point> deadline;
  if (totalTimeout_.count() > 0) deadline = Clock::now() + totalTimeout_;
  const std::uint64_t start = sink.position();
  std::string current = url;
  for (int redirects = 0;; ++redirects) {
    if (redirects > 0) sink.seek(start);
    Outcome outcome = exchange(current, sink, followRedirects_, deadline);
    if (outcome.kind == Outcome::Kind::Final)
      return Response{outcome.status, outcome.statusLine, current, false};
    if (outcome.kind == Outcome::Kind::Error) throw HttpError(outcome.status, outcome.statusLine);
    if (redirects == kMaxRedirects)
      return Response{outcome.status, outcome.statusLine, current, true};

    // A relative Location is resolved against the URL that answered with it.
    UrlHandle next;
    parseUrl(next, current);
    parseUrl(next, outcome.location);
    // The certificate checks would be undone by one header: https never leads to plain http.
    if (isHttps(current) && !isHttps(next))
      throw HttpError(outcome.status, outcome.statusLine);
    current = next.part(CURLUPART_URL).value_or(outcome.location);
  }
}

HttpClient::Outcome HttpClient::exchange(const std::string& url, BodySink& sink,
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
  if (!plainUrl) throw TransportError("Malformed URL");

  Slist headers;
  append(headers, std::string("Accept: ") + kAccept);
  if (basicAuthByDefault_ || user || password)
    append(headers,
           "Authorization: Basic " + base64(user.value_or("") + ":" + password.value_or("")));

  Exchange ex(*this, sink, followThisRedirect, deadline);
  CURL* e = curl_->easy;
  curl_->errorText[0] = '\0';
  curl_easy_setopt(e, CURLOPT_URL, plainUrl->c_str());
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers.get());
  curl_easy_setopt(e, CURLOPT_HEADERDATA, &ex);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, &ex);
  curl_easy_setopt(e, CURLOPT_PREREQDATA, &ex);
  curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, &ex);
  curl_easy_setopt(e, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(connectTimeout_.count()));
  const auto& caFile = ioHandler_->caFile();
  const char* trusted = !caFile.empty()                 ? caFile.c_str()
                        : !curl_->defaultCaFile.empty() ? curl_->defaultCaFile.c_str()
                                                        : nullptr;
  curl_easy_setopt(e, CURLOPT_CAINFO, trusted);

  return ex.conclude(ex.run());
}

}  // namespace net
