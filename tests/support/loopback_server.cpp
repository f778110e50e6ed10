#include "support/loopback_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace velmora::test {
namespace {

// Longest a server waits for a silent client, and how long an idle keep-alive
// connection stays open: short, so stopping never waits long.
constexpr std::chrono::seconds kClientSilenceLimit{3};
constexpr std::chrono::seconds kKeepAliveLimit{1};
// Largest request the raw server reads.
constexpr std::size_t kMaxRawRequestBytes = 1 << 20;
// Step at which waiting loops look at the stop flag.
constexpr int kPollStepMs = 50;

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct CertFree {
  void operator()(X509* cert) const { X509_free(cert); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

bool AddExtension(X509* cert, X509* issuer, int nid, const std::string& value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value.c_str());
  if (extension == nullptr) return false;
  bool ok = X509_add_ext(cert, extension, -1) == 1;
  X509_EXTENSION_free(extension);
  return ok;
}

Cert MakeCert(EVP_PKEY* key, const std::string& commonName, long serial) {
  Cert cert(X509_new());
  if (!cert) return nullptr;
  X509_NAME* name = X509_get_subject_name(cert.get());
  bool ok = X509_set_version(cert.get(), 2) == 1 &&
            ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), serial) == 1 &&
            X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600) != nullptr &&
            X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600) != nullptr &&
            X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                                       reinterpret_cast<const unsigned char*>(commonName.c_str()),
                                       -1, -1, 0) == 1 &&
            X509_set_pubkey(cert.get(), key) == 1;
  return ok ? std::move(cert) : nullptr;
}

bool WritePem(const std::string& path, X509* cert, EVP_PKEY* key) {
  BIO* file = BIO_new_file(path.c_str(), "w");
  if (file == nullptr) return false;
  bool ok = cert != nullptr
                ? PEM_write_bio_X509(file, cert) == 1
                : PEM_write_bio_PrivateKey(file, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
  BIO_free(file);
  return ok;
}

bool IsIpv4(const std::string& name) {
  in_addr address{};
  return inet_pton(AF_INET, name.c_str(), &address) == 1;
}

// A socket bound to 127.0.0.1 on an ephemeral port; -1 on failure.
int BindLoopback(int& port) {
  int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    close(fd);
    return -1;
  }
  port = ntohs(address.sin_port);
  return fd;
}

}  // namespace

TestCertificates::TestCertificates(const std::vector<std::string>& hostNames) {
  char folderTemplate[] = "/tmp/velmora-ca-XXXXXX";
  if (mkdtemp(folderTemplate) == nullptr) return;
  folder_ = folderTemplate;
  caFile_ = folder_ + "/ca.pem";
  certFile_ = folder_ + "/server.pem";
  keyFile_ = folder_ + "/server-key.pem";

  Key caKey(EVP_EC_gen("P-256"));
  Key serverKey(EVP_EC_gen("P-256"));
  if (!caKey || !serverKey) return;
  Cert ca = MakeCert(caKey.get(), "Velmora Throwaway Test CA", 1);
  Cert server = MakeCert(serverKey.get(), hostNames.empty() ? "localhost" : hostNames.front(), 2);
  if (!ca || !server) return;

  std::string altNames;
  for (const std::string& name : hostNames) {
    if (!altNames.empty()) altNames += ',';
    altNames += (IsIpv4(name) ? "IP:" : "DNS:") + name;
  }
  bool ok =
      X509_set_issuer_name(ca.get(), X509_get_subject_name(ca.get())) == 1 &&
      AddExtension(ca.get(), ca.get(), NID_basic_constraints, "critical,CA:TRUE") &&
      AddExtension(ca.get(), ca.get(), NID_key_usage, "critical,keyCertSign,cRLSign") &&
      AddExtension(ca.get(), ca.get(), NID_subject_key_identifier, "hash") &&
      X509_sign(ca.get(), caKey.get(), EVP_sha256()) > 0 &&
      X509_set_issuer_name(server.get(), X509_get_subject_name(ca.get())) == 1 &&
      AddExtension(server.get(), ca.get(), NID_basic_constraints, "critical,CA:FALSE") &&
      AddExtension(server.get(), ca.get(), NID_key_usage,
                   "critical,digitalSignature,keyEncipherment") &&
      AddExtension(server.get(), ca.get(), NID_ext_key_usage, "serverAuth") &&
      AddExtension(server.get(), ca.get(), NID_authority_key_identifier, "keyid") &&
      (altNames.empty() || AddExtension(server.get(), ca.get(), NID_subject_alt_name, altNames)) &&
      X509_sign(server.get(), caKey.get(), EVP_sha256()) > 0;
  ok = ok && WritePem(caFile_, ca.get(), nullptr) && WritePem(certFile_, server.get(), nullptr) &&
       WritePem(keyFile_, nullptr, serverKey.get());
  ok_ = ok;
}

TestCertificates::~TestCertificates() {
  if (folder_.empty()) return;
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
}

LoopbackServer::LoopbackServer() : server_(std::make_unique<httplib::Server>()) {}

LoopbackServer::LoopbackServer(const TestCertificates& certs)
    : server_(std::make_unique<httplib::SSLServer>(certs.certFile().c_str(),
                                                   certs.keyFile().c_str())) {}

LoopbackServer::~LoopbackServer() { Stop(); }

bool LoopbackServer::Start() {
  if (!server_->is_valid()) return false;
  // Without it the answer's second small write waits for the client's delayed ACK.
  server_->set_tcp_nodelay(true);
  server_->set_keep_alive_timeout(kKeepAliveLimit.count());
  server_->set_read_timeout(kClientSilenceLimit.count());
  server_->set_write_timeout(kClientSilenceLimit.count());
  port_ = server_->bind_to_any_port("127.0.0.1");
  if (port_ <= 0) return false;
  thread_ = std::thread([this] { server_->listen_after_bind(); });
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while (!server_->is_running()) {
    if (std::chrono::steady_clock::now() > deadline) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool LoopbackServer::Pause(std::chrono::milliseconds duration) {
  std::unique_lock guard(lock_);
  return !stopping_.wait_for(guard, duration, [this] { return stopRequested_; });
}

void LoopbackServer::Stop() {
  {
    std::lock_guard guard(lock_);
    stopRequested_ = true;
  }
  stopping_.notify_all();
  server_->stop();
  if (thread_.joinable()) thread_.join();
}

RawServer::RawServer(Responder responder) : responder_(std::move(responder)) {}

RawServer::~RawServer() { Stop(); }

bool RawServer::Start() {
  listener_ = BindLoopback(port_);
  if (listener_ < 0 || listen(listener_, 16) != 0) return false;
  thread_ = std::thread([this] { Serve(); });
  return true;
}

std::vector<std::string> RawServer::requests() {
  std::lock_guard guard(lock_);
  return requests_;
}

void RawServer::Stop() {
  stop_ = true;
  if (thread_.joinable()) thread_.join();
  if (listener_ >= 0) close(listener_);
  listener_ = -1;
}

void RawServer::Serve() {
  while (!stop_) {
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, kPollStepMs) <= 0) continue;
    int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0) continue;
    Handle(connection);
    close(connection);
  }
}

void RawServer::Handle(int connection) {
  std::string request;
  std::size_t wanted = std::string::npos;
  auto deadline = std::chrono::steady_clock::now() + kClientSilenceLimit;
  while (!stop_ && request.size() < kMaxRawRequestBytes &&
         std::chrono::steady_clock::now() < deadline) {
    if (wanted != std::string::npos && request.size() >= wanted) break;
    pollfd reading{connection, POLLIN, 0};
    if (poll(&reading, 1, kPollStepMs) <= 0) continue;
    char buffer[4096];
    ssize_t got = recv(connection, buffer, sizeof buffer, 0);
    if (got <= 0) break;
    request.append(buffer, static_cast<std::size_t>(got));
    std::size_t headEnd = request.find("\r\n\r\n");
    if (wanted == std::string::npos && headEnd != std::string::npos) {
      std::size_t bodyLength = 0;
      std::string head = request.substr(0, headEnd);
      for (char& c : head) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      if (std::size_t field = head.find("\r\ncontent-length:"); field != std::string::npos) {
        bodyLength = std::strtoul(head.c_str() + field + 17, nullptr, 10);
      }
      wanted = headEnd + 4 + bodyLength;
    }
  }
  {
    std::lock_guard guard(lock_);
    requests_.push_back(request);
  }
  RawReply reply = responder_(request);
  std::size_t sent = 0;
  while (sent < reply.bytes.size()) {
    ssize_t put =
        send(connection, reply.bytes.data() + sent, reply.bytes.size() - sent, MSG_NOSIGNAL);
    if (put <= 0) break;
    sent += static_cast<std::size_t>(put);
  }
  auto now = std::chrono::steady_clock::now();
  auto holdUntil = now + reply.holdOpen;
  auto nextDrip = now + reply.dripEvery;
  // Holding ends early once the client has given up and closed its end.
  while (!stop_ && std::chrono::steady_clock::now() < holdUntil) {
    if (reply.dripEvery.count() > 0 && std::chrono::steady_clock::now() >= nextDrip) {
      if (send(connection, ".", 1, MSG_NOSIGNAL) != 1) break;
      nextDrip += reply.dripEvery;
    }
    pollfd watching{connection, POLLIN, 0};
    if (poll(&watching, 1, kPollStepMs) <= 0) continue;
    char ignored[512];
    if (recv(connection, ignored, sizeof ignored, 0) <= 0) break;
  }
}

ScopedTransport::ScopedTransport(const std::string& caFile, const std::vector<Route>& routes,
                                 platform::TransportSetting extra) {
  extra.caFile = caFile;
  for (const Route& route : routes) {
    extra.connectTo.push_back(platform::LoopbackRoute(route.host, route.port, route.localPort));
  }
  platform::SetTestTransport(std::move(extra));
}

ScopedTransport::~ScopedTransport() { platform::ClearTestTransport(); }

int UnusedPort() {
  int port = 0;
  int fd = BindLoopback(port);
  if (fd < 0) return 0;
  close(fd);
  return port;
}

}  // namespace velmora::test
