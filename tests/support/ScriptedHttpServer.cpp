#include "tests/support/ScriptedHttpServer.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <list>
#include <map>
#include <mutex>
#include <stdexcept>
#include <system_error>
#include <thread>

namespace testsupport {

namespace {

constexpr std::size_t kMaxRequestBytes = 64 * 1024;

std::string lower(std::string s) {
  std::transform(s.begin(), s.end(), s.begin(), [](char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  });
  return s;
}

std::string trim(const std::string& s) {
  const auto first = s.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return s.substr(first, s.find_last_not_of(" \t\r") - first + 1);
}

[[noreturn]] void fail(const std::string& what) {
  throw std::runtime_error("ScriptedHttpServer: " + what);
}

[[noreturn]] void failSsl(const std::string& what) {
  char text[256] = {};
  ERR_error_string_n(ERR_get_error(), text, sizeof text);
  fail(what + ": " + text);
}

RecordedRequest parseRequest(const std::string& head) {
  RecordedRequest request;
  std::size_t lineStart = 0;
  bool first = true;
  while (lineStart < head.size()) {
    auto lineEnd = head.find("\r\n", lineStart);
    if (lineEnd == std::string::npos) lineEnd = head.size();
    const std::string line = head.substr(lineStart, lineEnd - lineStart);
    lineStart = lineEnd + 2;
    if (first) {
      first = false;
      const auto a = line.find(' ');
      const auto b = line.rfind(' ');
      request.method = line.substr(0, a);
      if (a != std::string::npos && b > a) {
        request.target = line.substr(a + 1, b - a - 1);
        request.version = line.substr(b + 1);
      }
    } else if (const auto colon = line.find(':'); colon != std::string::npos) {
      request.headers.emplace_back(line.substr(0, colon), trim(line.substr(colon + 1)));
    }
  }
  return request;
}

}  // namespace

// ---- Reply --------------------------------------------------------------------------------

Reply& Reply::send(std::string bytes) {
  steps_.emplace_back(Send{std::move(bytes)});
  return *this;
}
Reply& Reply::pause(std::chrono::milliseconds duration) {
  steps_.emplace_back(Pause{duration});
  return *this;
}
Reply& Reply::close() {
  steps_.emplace_back(Close{});
  return *this;
}
Reply& Reply::reset() {
  steps_.emplace_back(Reset{});
  return *this;
}
Reply& Reply::hang() {
  steps_.emplace_back(Hang{});
  return *this;
}
Reply& Reply::awaitRelease() {
  steps_.emplace_back(AwaitRelease{});
  return *this;
}

Reply& Reply::head(const std::string& statusLine, const std::vector<std::string>& headers) {
  std::string bytes = statusLine + "\r\n";
  for (const auto& h : headers) bytes += h + "\r\n";
  return send(bytes + "\r\n");
}

Reply& Reply::chunk(const std::string& data) {
  char size[32];
  std::snprintf(size, sizeof size, "%zx\r\n", data.size());
  return send(size + data + "\r\n");
}

Reply Reply::response(const std::string& statusLine, const std::vector<std::string>& headers,
                      const std::string& body) {
  std::vector<std::string> all = headers;
  all.push_back("Content-Length: " + std::to_string(body.size()));
  Reply reply;
  reply.head(statusLine, all);
  if (!body.empty()) reply.send(body);
  return reply;
}

Reply Reply::redirect(int status, const std::string& location, const std::string& body) {
  return response("HTTP/1.1 " + std::to_string(status) + " Redirect", {"Location: " + location},
                  body);
}

std::optional<std::string> RecordedRequest::header(const std::string& name) const {
  const std::string wanted = lower(name);
  for (const auto& [key, value] : headers)
    if (lower(key) == wanted) return value;
  return std::nullopt;
}

// ---- the server ---------------------------------------------------------------------------

struct ScriptedHttpServer::Impl {
  bool tls = false;
  SSL_CTX* ctx = nullptr;
  int listenFd = -1;
  std::thread acceptThread;

  mutable std::mutex mutex;
  std::condition_variable stopped;
  bool stopping = false;
  std::map<std::string, Reply> routes;
  std::deque<Reply> queue;
  std::vector<RecordedRequest> requests;
  std::list<std::thread> connections;
  std::list<int> openFds;
  int connectionCount = 0;
  int releases = 0;  // release() calls not yet taken by an awaitRelease() step

  ~Impl() {
    stop();
    if (ctx) SSL_CTX_free(ctx);
  }

  void stop() {
    {
      std::lock_guard lock(mutex);
      if (stopping) return;
      stopping = true;
      // Wakes every blocking accept, read and write at once.
      if (listenFd >= 0) ::shutdown(listenFd, SHUT_RDWR);
      for (int fd : openFds) ::shutdown(fd, SHUT_RDWR);
    }
    stopped.notify_all();
    if (acceptThread.joinable()) acceptThread.join();
    std::list<std::thread> threads;
    {
      std::lock_guard lock(mutex);
      threads.swap(connections);
    }
    for (auto& t : threads) t.join();
    if (listenFd >= 0) ::close(listenFd);
  }

  bool isStopping() const {
    std::lock_guard lock(mutex);
    return stopping;
  }

  void acceptLoop() {
    for (;;) {
      const int fd = ::accept(listenFd, nullptr, nullptr);
      std::lock_guard lock(mutex);
      if (stopping) {
        if (fd >= 0) ::close(fd);
        return;
      }
      if (fd < 0) continue;
      // Each scripted send goes out at once, not held back for the client's delayed ACK.
      const int on = 1;
      ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
      openFds.push_back(fd);
      const int number = ++connectionCount;
      connections.emplace_back([this, fd, number] { serve(fd, number); });
    }
  }

  // One connection: plain or TLS reads and writes.
  struct Conn {
    int fd;
    SSL* ssl = nullptr;
    ~Conn() {
      if (ssl) SSL_free(ssl);
    }
    long recv(char* buffer, std::size_t size) {
      if (ssl) {
        const int n = SSL_read(ssl, buffer, static_cast<int>(size));
        return n > 0 ? n : -1;
      }
      const auto n = ::recv(fd, buffer, size, 0);
      return n > 0 ? static_cast<long>(n) : -1;
    }
    bool send(const std::string& bytes) {
      std::size_t done = 0;
      while (done < bytes.size()) {
        long n = 0;
        if (ssl)
          n = SSL_write(ssl, bytes.data() + done, static_cast<int>(bytes.size() - done));
        else
          n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n <= 0) return false;
        done += static_cast<std::size_t>(n);
      }
      return true;
    }
  };

  void serve(int fd, int number) {
    {
      Conn conn{fd};
      if (!tls || handshake(conn)) converse(conn, number);
    }
    std::lock_guard lock(mutex);
    openFds.remove(fd);
    ::close(fd);
  }

  bool handshake(Conn& conn) {
    conn.ssl = SSL_new(ctx);
    if (!conn.ssl) return false;
    SSL_set_fd(conn.ssl, conn.fd);
    return SSL_accept(conn.ssl) == 1;
  }

  // Reads requests and plays their replies until a reply ends the connection or the client
  // goes away.
  void converse(Conn& conn, int number) {
    std::string pending;
    for (;;) {
      std::size_t end;
      while ((end = pending.find("\r\n\r\n")) == std::string::npos) {
        if (pending.size() > kMaxRequestBytes) return;
        char buffer[4096];
        const long n = conn.recv(buffer, sizeof buffer);
        if (n <= 0) return;
        pending.append(buffer, static_cast<std::size_t>(n));
      }
      RecordedRequest request = parseRequest(pending.substr(0, end));
      pending.erase(0, end + 4);
      request.connection = number;
      if (!play(conn, replyFor(std::move(request)))) return;
    }
  }

  Reply replyFor(RecordedRequest request) {
    std::lock_guard lock(mutex);
    const std::string target = request.target;
    requests.push_back(std::move(request));
    if (auto route = routes.find(target); route != routes.end()) return route->second;
    if (!queue.empty()) {
      Reply reply = std::move(queue.front());
      queue.pop_front();
      return reply;
    }
    return Reply::response("HTTP/1.1 404 Not Found", {}, "");
  }

  // Runs the steps; false when the connection is over.
  bool play(Conn& conn, const Reply& reply) {
    for (const auto& step : reply.steps()) {
      if (const auto* s = std::get_if<Reply::Send>(&step)) {
        if (!conn.send(s->bytes)) return false;
      } else if (const auto* p = std::get_if<Reply::Pause>(&step)) {
        std::unique_lock lock(mutex);
        if (stopped.wait_for(lock, p->duration, [this] { return stopping; })) return false;
      } else if (std::holds_alternative<Reply::Close>(step)) {
        if (conn.ssl) SSL_shutdown(conn.ssl);
        ::shutdown(conn.fd, SHUT_WR);
        drain(conn.fd);
        return false;
      } else if (std::holds_alternative<Reply::Reset>(step)) {
        const linger abortive{1, 0};
        ::setsockopt(conn.fd, SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
        return false;
      } else if (std::holds_alternative<Reply::Hang>(step)) {
        drain(conn.fd);
        return false;
      } else if (std::holds_alternative<Reply::AwaitRelease>(step)) {
        std::unique_lock lock(mutex);
        stopped.wait_for(lock, kReleaseWait, [this] { return stopping || releases > 0; });
        if (stopping) return false;
        if (releases > 0) --releases;
      }
    }
    return true;
  }

  // Holds the connection until the client closes it or the server stops; whatever the client
  // still sends is dropped.
  void drain(int fd) {
    while (!isStopping()) {
      pollfd p{fd, POLLIN, 0};
      const int ready = ::poll(&p, 1, 50);
      if (ready < 0) return;
      if (ready == 0) continue;
      char buffer[4096];
      if (::recv(fd, buffer, sizeof buffer, 0) <= 0) return;
    }
  }
};

ScriptedHttpServer::ScriptedHttpServer() : ScriptedHttpServer(std::optional<TlsFiles>()) {}

ScriptedHttpServer::ScriptedHttpServer(TlsFiles tls)
    : ScriptedHttpServer(std::optional<TlsFiles>(std::move(tls))) {}

ScriptedHttpServer::ScriptedHttpServer(std::optional<TlsFiles> tls)
    : impl_(std::make_unique<Impl>()) {
  // OpenSSL writes with plain write(): a client that hangs up must not kill the test process.
  std::signal(SIGPIPE, SIG_IGN);
  if (tls) {
    impl_->tls = true;
    impl_->ctx = SSL_CTX_new(TLS_server_method());
    if (!impl_->ctx) failSsl("SSL_CTX_new");
    if (SSL_CTX_use_certificate_chain_file(impl_->ctx, tls->certFile.c_str()) != 1)
      failSsl("certificate " + tls->certFile.string());
    if (SSL_CTX_use_PrivateKey_file(impl_->ctx, tls->keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
      failSsl("key " + tls->keyFile.string());
  }
  impl_->listenFd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (impl_->listenFd < 0) fail("socket failed");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = 0;  // the system picks a free port
  if (::bind(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(impl_->listenFd, 16) != 0)
    fail("cannot listen on 127.0.0.1");
  socklen_t length = sizeof address;
  ::getsockname(impl_->listenFd, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  impl_->acceptThread = std::thread([impl = impl_.get()] { impl->acceptLoop(); });
}

ScriptedHttpServer::~ScriptedHttpServer() {
  impl_->stop();
}

std::string ScriptedHttpServer::url(const std::string& path) const {
  return std::string(impl_->tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) +
         path;
}

void ScriptedHttpServer::on(const std::string& target, Reply reply) {
  std::lock_guard lock(impl_->mutex);
  impl_->routes[target] = std::move(reply);
}

void ScriptedHttpServer::enqueue(Reply reply) {
  std::lock_guard lock(impl_->mutex);
  impl_->queue.push_back(std::move(reply));
}

std::vector<RecordedRequest> ScriptedHttpServer::requests() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->requests;
}

void ScriptedHttpServer::release() {
  {
    std::lock_guard lock(impl_->mutex);
    ++impl_->releases;
  }
  impl_->stopped.notify_all();
}

int ScriptedHttpServer::connectionCount() const {
  std::lock_guard lock(impl_->mutex);
  return impl_->connectionCount;
}

// ---- certificates -------------------------------------------------------------------------

namespace {

struct KeyDeleter {
  void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertDeleter {
  void operator()(X509* c) const { X509_free(c); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyDeleter>;
using Cert = std::unique_ptr<X509, CertDeleter>;

Key newKey() {
  Key key(EVP_EC_gen("P-256"));
  if (!key) failSsl("EVP_EC_gen");
  return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX ctx;
  X509V3_set_ctx_nodb(&ctx);
  X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
  if (!ext) failSsl("extension " + value);
  X509_add_ext(cert, ext, -1);
  X509_EXTENSION_free(ext);
}

using Extensions = std::vector<std::pair<int, std::string>>;

// A certificate for key, signed by issuer's key (self-signed when issuer is null).
Cert newCert(EVP_PKEY* key, const std::string& commonName, X509* issuer, EVP_PKEY* issuerKey,
             long serial, const Extensions& extensions) {
  Cert cert(X509_new());
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial);
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 7 * 24 * 3600);
  X509_set_pubkey(cert.get(), key);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>(commonName.c_str()), -1, -1, 0);
  X509_set_issuer_name(cert.get(), issuer ? X509_get_subject_name(issuer) : name);
  X509* signer = issuer ? issuer : cert.get();
  addExtension(cert.get(), signer, NID_subject_key_identifier, "hash");
  addExtension(cert.get(), signer, NID_authority_key_identifier, "keyid:always");
  for (const auto& [nid, value] : extensions) addExtension(cert.get(), signer, nid, value);
  if (X509_sign(cert.get(), issuer ? issuerKey : key, EVP_sha256()) == 0) failSsl("X509_sign");
  return cert;
}

template <typename Write>
void writePem(const std::filesystem::path& path, Write write) {
  FILE* file = std::fopen(path.c_str(), "w");
  if (!file) fail("cannot write " + path.string());
  const bool ok = write(file) == 1;
  std::fclose(file);
  if (!ok) failSsl("PEM " + path.string());
}

}  // namespace

TestCertificates::TestCertificates(const std::vector<std::string>& dnsNames,
                                   const std::vector<std::string>& ipAddresses) {
  std::string pattern = (std::filesystem::temp_directory_path() / "testpki-XXXXXX").string();
  if (!::mkdtemp(pattern.data())) fail("mkdtemp");
  dir_ = pattern;
  caFile_ = dir_ / "ca.pem";
  certFile_ = dir_ / "server.pem";
  keyFile_ = dir_ / "server-key.pem";

  const Key caKey = newKey();
  const Cert ca = newCert(caKey.get(), "Updater Test CA", nullptr, nullptr, 1,
                          {{NID_basic_constraints, "critical,CA:TRUE"},
                           {NID_key_usage, "critical,keyCertSign,cRLSign"}});
  std::string names;
  for (const auto& dns : dnsNames) names += (names.empty() ? "DNS:" : ",DNS:") + dns;
  for (const auto& ip : ipAddresses) names += (names.empty() ? "IP:" : ",IP:") + ip;
  Extensions extensions{{NID_ext_key_usage, "serverAuth"}};
  if (!names.empty()) extensions.emplace_back(NID_subject_alt_name, names);
  const Key serverKey = newKey();
  const Cert server = newCert(serverKey.get(), dnsNames.empty() ? "server" : dnsNames.front(),
                              ca.get(), caKey.get(), 2, extensions);

  writePem(caFile_, [&](FILE* f) { return PEM_write_X509(f, ca.get()); });
  writePem(certFile_, [&](FILE* f) { return PEM_write_X509(f, server.get()); });
  writePem(keyFile_, [&](FILE* f) {
    return PEM_write_PrivateKey(f, serverKey.get(), nullptr, nullptr, 0, nullptr, nullptr);
  });
}

TestCertificates::~TestCertificates() {
  std::error_code ignored;
  std::filesystem::remove_all(dir_, ignored);
}

}  // namespace testsupport
