// Certificate checks through a CONNECT tunnel: the name checked is the one
// of the server at the far end, not of the proxy.
#include <gtest/gtest.h>

#include <string>

#include "common/http_fixture.h"
#include "common/tinyproxy_server.h"
#include "common/tls_fixtures.h"

namespace {

int get_through(const std::string& proxy, int port, const std::string& ca_file, std::string* error) {
  QELHTTPPtr http(QELHTTPCreate());
  QELHTTPEnableSSL(http.get());
  QELSSLSettings settings;
  settings.verify = 1;
  settings.ca_file = ca_file.c_str();
  QELHTTPSetSSLSettings(http.get(), &settings);
  const std::string url = "https://127.0.0.1:" + std::to_string(port) + "/";
  QELHTTPSetOption(http.get(), QELHTTP_OPT_URL, url.c_str());
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_METHOD, QELHTTP_GET);
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_READ_TIMEOUT, 5);
  QELHTTPSetOption(http.get(), QELHTTP_OPT_PROXY, proxy.c_str());
  QELHTTPSetOptionInt(http.get(), QELHTTP_OPT_KEEP_BODY, 1);
  const int result = QELHTTPExecute(http.get());
  char text[2048];
  *error = QELHTTPErrorDescription(http.get(), text, sizeof text);
  return result;
}

TEST(TunnelVerify, FarServerCertificateIsCheckedAgainstItsOwnName) {
  tessel_testing::NoSystemProxy no_proxy;
  tessel_testing::TinyproxyServer proxy;
  ASSERT_EQ(proxy.error(), "");
  tessel_testing::TestCertificates certificates;
  std::string error;

  const auto good = certificates.issue("far", "127.0.0.1", "IP:127.0.0.1");
  tessel_testing::OpenSSLServer far(good, {"-www"});
  EXPECT_GT(get_through(proxy.url(), far.port(), certificates.ca_file(), &error), 0) << error;

  const auto wrong = certificates.issue("elsewhere", "other.example", "DNS:other.example");
  tessel_testing::OpenSSLServer mismatch(wrong, {"-www"});
  EXPECT_LT(get_through(proxy.url(), mismatch.port(), certificates.ca_file(), &error), 0);
  EXPECT_NE(error.find("doesn't match"), std::string::npos) << error;
}

}  // namespace
