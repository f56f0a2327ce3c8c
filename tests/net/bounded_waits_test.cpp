// Hostile peers against the client: every wait ends within the time-out
// (connect, handshake, head, stalled body, unread request), a head cannot
// grow without bound, and a body shorter than announced is no success.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <memory>
#include <string>
#include <vector>

#include "common/hostile_peer.h"
#include "common/http_fixture.h"
#include "common/loopback_http_server.h"
#include "common/tls_fixtures.h"
#include "net/qelhttp.h"
#include "net/qelsockssl.h"

namespace {

using tessel_testing::Hostile;
using tessel_testing::HostilePeer;
using tessel_testing::LoopbackHttpServer;
using Clock = std::chrono::steady_clock;

struct Outcome {
  int result = 0;
  double seconds = 0;
  std::string socket_error;
};

// A GET with every wait limited to timeout seconds.
Outcome get(const std::string& url, int timeout, const std::string& output = "") {
  QELHTTPPtr http(QELHTTPCreate());
  QELHTTPEnableSSL(http.get());
  QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, url.c_str());
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_METHOD, QELHTTP_GET);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_READ_TIMEOUT, timeout);
  if (!output.empty()) QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, output.c_str());
  const auto start = Clock::now();
  Outcome outcome;
  outcome.result = QELHTTPExecute(http.get());
  outcome.seconds = std::chrono::duration<double>(Clock::now() - start).count();
  outcome.socket_error = QELTCPSocketError(QELHTTPSocket(http.get()));
  return outcome;
}

struct Stall {
  Hostile mode;
  int result;
  const char* name;
};

class StalledPeer : public ::testing::TestWithParam<Stall> {
 protected:
  tessel_testing::NoSystemProxy no_proxy_;
};

// One second of time-out: the peer holds on far longer, the transfer not.
// Trickled lines (of a head, or blank ones where a chunk size is due) are
// no progress and do not extend it.
TEST_P(StalledPeer, EndsWithinTheTimeOut) {
  HostilePeer peer(GetParam().mode);
  const Outcome outcome = get(peer.url("/doc"), 1);
  EXPECT_EQ(outcome.result, GetParam().result) << outcome.socket_error;
  EXPECT_GT(outcome.seconds, 0.8);
  EXPECT_LT(outcome.seconds, 2.5);
}

INSTANTIATE_TEST_SUITE_P(Hostile, StalledPeer,
                         ::testing::Values(Stall{Hostile::SilentAfterAccept, -9, "SilentAfterAccept"},
                                           Stall{Hostile::FullAcceptQueue, -7, "FullAcceptQueue"},
                                           Stall{Hostile::TrickleHead, -9, "TrickleHead"},
                                           Stall{Hostile::StallMidBody, -10, "StallMidBody"},
                                           Stall{Hostile::TrickleChunkLines, -10, "TrickleChunkLines"},
                                           Stall{Hostile::HalfServerHello, -7, "HalfServerHello"}),
                         [](const ::testing::TestParamInfo<Stall>& info) { return std::string(info.param.name); });

TEST(BoundedWaits, ConnectAndHandshakeTimeOutsSayWhy) {
  tessel_testing::NoSystemProxy no_proxy;
  HostilePeer queue(Hostile::FullAcceptQueue);
  EXPECT_EQ(get(queue.url(), 1).socket_error,
            "Couldn't Connect To Socket [WSA error " + std::to_string(ETIMEDOUT) + "]");
  HostilePeer hello(Hostile::HalfServerHello);
  EXPECT_NE(get(hello.url(), 1).socket_error.find("did not finish in time"), std::string::npos);
}

// Header lines as fast as they can be read: the head's size ends it long
// before the time-out would.
TEST(BoundedWaits, EndlessHeadEndsAtItsSizeLimit) {
  tessel_testing::NoSystemProxy no_proxy;
  HostilePeer peer(Hostile::EndlessHeaders);
  const Outcome outcome = get(peer.url(), 10);
  EXPECT_EQ(outcome.result, -9);
  EXPECT_LT(outcome.seconds, 3);
}

// Our own TLS server side: a client that stops half way through its hello
// costs the accepted socket's time-out.
TEST(BoundedWaits, TlsAcceptOfAHalfHelloTimesOut) {
  tessel_testing::TestCertificates certificates;
  const tessel_testing::CertificateFiles files = certificates.self_signed("server", "127.0.0.1");
  QELSOCKSSLCTXPtr context(QELSockSSLCtxCreate(QELSSL_VERSION_FLEXIBLE));
  ASSERT_TRUE(context);
  QELSockSSLCtxSetChainFile(context.get(), files.certificate.c_str());
  QELSockSSLCtxSetKeyFile(context.get(), files.key.c_str());
  QELTCPSocketPtr listener(QELTCPSocketCreate());
  const std::string port = tessel_testing::unused_loopback_port();
  ASSERT_EQ(QELTCPSocketListen(listener.get(), "127.0.0.1", port.c_str(), 4), 0);
  const int client = tessel_testing::connect_with_half_client_hello(std::stoi(port));
  QELTCPSocketPtr accepted(QELTCPSocketAccept(listener.get()));
  ASSERT_TRUE(accepted);
  QELTCPSocketSetTimeout(accepted.get(), 1);
  const auto start = Clock::now();
  EXPECT_LE(QELTCPSocketAcceptTLS(accepted.get(), context.get()), 0);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));
  EXPECT_NE(std::string(QELTCPSocketError(accepted.get())).find("did not finish in time"), std::string::npos);
  ::close(client);
}

// A peer that never reads: the request cannot be written, and the write
// gives up after the time-out instead of blocking for good.
TEST(BoundedWaits, UnreadRequestBodyFailsAfterTheTimeOut) {
  tessel_testing::NoSystemProxy no_proxy;
  HostilePeer peer(Hostile::SilentAfterAccept);
  const std::string data(64 << 20, 'u');
  const QELHTTPUpload upload{data.data(), static_cast<int32_t>(data.size()), "application/octet-stream"};
  QELHTTPPtr http(QELHTTPCreate());
  QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, peer.url("/upload").c_str());
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_METHOD, QELHTTP_POST);
  QELHTTPSetOption(http.get(), QELHTTP_OPT_UPLOAD, &upload);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_READ_TIMEOUT, 1);
  const auto start = Clock::now();
  EXPECT_EQ(QELHTTPExecute(http.get()), -3);
  EXPECT_LT(Clock::now() - start, std::chrono::milliseconds(2500));
}

class AnnouncedLength : public ::testing::Test {
 protected:
  tessel_testing::NoSystemProxy no_proxy_;
  tessel_testing::TempDir dir_;
  std::string out() const { return dir_.file("out.bin"); }
};

TEST_F(AnnouncedLength, AShorterBodyIsAReadError) {
  HostilePeer peer(Hostile::ShortBody);
  const Outcome outcome = get(peer.url(), 2, out());
  EXPECT_EQ(outcome.result, -10);
  EXPECT_EQ(tessel_testing::read_file(out()), tessel_testing::short_body());
}

// The body ends where its length says: what follows is not part of it, and
// a server that keeps the connection open is not waited for.
TEST_F(AnnouncedLength, TheBodyEndsAtItsLength) {
  LoopbackHttpServer server({{"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello and more", false, 3000}});
  const Outcome outcome = get(server.url(), 2, out());
  EXPECT_EQ(outcome.result, 5);
  EXPECT_LT(outcome.seconds, 1.5);
  EXPECT_EQ(tessel_testing::read_file(out()), "hello");
}

TEST_F(AnnouncedLength, LengthsThatCannotBeTrustedFailTheHead) {
  for (const char* head :
       {"Content-Length: 12abc\r\n", "Content-Length: -1\r\n", "Content-Length:\r\n",
        "Content-Length: 99999999999999999999999\r\n", "Content-Length: 4\r\nContent-Length: 5\r\n"}) {
    LoopbackHttpServer server({{std::string("HTTP/1.0 200 OK\r\n") + head + "\r\nbody", true, 0}});
    EXPECT_EQ(get(server.url(), 2).result, -9) << head;
  }
  // The same length twice is one length; chunks override a length.
  LoopbackHttpServer twice({{"HTTP/1.0 200 OK\r\nContent-Length: 4\r\ncontent-length: 4\r\n\r\nbody", true, 0}});
  EXPECT_EQ(get(twice.url(), 2).result, 4);
  LoopbackHttpServer chunked(
      {{"HTTP/1.1 200 OK\r\nContent-Length: 99\r\nTransfer-Encoding: chunked\r\n\r\n"
        "3\r\nabc\r\n0\r\n\r\n",
        true, 0}});
  EXPECT_EQ(get(chunked.url(), 2).result, 3);
}

TEST_F(AnnouncedLength, NoBodyFollowsAHeadRequest) {
  LoopbackHttpServer server({{"HTTP/1.0 200 OK\r\nContent-Length: 1000\r\n\r\n", true, 0}});
  QELHTTPPtr http(QELHTTPCreate());
  QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, server.url().c_str());
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_METHOD, QELHTTP_HEAD);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_READ_TIMEOUT, 2);
  EXPECT_EQ(QELHTTPExecute(http.get()), 0);
}

}  // namespace
