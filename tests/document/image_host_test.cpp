// A whole run of the tessel host on a document with every kind of picture
// source leaves nothing behind in the temporary directory.
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include <gtest/gtest.h>

#include "common/http_fixture.h"
#include "common/temp_dir.h"
#include "document/image_test_server.h"
#include "image/imgfilter.h"
#include "support/qelbase64.h"

namespace {

using tessel_testing::TempDir;

std::string run(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  size_t n;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) output.append(buffer, n);
  *status = pclose(pipe);
  return output;
}

TEST(HostRun, LeavesNoPictureFilesInTheTemporaryDirectory) {
  const std::string host = std::string(TESSEL_BINARY_DIR) + "/apps/tessel";
  ASSERT_EQ(access(host.c_str(), X_OK), 0) << host << " is missing; build the tessel target";
  tessel_testing::NoSystemProxy direct;  // also for the host, which inherits it
  TempDir site;
  TempDir temp;
  imagetest::write_file(site.file("logo.png"), imagetest::picture_bytes(IMF_FMT_PNG, 40, 20));
  imagetest::write_file(site.file("photo.jpg"), imagetest::picture_bytes(IMF_FMT_JPEG, 16, 16));
  imagetest::write_file(site.file("anim.gif"), "GIF89a");
  char* inline_png = nullptr;
  const std::string png = imagetest::picture_bytes(IMF_FMT_PNG, 8, 8);
  ASSERT_GE(QELBase64EncodeLines(png.data(), png.size(), &inline_png), 0);
  imagetest::write_file(site.file("doc.html"),
                        "<html><body><img src=logo.png width=80><img src=photo.jpg><img src=anim.gif>"
                        "<img src=gone.png><img embed-encoding>" +
                            std::string(inline_png) + "</img><img embed-encoding>@@@@</img>Text</body></html>");
  free(inline_png);

  int status = -1;
  const std::string output =
      run("TMPDIR='" + temp.path() + "' '" + host + "' --src '" + site.file("doc.html") + "' dump", &status);
  ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << output;
  // The pictures were there while the document lived.
  EXPECT_NE(output.find("IMG width=80 height=40 "), std::string::npos) << output;
  EXPECT_NE(output.find("IMG width=16 height=16 "), std::string::npos) << output;
  EXPECT_NE(output.find("IMG width=8 height=8 "), std::string::npos) << output;
  EXPECT_EQ(temp.entries(), std::vector<std::string>{});
}

}  // namespace
