// The client against real peers on loopback: nginx over http and https
// (self-signed certificate), tinyproxy for plain proxying and CONNECT
// tunnels, and a scripted CONNECT relay for proxies that answer in 1.1.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "common/connect_relay.h"
#include "common/http_fixture.h"
#include "common/nginx_server.h"
#include "common/tinyproxy_server.h"

namespace {

using tessel_testing::NginxServer;
using tessel_testing::TinyproxyServer;

// FNV-1a over a file, with its size: equal files give equal sums.
std::pair<uint64_t, long long> checksum(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<char> block(1 << 16);
  uint64_t hash = 1469598103934665603ull;
  long long size = 0;
  while (in.read(block.data(), static_cast<std::streamsize>(block.size())) || in.gcount() > 0) {
    for (std::streamsize i = 0; i < in.gcount(); ++i)
      hash = (hash ^ static_cast<unsigned char>(block[i])) * 1099511628211ull;
    size += in.gcount();
  }
  return {hash, size};
}

class HttpPeersTest : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_EQ(nginx_.error(), "") << "the real-peer tests need nginx"; }

  QELHTTPPtr get(const std::string& url, int version = 0) {
    QELHTTPPtr http(QELHTTPCreate());
    QELHTTPEnableSSL(http.get());
    QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, url.c_str());
    QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_METHOD, QELHTTP_GET);
    QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_VERSION, version);
    QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_READ_TIMEOUT, 5);
    QELHTTPSetOption(http.get(), QELHTTP_OPT_OUTPUT_FILE, out().c_str());
    return http;
  }
  std::string out() const { return dir_.file("out.bin"); }
  std::string served(const std::string& name, long long size) {
    return tessel_testing::make_pattern_file(nginx_.root() + "/" + name, size);
  }

  tessel_testing::NoSystemProxy no_proxy_;
  tessel_testing::TempDir dir_;
  NginxServer nginx_;
};

TEST_F(HttpPeersTest, FiftyMegabytesOverHttpArriveIntact) {
  const std::string source = served("big.bin", 50ll << 20);
  QELHTTPPtr http = get(nginx_.http_url("/big.bin"), 1);
  EXPECT_EQ(QELHTTPExecute(http.get()), 50 << 20) << QELHTTPError(http.get());
  EXPECT_EQ(checksum(out()), checksum(source));
}

TEST_F(HttpPeersTest, HttpsWithSelfSignedCertificate) {
  const std::string source = served("tls.bin", 3 << 20);
  QELHTTPPtr http = get(nginx_.https_url("/tls.bin"));
  EXPECT_EQ(QELHTTPExecute(http.get()), 3 << 20) << QELHTTPError(http.get());
  EXPECT_EQ(checksum(out()), checksum(source));
}

TEST_F(HttpPeersTest, MissingFileIsANotFound) {
  QELHTTPPtr http = get(nginx_.http_url("/absent.html"));
  EXPECT_EQ(QELHTTPExecute(http.get()), -6);
  EXPECT_EQ(QELHTTPStatusCode(http.get()), 404);
}

TEST_F(HttpPeersTest, ThroughTinyproxyFromTheEnvironment) {
  TinyproxyServer proxy;
  ASSERT_EQ(proxy.error(), "");
  const std::string source = served("via.bin", 200000);
  // The settings store is empty, so the proxy variables describe the proxy.
  setenv("http_proxy", proxy.url().c_str(), 1);
  QELHTTPPtr http = get(nginx_.http_url("/via.bin"));
  const int result = QELHTTPExecute(http.get());
  unsetenv("http_proxy");
  EXPECT_EQ(result, 200000) << QELHTTPError(http.get());
  EXPECT_EQ(checksum(out()), checksum(source));
  char text[256];
  ASSERT_NE(QELHTTPProxyText(http.get(), text, sizeof text), nullptr);
  EXPECT_EQ(std::string(text), "http://127.0.0.1:" + std::to_string(proxy.port()) + "/");
  EXPECT_NE(proxy.log().find("via.bin"), std::string::npos);
}

TEST_F(HttpPeersTest, HttpsThroughATinyproxyTunnel) {
  TinyproxyServer proxy;
  ASSERT_EQ(proxy.error(), "");
  const std::string source = served("tunnel.bin", 300000);
  QELHTTPPtr http = get(nginx_.https_url("/tunnel.bin"));
  QELHTTPSetOption(http.get(), QELHTTP_OPT_PROXY, proxy.url().c_str());
  EXPECT_EQ(QELHTTPExecute(http.get()), 300000) << QELHTTPError(http.get());
  EXPECT_EQ(checksum(out()), checksum(source));
  EXPECT_NE(proxy.log().find("CONNECT"), std::string::npos);
}

TEST_F(HttpPeersTest, TunnelRepliesInEitherVersionAndOverSeveralReads) {
  const std::string source = served("relay.bin", 5000);
  for (const char* status : {"HTTP/1.1 200 Connection established\r\n", "HTTP/1.0 200 OK\r\n"}) {
    tessel_testing::ConnectRelay relay(status);
    QELHTTPPtr http = get(nginx_.https_url("/relay.bin"));
    QELHTTPSetOption(http.get(), QELHTTP_OPT_PROXY, relay.url().c_str());
    EXPECT_EQ(QELHTTPExecute(http.get()), 5000) << status << QELHTTPError(http.get());
    EXPECT_EQ(relay.request(), "CONNECT 127.0.0.1:" + std::to_string(nginx_.https_port()) + " HTTP/1.0\r\n\r\n");
  }
}

TEST_F(HttpPeersTest, RefusedOrUnsupportedTunnels) {
  tessel_testing::ConnectRelay refusing("HTTP/1.1 403 Forbidden\r\n");
  QELHTTPPtr http = get(nginx_.https_url("/x"));
  QELHTTPSetOption(http.get(), QELHTTP_OPT_PROXY, refusing.url().c_str());
  EXPECT_EQ(QELHTTPExecute(http.get()), -13);

  QELHTTPPtr plain(QELHTTPCreate());  // no TLS installer
  QELHTTPSetOption(plain.get(), QELHTTP_OPT_URL, nginx_.https_url("/x").c_str());
  QELHTTPSetOption(plain.get(), QELHTTP_OPT_PROXY, refusing.url().c_str());
  QELHTTPSetOptionInt(plain.get(), QELHTTP_OPT_METHOD, QELHTTP_GET);
  EXPECT_EQ(QELHTTPExecute(plain.get()), -14);
}

}  // namespace
