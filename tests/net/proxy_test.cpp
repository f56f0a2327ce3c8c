// Proxy lookup from the current user's settings: enable switch, per-protocol
// entries, bypass prefixes; and the fixed texts of the client's result codes.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "net/qelhttp.h"
#include "platform/registry.h"

namespace {

const char* kInternet = "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings";

class SystemProxyTest : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/tessel-proxy-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    dir_ = tmpl;
    setenv("TESSEL_REGISTRY_USER", dir_.c_str(), 1);
    for (const char* v : {"http_proxy", "HTTP_PROXY", "https_proxy", "HTTPS_PROXY", "no_proxy", "NO_PROXY"})
      unsetenv(v);
  }
  void TearDown() override {
    std::filesystem::remove_all(dir_);
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
  std::string dir_;
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
  // Only an https entry: an http transfer takes the whole value.
  store(1, "https=secure:8443", nullptr);
  EXPECT_EQ(lookup(0, "example.org"), "https=secure:8443");
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
  setenv("no_proxy", "localhost,internal", 1);
  EXPECT_EQ(lookup(0, "example.org"), "127.0.0.1:3128");
  EXPECT_EQ(lookup(1, "example.org"), "127.0.0.1:3129");
  EXPECT_EQ(lookup(0, "internal.host"), "<direct>");
  store(0, nullptr, nullptr);  // a stored switch wins over the environment
  EXPECT_EQ(lookup(0, "example.org"), "<direct>");
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
