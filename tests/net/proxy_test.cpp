// Proxy lookup from the current user's settings and the environment: enable
// switch, per-protocol entries, bypass prefixes and no_proxy; and the fixed texts of the client's result codes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>

#include "common/temp_dir.h"
#include "net/qelhttp_internal.h"
#include "net/qelproxy_bypass.h"
#include "platform/registry.h"

namespace {

const char* kInternet = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

class SystemProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    setenv("TESSEL_REGISTRY_USER", dir_.path().c_str(), 1);
    for (const char* v : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "no_proxy", "NO_PROXY"})
      unsetenv(v);
  }
  void TearDown() override {
    unsetenv("TESSEL_REGISTRY_USER");
    for (const char* v : {"http_proxy", "https_proxy", "no_proxy"}) unsetenv(v);
  }
  void store(uint32_t enable, const char* server, const char* override_list) {
    RegKey* key = nullptr;
    ASSERT_EQ(RegCreateKey(RegRoot::CurrentUser, kInternet, REG_ACCESS_ALL, &key), REG_OK);
    RegSetDword(key, "ProxyEnable", enable);
    if (server) RegSetString(key, "ProxyServer", server);
    if (override_list) RegSetString(key, "ProxyOverride", override_list);
    RegCloseKey(key);
  }
  std::string lookup(int https, const char* host) {
    char buf[1024];
    const char* r = QELHTTPSystemProxy(buf, sizeof buf, https, host);
    return r ? r : "<direct>";
  }
  tessel_testing::TempDir dir_;
};

TEST_F(SystemProxyTest, EnableSwitchAndServerForms) {
  EXPECT_EQ(lookup(0, "example.org"), "<direct>");  // no settings at all
  store(0, "proxy:3128", nullptr);
  EXPECT_EQ(lookup(0, "example.org"), "<direct>");
  store(1, "proxy:3128", nullptr);
  EXPECT_EQ(lookup(0, "example.org"), "proxy:3128");
  EXPECT_EQ(lookup(1, "example.org"), "proxy:3128");
  store(1, "http=plain:80;https=secure:8443", nullptr);
  EXPECT_EQ(lookup(0, "example.org"), "plain:80");
  EXPECT_EQ(lookup(1, "example.org"), "secure:8443");
  // A list without an entry for the scheme sends that scheme direct.
  store(1, "https=secure:8443", nullptr);
  EXPECT_EQ(lookup(0, "example.org"), "<direct>");
  EXPECT_EQ(lookup(1, "example.org"), "secure:8443");
  store(1, "http=plain:80", nullptr);
  EXPECT_EQ(lookup(1, "example.org"), "<direct>");
}

TEST_F(SystemProxyTest, OverrideEntriesArePlainPrefixes) {
  store(1, "proxy:3128", ";intranet;http://10.1.;<local>;*.corp");
  EXPECT_EQ(lookup(0, "intranet.example"), "<direct>");
  EXPECT_EQ(lookup(0, "10.1.2.3"), "<direct>");
  EXPECT_EQ(lookup(0, "localhost"), "proxy:3128");
  EXPECT_EQ(lookup(0, "www.corp"), "proxy:3128");
  EXPECT_EQ(lookup(0, "Intranet"), "proxy:3128");  // exact case
}

TEST_F(SystemProxyTest, EnvironmentFillsAnEmptyStore) {
  setenv("http_proxy", "http://127.0.0.1:3128/", 1);
  setenv("https_proxy", "http://127.0.0.1:3129", 1);
  EXPECT_EQ(lookup(0, "example.org"), "127.0.0.1:3128");
  EXPECT_EQ(lookup(1, "example.org"), "127.0.0.1:3129");
  store(0, nullptr, nullptr);  // a stored switch wins over the environment
  EXPECT_EQ(lookup(0, "example.org"), "<direct>");
}

// Each variable serves its own scheme: with only one of them set, the
// other scheme goes direct instead of through a mangled proxy address.
TEST_F(SystemProxyTest, OneSchemesProxyNeverServesTheOther) {
  setenv("HTTPS_PROXY", "http://127.0.0.1:3129", 1);
  EXPECT_EQ(lookup(1, "example.org"), "127.0.0.1:3129");
  EXPECT_EQ(lookup(0, "example.org"), "<direct>");
  unsetenv("HTTPS_PROXY");
  setenv("http_proxy", "127.0.0.1:3128", 1);
  EXPECT_EQ(lookup(0, "example.org"), "127.0.0.1:3128");
  EXPECT_EQ(lookup(1, "example.org"), "<direct>");
}

TEST_F(SystemProxyTest, NoProxyFollowsTheUsualConventions) {
  setenv("http_proxy", "http://127.0.0.1:3128", 1);
  setenv("no_proxy", " example.com, .internal ,*.corp,10.1.2.3, 192.168.0.0/16 ,[::1]:8080,build:8443", 1);
  struct Case {
    const char* host;
    bool direct;
  } cases[] = {
      {"example.com", true},
      {"www.EXAMPLE.com", true},
      {"example.com.", true},
      {"notexample.com", false},
      {"example.com.evil", false},
      {"internal", true},
      {"a.b.internal", true},
      {"www.corp", true},
      {"corp", true},
      {"10.1.2.3", true},
      {"10.1.2.30", false},
      {"192.168.7.9", true},
      {"192.169.0.1", false},
      {"build", false},  // only on port 8443
      {"other.org", false},
  };
  for (const Case& c : cases) EXPECT_EQ(lookup(0, c.host), c.direct ? "<direct>" : "127.0.0.1:3128") << c.host;
  char buffer[1024];
  EXPECT_EQ(qelhttp::system_proxy(buffer, sizeof buffer, 0, "build", "8443"), nullptr);
  EXPECT_NE(qelhttp::system_proxy(buffer, sizeof buffer, 0, "build", "80"), nullptr);
  EXPECT_FALSE(qelproxy_bypassed("[::1]:8080", "::1", "80"));
  EXPECT_TRUE(qelproxy_bypassed("[::1]:8080", "::1", "8080"));
  EXPECT_TRUE(qelproxy_bypassed("::1", "::1", nullptr));
  EXPECT_FALSE(qelproxy_bypassed("10.0.0.0/40,10.,", "10.1.1.1", nullptr));
  setenv("no_proxy", "*", 1);
  EXPECT_EQ(lookup(0, "anything.at.all"), "<direct>");
}

TEST(HTTPErrorText, TableAndOutOfRange) {
  EXPECT_STREQ(QELHTTPErrorText(0), "No error");
  EXPECT_STREQ(QELHTTPErrorText(-10), "Error reading HTTP data");
  EXPECT_STREQ(QELHTTPErrorText(-17), "No/Invalid url specified for the download");
  EXPECT_STREQ(QELHTTPErrorText(-18), "No/Invalid path specified for the download");
  EXPECT_STREQ(QELHTTPErrorText(-20), "No/Invalid filename specified for download");
  EXPECT_STREQ(QELHTTPErrorText(-25), "System Error: malloc failed!");
  EXPECT_STREQ(QELHTTPErrorText(1), "No error");
  EXPECT_STREQ(QELHTTPErrorText(-26), "No error");
}

}  // namespace
