#include "net/Exchange.h"

#include <algorithm>

#include "net/BodySink.h"
#include "net/Error.h"
#include "platform/SocketPeer.h"

namespace net {

namespace {

constexpr const char* kReadTimedOut = "Read timed out.";

// Whether repeating a request that libcurl ended with this result could end otherwise. Futile:
// the server's certificate or host name failed verification, or what it is verified against
// cannot be read. libcurl's CURLE_UNSUPPORTED_PROTOCOL is not among them: parseUrl refuses other
// schemes before libcurl sees a URL, so here it means a reply that is not HTTP/1.x, which the
// server may not send next time.
Retry retryAfter(CURLcode result) {
  switch (result) {
    case CURLE_URL_MALFORMAT:
    case CURLE_PEER_FAILED_VERIFICATION:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
      return Retry::Futile;
    default:
      return Retry::MayHelp;
  }
}

}  // namespace

CurlHandle::CurlHandle() : easy(curl_easy_init()), multi(curl_multi_init()) {
  if (!easy || !multi) {
    cleanup();
    throw Error("The HTTP library could not be initialised.");
  }
  char* path = nullptr;
  if (curl_easy_getinfo(easy, CURLINFO_CAINFO, &path) == CURLE_OK && path) defaultCaFile = path;
  curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(easy, CURLOPT_ERRORBUFFER, errorText);
  curl_easy_setopt(easy, CURLOPT_HEADERFUNCTION, &Exchange::onHeader);
  curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, &Exchange::onBody);
  curl_easy_setopt(easy, CURLOPT_PREREQFUNCTION, &Exchange::onConnected);
  curl_easy_setopt(easy, CURLOPT_SOCKOPTFUNCTION, &Exchange::onSocket);
}

void CurlHandle::cleanup() {
  if (multi) curl_multi_cleanup(multi);
  if (easy) curl_easy_cleanup(easy);
}

ExchangeOutcome Exchange::perform(const std::string& url, const curl_slist* headers) {
  CURL* e = curl_.easy;
  curl_.errorText[0] = '\0';
  curl_easy_setopt(e, CURLOPT_URL, url.c_str());
  curl_easy_setopt(e, CURLOPT_HTTPHEADER, headers);
  curl_easy_setopt(e, CURLOPT_HEADERDATA, this);
  curl_easy_setopt(e, CURLOPT_WRITEDATA, this);
  curl_easy_setopt(e, CURLOPT_PREREQDATA, this);
  curl_easy_setopt(e, CURLOPT_SOCKOPTDATA, this);
  return conclude(run());
}

void Exchange::startResponse(std::string_view line) {
  head_ = ResponseHead{};
  head_.statusLine.assign(line);
}

void Exchange::endOfHeaders() {
  curl_easy_getinfo(curl_.easy, CURLINFO_RESPONSE_CODE, &status_);
  if (status_ < 200) return;  // an interim response; the real one follows
  headersDone_ = true;
  kind_ = classifyStatus(status_, head_.location.has_value(), mayRedirect_);
  const auto expected = announcedBodyLength(status_, head_);
  if (!expected) return;
  body_ = kind_ == ResponseKind::Final ? Body::Final : Body::Drop;
  begin(*expected);
}

void Exchange::begin(std::int64_t expected) {
  begun_ = true;
  if (auto handler = events_.begin) handler(expected);
}

// Takes a piece of the body in. libcurl hands bodies over in slices of at most 16 KiB, so
// the step events are raised afterwards by reportSteps(), in pieces of up to pieceSize:
// half as many calls into handlers that may cross threads.
void Exchange::piece(const char* data, std::size_t size) {
  if (!begun_) begin(0);
  if (body_ == Body::Final) sink_.write(data, size);
  count_ += static_cast<std::int64_t>(size);
}

// Raises onWork for the bytes taken in since the last report, at most pieceSize a step.
void Exchange::reportSteps() {
  while (reported_ < count_) {
    reported_ = std::min(count_, reported_ + static_cast<std::int64_t>(limits_.pieceSize));
    if (auto handler = events_.step) handler(reported_);
  }
}

void Exchange::end() {
  if (!begun_ || ended_) return;
  ended_ = true;
  if (!failure_) {
    try {
      reportSteps();
    } catch (...) {
      failure_ = std::current_exception();
    }
  }
  if (auto handler = events_.end) handler();
}

// The longest we may wait for the next byte now, if there is a limit.
std::optional<std::chrono::milliseconds> Exchange::waitLimit() const {
  std::optional<std::chrono::milliseconds> limit;
  if (limits_.readTimeout.count() > 0) limit = limits_.readTimeout;
  if (headersDone_ && kind_ == ResponseKind::Redirect && begun_ && count_ == 0)
    limit = limit ? std::min(*limit, limits_.redirectBodyWait) : limits_.redirectBodyWait;
  return limit;
}

// How long until the wait for data or the whole get() runs out, if either has a limit now.
std::optional<Exchange::Clock::duration> Exchange::timeLeft() const {
  std::optional<Clock::duration> left;
  if (const auto limit = waitLimit(); limit && connected_)
    left = *limit - (Clock::now() - lastData_);
  if (limits_.deadline) {
    const Clock::duration toDeadline = *limits_.deadline - Clock::now();
    left = left ? std::min(*left, toDeadline) : toDeadline;
  }
  return left;
}

bool Exchange::redirectBodySkipped() const {
  return timedOut_ && kind_ == ResponseKind::Redirect && headersDone_ && count_ == 0;
}

void Exchange::sawData() {
  connected_ = true;
  lastData_ = Clock::now();
}

// Runs the transfer on the calling thread until it ends, breaks off or times out.
CURLcode Exchange::run() {
  CurlHandle& curl = curl_;
  if (curl_multi_add_handle(curl.multi, curl.easy) != CURLM_OK)
    throw TransportError("The HTTP library could not start the request.");
  // Taking the handle out of the multi handle mid-transfer closes that connection. The request
  // headers belong to the caller and live only as long as this call.
  struct Detach {
    CurlHandle& curl;
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
      failure_ = std::current_exception();
      return CURLE_ABORTED_BY_CALLBACK;
    }
    int left = 0;
    while (CURLMsg* message = curl_multi_info_read(curl.multi, &left))
      if (message->msg == CURLMSG_DONE) return message->data.result;

    // Until the connection stands only the connect time-out and the deadline apply; the TLS
    // handshake after it is a wait for data like any other.
    if (!connected_ && socketConnected()) sawData();
    const auto remaining = timeLeft();
    if (remaining && *remaining <= Clock::duration::zero()) {
      timedOut_ = true;
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
ExchangeOutcome Exchange::conclude(CURLcode result) {
  end();
  if (failure_) std::rethrow_exception(failure_);
  if (redirectBodySkipped())
    return ExchangeOutcome{ResponseKind::Redirect, status_, head_.statusLine,
                           head_.location.value_or("")};
  if (timedOut_) throw TransportError(kReadTimedOut);
  if (headersTooLarge_) throw TransportError("The response headers are too large.");
  // libcurl refuses a single header line past its own limit as if memory had run out.
  if (result == CURLE_OUT_OF_MEMORY && !headersDone_)
    throw TransportError("The response headers are too large.");
  const char* errorText = curl_.errorText;
  if (result != CURLE_OK)
    throw TransportError(errorText[0] ? errorText : curl_easy_strerror(result), retryAfter(result));
  if (!headersDone_) throw TransportError("The connection closed before a response came.");
  return ExchangeOutcome{kind_, status_, head_.statusLine, head_.location.value_or("")};
}

// libcurl callbacks: no exception may cross them, so a failure is kept and the transfer
// broken off by returning a count that differs from the one given.
size_t Exchange::onHeader(char* data, size_t size, size_t count, void* self) {
  auto& ex = *static_cast<Exchange*>(self);
  const size_t n = size * count;
  try {
    ex.sawData();
    ex.headerBytes_ += n;
    if (ex.headerBytes_ > ex.limits_.maxHeaderBytes) {
      ex.headersTooLarge_ = true;
      return 0;
    }
    if (ex.headersDone_) return n;  // trailers of a chunked body
    std::string_view line(data, n);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r')) line.remove_suffix(1);
    if (line.substr(0, 5) == "HTTP/")
      ex.startResponse(line);
    else if (line.empty())
      ex.endOfHeaders();
    else
      readHeaderLine(ex.head_, line);
    return n;
  } catch (...) {
    ex.failure_ = std::current_exception();
    return 0;
  }
}

size_t Exchange::onBody(char* data, size_t size, size_t count, void* self) {
  auto& ex = *static_cast<Exchange*>(self);
  const size_t n = size * count;
  try {
    ex.sawData();
    ex.piece(data, n);
    return n;
  } catch (...) {
    ex.failure_ = std::current_exception();
    return n == 0 ? 1 : 0;
  }
}

// The socket libcurl is about to connect; once it has a peer, the connection stands.
int Exchange::onSocket(void* self, curl_socket_t socket, curlsocktype) {
  static_cast<Exchange*>(self)->socket_ = socket;
  return CURL_SOCKOPT_OK;
}

bool Exchange::socketConnected() const {
  if (socket_ == CURL_SOCKET_BAD) return false;
  return platform::socketHasPeer(static_cast<std::uintptr_t>(socket_));
}

int Exchange::onConnected(void* self, char*, char*, int, int) {
  auto& ex = *static_cast<Exchange*>(self);
  if (!ex.connected_) ex.sawData();
  return CURL_PREREQFUNC_OK;
}

}  // namespace net
