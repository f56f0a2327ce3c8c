// Picture downloads against servers that must not be trusted or waited for:
// the certificate is checked as the document's is, the session goes only
// over a verified connection, every wait has the time-out, and names are
// escaped on the wire.
#include <stdlib.h>

#include <chrono>
#include <string>

#include <gtest/gtest.h>

#include "common/hostile_peer.h"
#include "common/http_fixture.h"
#include "common/temp_dir.h"
#include "common/tls_fixtures.h"
#include "document/image_test_server.h"
#include "image/imgfilter.h"

namespace {

using imagetest::Answer;
using imagetest::build;
using imagetest::Built;
using tessel_testing::Hostile;
using tessel_testing::HostilePeer;
using tessel_testing::TempDir;

const char* kCookie = "Cookie: SESSION\r\n";

std::string png_answer(const std::string& png) {
  return "HTTP/1.0 200 OK\r\nContent-Type: image/png\r\nContent-Length: " + std::to_string(png.size()) + "\r\n\r\n" +
         png;
}

class PictureGuards : public testing::Test {
 protected:
  // A picture named relative to a document from base, with the session.
  Built fetch(const std::string& base, const pdoc_fetch_settings& settings) {
    return build("<img src=pic.png>", base.c_str(), temp.path().c_str(), kCookie, settings);
  }

  tessel_testing::NoSystemProxy direct;
  TempDir temp;
  const std::string png = imagetest::picture_bytes(IMF_FMT_PNG, 6, 3);
};

// The server of the document's own address answers with a certificate for
// another name: with the check on, the handshake fails before any request.
TEST_F(PictureGuards, TheSessionNeverGoesOverAnUnverifiedConnection) {
  {
    HostilePeer peer(Hostile::WrongName);
    Built b = fetch(peer.url("/docs/"), pdoc_fetch_settings{1, 5});
    ASSERT_TRUE(b.image() && b.image()->image.src);
    EXPECT_EQ(std::string(b.image()->image.src), peer.url("/docs/pic.png"));
    EXPECT_NE(b.printed.find("QELHTTPExecute Returned (-7)"), std::string::npos) << b.printed;
    EXPECT_EQ(peer.requests().at(0).find("Cookie"), std::string::npos) << peer.requests().at(0);
  }
  // With the check turned off the picture, and the session, go as before.
  HostilePeer peer(Hostile::WrongName);
  peer.reply(png_answer(png));
  Built b = fetch(peer.url("/docs/"), pdoc_fetch_settings{0, 5});
  ASSERT_TRUE(b.image() && b.image()->image.src) << b.printed;
  EXPECT_EQ(b.image()->image.width, 6);
  EXPECT_NE(peer.requests().at(0).find(kCookie), std::string::npos);
  EXPECT_TRUE(temp.entries().size() == 1u);
}

// A certificate the system trusts, for the address asked for, passes.
TEST_F(PictureGuards, ATrustedCertificatePasses) {
  tessel_testing::TestCertificates certificates;
  setenv("SSL_CERT_FILE", certificates.ca_file().c_str(), 1);
  tessel_testing::OpenSSLServer server(certificates.issue("pictures", "127.0.0.1", "IP:127.0.0.1"));
  server.send(png_answer(png));
  Built b = fetch("https://127.0.0.1:" + server.port_text() + "/docs/", pdoc_fetch_settings{1, 5});
  unsetenv("SSL_CERT_FILE");
  ASSERT_TRUE(b.image() && b.image()->image.src) << b.printed;
  EXPECT_EQ(b.image()->image.height, 3);
  EXPECT_NE(server.output().find("GET /docs/pic.png HTTP/1.0\r\n"), std::string::npos);
}

// A picture server that stops sending costs the time-out, not minutes.
TEST_F(PictureGuards, AStalledPictureCostsTheTimeOut) {
  HostilePeer peer(Hostile::StallMidBody);
  const auto start = std::chrono::steady_clock::now();
  Built b = build("<img src=\"" + peer.url("/pic.png") + "\">", nullptr, temp.path().c_str(), nullptr,
                  pdoc_fetch_settings{1, 1});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2500));
  EXPECT_NE(b.printed.find("QELHTTPExecute Returned (-10)"), std::string::npos) << b.printed;
  EXPECT_TRUE(temp.entries().empty());
}

TEST_F(PictureGuards, NamesWithSpacesAreEscapedOnTheWire) {
  imagetest::PictureServer server;
  server.answer("/docs/a%20b.png", Answer{"200 OK", "image/png", png});
  Built b = build("<img src=\"a b.png\">", server.url("/docs/").c_str(), temp.path().c_str());
  ASSERT_TRUE(b.image() && b.image()->image.src) << b.printed;
  EXPECT_EQ(b.image()->image.width, 6);
}

}  // namespace
