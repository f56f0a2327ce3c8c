// Pictures from a real web server: nginx serving a folder on loopback over
// http and https, with the types it announces on its own.
#include <sys/stat.h>

#include <string>

#include <gtest/gtest.h>

#include "common/nginx_server.h"
#include "common/temp_dir.h"
#include "document/image_test_server.h"
#include "image/imgfilter.h"

namespace {

using imagetest::build;
using imagetest::Built;
using tessel_testing::TempDir;

class NginxPictures : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(nginx.error(), "");
    ::mkdir((nginx.root() + "/docs").c_str(), 0755);
    imagetest::write_file(nginx.root() + "/docs/photo.jpg", jpeg);
    imagetest::write_file(nginx.root() + "/docs/logo.png", imagetest::picture_bytes(IMF_FMT_PNG, 5, 5));
    imagetest::write_file(nginx.root() + "/docs/anim.gif", "GIF89a");
  }

  tessel_testing::NoSystemProxy direct;
  tessel_testing::NginxServer nginx;
  TempDir temp;
  const std::string jpeg = imagetest::picture_bytes(IMF_FMT_JPEG, 64, 48);
};

// nginx has a self-signed certificate: the https picture comes only with
// the certificate check turned off, as the host's tlsverify=false does.
TEST_F(NginxPictures, JpegByRelativeNameAndByHttpsAddress) {
  const std::string base = nginx.http_url("/docs/");
  const std::string html = "<img src=photo.jpg width=32><img src=\"" + nginx.https_url("/docs/photo.jpg") + "\">";
  {
    Built b = build(html, base.c_str(), temp.path().c_str(), "Cookie: a=b\r\n", pdoc_fetch_settings{0, 30});
    ASSERT_EQ(b.images().size(), 2u);
    for (pdoc_element* e : b.images()) {
      ASSERT_TRUE(e->image.src) << b.printed;
      EXPECT_EQ(imagetest::read_file(e->image.src), jpeg);
    }
    EXPECT_EQ(b.image(0)->image.height, 24);
    EXPECT_EQ(b.image(1)->image.width, 64);
    EXPECT_EQ(b.image(1)->image.height, 48);
    EXPECT_EQ(b.printed, "");
  }
  EXPECT_TRUE(temp.entries().empty());
}

TEST_F(NginxPictures, TypesTheServerDoesNotAnnounceAsPicturesAreDropped) {
  const std::string base = nginx.http_url("/docs/");
  Built b = build("<img src=anim.gif><img src=logo.png><img src=absent.png>", base.c_str(), temp.path().c_str());
  ASSERT_EQ(b.images().size(), 3u);
  EXPECT_EQ(b.image(0)->image.src, nullptr);
  // Without a types table of its own nginx sends PNG files as text/plain.
  EXPECT_EQ(b.image(1)->image.src, nullptr);
  ASSERT_TRUE(b.image(2)->image.src);
  EXPECT_EQ(std::string(b.image(2)->image.src), base + "absent.png");
  EXPECT_NE(b.printed.find("Content-Type: image/gif\nUnsupported Image Format\n"), std::string::npos) << b.printed;
  EXPECT_NE(b.printed.find("Content-Type: text/plain\nUnsupported Image Format\n"), std::string::npos) << b.printed;
  EXPECT_NE(b.printed.find("Received Status Code: 404\n"), std::string::npos) << b.printed;
  EXPECT_TRUE(temp.entries().empty());
}

}  // namespace
