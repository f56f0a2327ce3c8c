// Files as answers: the bridge's own pages name their charset, documents
// and pictures go out as they are, and a file that is not there is a 404.
#include "bridge/http_files.h"

#include <gtest/gtest.h>

#include "common/http_fixture.h"

namespace {

TEST(HttpFiles, TextTypesAloneNameTheCharset) {
  EXPECT_EQ(http_content_type("/web/demo.html", "utf-8"), "text/html; charset=utf-8");
  EXPECT_EQ(http_content_type("/web/tessel.js", "utf-8"), "text/javascript; charset=utf-8");
  EXPECT_EQ(http_content_type("/web/logo.png", "utf-8"), "image/png");
  EXPECT_EQ(http_content_type("/docs/report.htm"), "text/html");
  EXPECT_EQ(http_content_type("/docs.d/README"), "application/octet-stream");
  EXPECT_EQ(http_content_type("/docs/photo.JPG"), "application/octet-stream");
}

TEST(HttpFiles, AnswersTheWholeFileOrWhyNot) {
  tessel_testing::TempDir dir;
  const std::string bytes("GIF89a\0\x01\xFF", 9);
  tessel_testing::write_file(dir.file("a.gif"), bytes);
  const HttpResponse found = http_file_response(dir.file("a.gif"));
  EXPECT_EQ(found.status, 200);
  EXPECT_EQ(found.body, bytes);
  EXPECT_EQ(found.content_type, "image/gif");
  EXPECT_EQ(http_file_response(dir.file("none.gif")).status, 404);
  EXPECT_EQ(http_file_response(dir.path()).status, 500) << "a folder opens but cannot be read";
}

}  // namespace
