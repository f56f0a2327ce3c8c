// TLS under the socket object against `openssl s_server` and against our
// own server side: default acceptance, the certificate and host checks,
// context failures, reads of held data, time-outs and the close
// notification.
#include <gtest/gtest.h>
#include <openssl/ssl.h>
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "common/tls_fixtures.h"
#include "net/qelsock.h"
#include "net/qelsockssl_internal.h"

namespace {

using tessel_testing::CertificateFiles;
using tessel_testing::OpenSSLServer;
using tessel_testing::TestCertificates;
using tessel_testing::unused_loopback_port;

struct Statuses {
  std::vector<int> codes;
  static void status(void* self, int code, const char*) { static_cast<Statuses*>(self)->codes.push_back(code); }
};

QELTCPSocketPtr tls_client(Statuses* statuses = nullptr) {
  QELTCPSocketPtr socket(QELTCPSocketCreate());
  QELSockSSLInstall(socket.get());
  QELTCPSocketSetTimeout(socket.get(), 2);
  if (statuses != nullptr) {
    QELTCPSocketSetUserData(socket.get(), statuses);
    QELTCPSocketSetCallbacks(socket.get(), Statuses::status, nullptr);
  }
  return socket;
}

// Reads until n bytes came, the peer ended, or a read failed.
std::string read_some(QELTCPSocket* socket, size_t n, int piece = 4096) {
  std::string got;
  std::vector<char> buffer(static_cast<size_t>(piece));
  while (got.size() < n) {
    int r = QELTCPSocketRead(socket, buffer.data(), piece);
    if (r <= 0) break;
    got.append(buffer.data(), static_cast<size_t>(r));
  }
  return got;
}

// Certificates are made on first use: each test runs in a process of its
// own and needs only one or two of them.
class TLSTest : public ::testing::Test {
 protected:
  static void TearDownTestSuite() {
    delete certificates_;
    certificates_ = nullptr;
  }
  static TestCertificates& certificates() {
    if (certificates_ == nullptr) certificates_ = new TestCertificates();
    return *certificates_;
  }
  static const CertificateFiles& self_signed() {
    static const CertificateFiles files = certificates().self_signed("self", "localhost");
    return files;
  }
  static const CertificateFiles& right() {
    static const CertificateFiles files = certificates().issue("right", "localhost", "DNS:localhost,IP:127.0.0.1");
    return files;
  }
  static std::string ca_file() { return certificates().ca_file(); }

  static TestCertificates* certificates_;
};

TestCertificates* TLSTest::certificates_ = nullptr;

TEST_F(TLSTest, DefaultSettingsAcceptSelfSignedAndExchangeData) {
  OpenSSLServer server(self_signed());
  Statuses statuses;
  QELTCPSocketPtr socket = tls_client(&statuses);
  ASSERT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", server.port_text().c_str(), 1), 0)
      << QELTCPSocketError(socket.get());
  EXPECT_EQ(statuses.codes, (std::vector<int>{0, 1, 2, 3, 4, 5, 6}));
  EXPECT_NE(QELSockSSLGetSSL(socket.get()), nullptr);
  EXPECT_NE(QELSockSSLGetContext(socket.get()), nullptr);

  EXPECT_EQ(QELTCPSocketWrite(socket.get(), "from client\n", 12), 12);
  server.send("from server\n");
  EXPECT_EQ(read_some(socket.get(), 12), "from server\n");
  QELTCPSocketClose(socket.get());
  EXPECT_EQ(QELSockSSLGetSSL(socket.get()), nullptr);
  std::string printed = server.output();
  EXPECT_NE(printed.find("from client"), std::string::npos) << printed;
}

TEST_F(TLSTest, VerifyPassesWithCAFileAndMatchingName) {
  for (const char* host : {"localhost", "127.0.0.1"}) {
    OpenSSLServer server(right());
    QELTCPSocketPtr socket = tls_client();
    QELSockSSLSetVerify(socket.get(), 1);
    QELSockSSLSetCAFile(socket.get(), ca_file().c_str());
    EXPECT_EQ(QELTCPSocketConnect(socket.get(), host, server.port_text().c_str(), 1), 0)
        << host << ": " << QELTCPSocketError(socket.get());
  }
}

TEST_F(TLSTest, CommonNameMatchesIgnoringCase) {
  OpenSSLServer server(certificates().issue("capitals", "LOCALHOST"));
  QELTCPSocketPtr socket = tls_client();
  const std::string ca = ca_file();
  QELSSLSettings settings;
  settings.verify = 1;
  settings.ca_file = ca.c_str();
  QELSockSSLApplySettings(socket.get(), &settings);
  EXPECT_EQ(QELTCPSocketConnect(socket.get(), "localhost", server.port_text().c_str(), 1), 0)
      << QELTCPSocketError(socket.get());
}

TEST_F(TLSTest, WrongNameFailsWithMismatchText) {
  OpenSSLServer server(certificates().issue("wrong", "wrong.example", "DNS:wrong.example"));
  QELTCPSocketPtr socket = tls_client();
  QELSockSSLSetVerify(socket.get(), 1);
  QELSockSSLSetCAFile(socket.get(), ca_file().c_str());
  EXPECT_EQ(QELTCPSocketConnect(socket.get(), "localhost", server.port_text().c_str(), 1), QELSOCK_ERR_SSL_VERIFY);
  EXPECT_EQ(QELTCPSocketErrorCode(socket.get()), QELSOCK_ERR_SSL_VERIFY);
  EXPECT_STREQ(QELTCPSocketError(socket.get()),
               "Name on certificate doesn't match hostname (wrong.example vs localhost)");
}

TEST_F(TLSTest, AlternativeNamesComeBeforeTheCommonName) {
  OpenSSLServer server(certificates().issue("alt", "localhost", "DNS:other.example"));
  QELTCPSocketPtr socket = tls_client();
  QELSockSSLSetVerify(socket.get(), 1);
  QELSockSSLSetCAFile(socket.get(), ca_file().c_str());
  EXPECT_EQ(QELTCPSocketConnect(socket.get(), "localhost", server.port_text().c_str(), 1), QELSOCK_ERR_SSL_VERIFY);
  EXPECT_STREQ(QELTCPSocketError(socket.get()), "Name on certificate doesn't match hostname (localhost vs localhost)");
}

TEST_F(TLSTest, VerifyWithoutLocationsUsesSystemTrust) {
  // The system does not trust our self-signed certificate: the chain check
  // itself fails, not the name.
  OpenSSLServer server(self_signed());
  QELTCPSocketPtr socket = tls_client();
  QELSockSSLSetVerify(socket.get(), 1);
  EXPECT_EQ(QELTCPSocketConnect(socket.get(), "localhost", server.port_text().c_str(), 1), QELSOCK_ERR_SSL_VERIFY);
  EXPECT_EQ(std::string(QELTCPSocketError(socket.get())).rfind("Certificate verification error [", 0), 0u)
      << QELTCPSocketError(socket.get());
}

TEST_F(TLSTest, TunnelledHandshakeHasNoHostToCheck) {
  OpenSSLServer server(right());
  QELTCPSocketPtr socket = tls_client();
  QELSockSSLSetVerify(socket.get(), 1);
  QELSockSSLSetCAFile(socket.get(), ca_file().c_str());
  ASSERT_EQ(QELTCPSocketConnect(socket.get(), "localhost", server.port_text().c_str(), 0), 0);
  EXPECT_EQ(QELTCPSocketStartTLS(socket.get()), QELSOCK_ERR_SSL_VERIFY);
  EXPECT_STREQ(QELTCPSocketError(socket.get()), "Hostname is unknown, can't verify certificate");
}

TEST_F(TLSTest, UnreadableFilesFailBeforeTheHandshake) {
  struct Case {
    std::function<void(QELTCPSocket*)> set;
    std::string text;
  };
  const std::vector<Case> cases = {
      {[](QELTCPSocket* s) { QELSockSSLSetCAFile(s, "/nonexistent/ca.pem"); },
       "Failed to set CA certificates certfile: /nonexistent/ca.pem"},
      {[](QELTCPSocket* s) {
         QELSockSSLSetCAFile(s, "/nonexistent/ca.pem");
         QELSockSSLSetCADir(s, "/nonexistent/dir");
       },
       "Failed to set CA certificates certdir: /nonexistent/dir"},
      {[](QELTCPSocket* s) { QELSockSSLSetChainFile(s, "/nonexistent/chain.pem"); },
       "Failed to set chain_file: /nonexistent/chain.pem"},
      {[](QELTCPSocket* s) { QELSockSSLSetKeyFile(s, "/nonexistent/key.pem"); },
       "Failed to set RSAPrivateKeyfile: /nonexistent/key.pem"},
      {[](QELTCPSocket* s) { QELSockSSLSetVersion(s, QELSSL_VERSION_SSL2); }, "SSL 2.0 is not available"},
      {[](QELTCPSocket* s) { QELSockSSLSetVersion(s, QELSSL_VERSION_SSL3); }, "SSL 3.0 is not available"},
  };
  // Nothing is sent, so a listener that never accepts is peer enough.
  QELTCPSocketPtr listener(QELTCPSocketCreate());
  std::string port = unused_loopback_port();
  ASSERT_EQ(QELTCPSocketListen(listener.get(), "127.0.0.1", port.c_str(), 8), 0);
  for (const Case& c : cases) {
    Statuses statuses;
    QELTCPSocketPtr socket = tls_client(&statuses);
    c.set(socket.get());
    EXPECT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", port.c_str(), 1), QELSOCK_ERR_SSL_SETTINGS);
    EXPECT_EQ(QELTCPSocketError(socket.get()), c.text);
    EXPECT_EQ(statuses.codes.back(), QELSOCK_STATUS_CONNECTED);
    EXPECT_EQ(QELSockSSLGetSSL(socket.get()), nullptr);
  }
}

TEST_F(TLSTest, PinnedTLS10AgainstNewerOnlyServerFailsHandshake) {
  OpenSSLServer server(self_signed(), {"-tls1_2"});
  QELTCPSocketPtr socket = tls_client();
  QELSockSSLSetVersion(socket.get(), QELSSL_VERSION_TLS1);
  EXPECT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", server.port_text().c_str(), 1), QELSOCK_ERR_SSL_CONNECT);
  EXPECT_EQ(std::string(QELTCPSocketError(socket.get())).rfind("SSL connection failed (", 0), 0u)
      << QELTCPSocketError(socket.get());
}

// Our own server side: one TLS connection accepted on a loopback port, its
// script run on the accepted socket, all within a couple of seconds.
class OwnServer {
 public:
  OwnServer(const CertificateFiles& files, std::function<void(QELTCPSocket*, int)> script,
            bool require_client_certificate = false)
      : script_(std::move(script)) {
    context_.reset(QELSockSSLCtxCreate(QELSSL_VERSION_FLEXIBLE));
    QELSockSSLCtxSetChainFile(context_.get(), files.certificate.c_str());
    QELSockSSLCtxSetKeyFile(context_.get(), files.key.c_str());
    QELSockSSLCtxSetVerify(context_.get(), require_client_certificate ? 1 : 0);
    // Only a real close notification reads as the end here.
    SSL_CTX_clear_options(QELSockSSLCtxGetContext(context_.get()), SSL_OP_IGNORE_UNEXPECTED_EOF);
    listener_.reset(QELTCPSocketCreate());
    // A port of 0 would mean a service lookup here, so take a free one.
    for (int attempt = 0; attempt < 5 && listener_->listen_count == 0; ++attempt) {
      port_ = unused_loopback_port();
      QELTCPSocketListen(listener_.get(), "127.0.0.1", port_.c_str(), 2);
    }
    thread_ = std::thread([this] {
      timeval limit{2, 0};
      QELTCPSocketSetOption(listener_.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      QELTCPSocketPtr accepted(QELTCPSocketAccept(listener_.get()));
      if (!accepted) return;
      QELTCPSocketSetOption(accepted.get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
      QELTCPSocketSetOption(accepted.get(), SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
      QELTCPSocketSetTimeout(accepted.get(), 2);
      int result = QELTCPSocketAcceptTLS(accepted.get(), context_.get());
      script_(accepted.get(), result);
    });
  }
  ~OwnServer() { thread_.join(); }
  const std::string& port() const { return port_; }

 private:
  QELSOCKSSLCTXPtr context_;
  QELTCPSocketPtr listener_;
  std::string port_;
  std::function<void(QELTCPSocket*, int)> script_;
  std::thread thread_;
};

TEST_F(TLSTest, OwnServerExchangesAndSeesCloseNotification) {
  int accepted_result = 0;
  std::string request;
  int end_read = -2;
  bool notified = false;
  {
    OwnServer server(right(), [&](QELTCPSocket* s, int result) {
      accepted_result = result;
      if (result != 1) return;
      request = read_some(s, 4);
      QELTCPSocketWrite(s, "pong", 4);
      char rest[16];
      end_read = QELTCPSocketRead(s, rest, sizeof rest);
      notified = (SSL_get_shutdown(QELSockSSLGetSSL(s)) & SSL_RECEIVED_SHUTDOWN) != 0;
    });
    QELTCPSocketPtr socket = tls_client();
    ASSERT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", server.port().c_str(), 1), 0)
        << QELTCPSocketError(socket.get());
    EXPECT_EQ(QELTCPSocketWrite(socket.get(), "ping", 4), 4);
    EXPECT_EQ(read_some(socket.get(), 4), "pong");
    EXPECT_EQ(QELTCPSocketClose(socket.get()), 0);
  }
  EXPECT_EQ(accepted_result, 1);
  EXPECT_EQ(request, "ping");
  EXPECT_EQ(end_read, 0);
  EXPECT_TRUE(notified);
}

TEST_F(TLSTest, HeldDataIsDeliveredWithoutWaiting) {
  // One large record, then silence: small reads must drain what the TLS
  // layer already holds instead of waiting on the quiet descriptor.
  const std::string payload(12000, 'd');
  OwnServer server(right(), [&](QELTCPSocket* s, int result) {
    if (result != 1) return;
    QELTCPSocketWrite(s, payload.data(), static_cast<int>(payload.size()));
    char end[4];
    QELTCPSocketRead(s, end, sizeof end);  // until the client closes
  });
  QELTCPSocketPtr socket = tls_client();
  ASSERT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", server.port().c_str(), 1), 0);
  QELTCPSocketSetTimeout(socket.get(), 1);
  auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(read_some(socket.get(), payload.size(), 100).size(), payload.size());
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(900));
}

TEST_F(TLSTest, ReadTimesOutAndPeerWithoutCertificateIsRefused) {
  {
    OwnServer server(right(), [](QELTCPSocket* s, int) {
      char end[4];
      QELTCPSocketRead(s, end, sizeof end);
    });
    QELTCPSocketPtr socket = tls_client();
    ASSERT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", server.port().c_str(), 1), 0);
    QELTCPSocketSetTimeout(socket.get(), 1);
    char buffer[8];
    EXPECT_EQ(QELTCPSocketRead(socket.get(), buffer, sizeof buffer), -1);
    EXPECT_EQ(QELTCPSocketErrorCode(socket.get()), QELSOCK_ERR_SSL_READ);
  }
  int accepted_result = 1;
  std::string server_text;
  {
    OwnServer server(
        right(),
        [&](QELTCPSocket* s, int result) {
          accepted_result = result;
          server_text = QELTCPSocketError(s);
        },
        true);
    QELTCPSocketPtr socket = tls_client();
    QELTCPSocketConnect(socket.get(), "127.0.0.1", server.port().c_str(), 1);
    char buffer[8];
    QELTCPSocketRead(socket.get(), buffer, sizeof buffer);  // TLS 1.3 reports it here
  }
  EXPECT_LE(accepted_result, 0);
  EXPECT_EQ(server_text.rfind("SSL connection failed (", 0), 0u) << server_text;
}

TEST_F(TLSTest, ServerContextEdges) {
  EXPECT_EQ(QELSockSSLCtxCreate(QELSSL_VERSION_SSL2), nullptr);
  EXPECT_EQ(QELSockSSLCtxCreate(QELSSL_VERSION_SSL3), nullptr);
  EXPECT_EQ(QELSockSSLCtxSetVerify(nullptr, 1), -1);
  EXPECT_EQ(QELSockSSLCtxSetChainFile(nullptr, "x"), -1);
  QELSOCKSSLCTXPtr context(QELSockSSLCtxCreate(0));
  ASSERT_NE(context, nullptr);
  EXPECT_EQ(context->accept, QELSockSSLAccept);
  EXPECT_EQ(QELSockSSLCtxSetCALocations(context.get(), "/nonexistent/ca.pem", nullptr), -1);
  EXPECT_EQ(QELSockSSLCtxSetCALocations(context.get(), ca_file().c_str(), nullptr), 0);
  EXPECT_EQ(QELSockSSLCtxSetChainFile(context.get(), "/nonexistent"), 0);  // result ignored

  QELTCPSocketPtr socket(QELTCPSocketCreate());
  EXPECT_EQ(QELSockSSLAccept(socket.get(), nullptr), 0);
  EXPECT_STREQ(QELTCPSocketError(socket.get()), "Need an QELSOCKSSLCTX object");
}

TEST_F(TLSTest, WriteToVanishedPeerFailsWithoutSignal) {
  OwnServer server(right(), [](QELTCPSocket* s, int) {
    linger abort_on_close{1, 0};
    QELTCPSocketSetOption(s, SOL_SOCKET, SO_LINGER, &abort_on_close, sizeof abort_on_close);
    QELTCPSocketClose(s);
  });
  QELTCPSocketPtr socket = tls_client();
  ASSERT_EQ(QELTCPSocketConnect(socket.get(), "127.0.0.1", server.port().c_str(), 1), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  std::string block(16384, 'w');
  int result = 0;
  for (int i = 0; i < 50 && result != -1; ++i)
    result = QELTCPSocketWrite(socket.get(), block.data(), static_cast<int>(block.size()));
  EXPECT_EQ(result, -1);
  EXPECT_EQ(QELTCPSocketErrorCode(socket.get()), QELSOCK_ERR_SSL_WRITE);
}

}  // namespace
