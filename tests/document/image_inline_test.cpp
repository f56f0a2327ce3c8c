// Pictures inside the document as base64 text, and local pictures named
// relative to a base folder: where their files go and that the tree
// removes exactly the files it made.
#include <unistd.h>

#include <cstdlib>
#include <string>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "document/image_test_server.h"
#include "image/imgfilter.h"
#include "support/qelbase64.h"

namespace {

using imagetest::build;
using imagetest::Built;
using tessel_testing::TempDir;

std::string base64_lines(const std::string& bytes) {
  char* text = nullptr;
  EXPECT_GE(QELBase64EncodeLines(bytes.data(), bytes.size(), &text), 0);
  std::string lines = text ? text : "";
  free(text);
  return lines;
}

bool exists(const std::string& path) { return access(path.c_str(), F_OK) == 0; }

class InlinePicture : public testing::Test {
 protected:
  const std::string png = imagetest::picture_bytes(IMF_FMT_PNG, 30, 10);
  TempDir temp;
};

TEST_F(InlinePicture, IsDecodedIntoATemporaryFileRemovedWithTheTree) {
  std::string decoded_path;
  {
    Built b = build("<body>before<img embed-encoding width=60>\n" + base64_lines(png) + "</img>after</body>", nullptr,
                    temp.path().c_str());
    pdoc_element* e = b.image();
    ASSERT_TRUE(e && e->image.src);
    decoded_path = e->image.src;
    EXPECT_EQ(decoded_path.rfind(temp.path() + "/", 0), 0u) << decoded_path;
    EXPECT_EQ(decoded_path.substr(decoded_path.size() - 4), ".png");
    EXPECT_EQ(imagetest::read_file(decoded_path), png);
    EXPECT_EQ(e->image.temp_file, 1);
    EXPECT_EQ(e->image.side_file, nullptr);
    EXPECT_EQ(e->image.width, 60);
    EXPECT_EQ(e->image.height, 20);
    EXPECT_EQ(temp.entries().size(), 1u) << "only the picture stays while the tree lives";
    EXPECT_EQ(b.printed, "");
  }
  EXPECT_FALSE(exists(decoded_path));
  EXPECT_TRUE(temp.entries().empty());

  // An image still open when the input ends is decoded all the same.
  Built open_at_end = build("<img embed-encoding>" + base64_lines(png), nullptr, temp.path().c_str());
  ASSERT_TRUE(open_at_end.image() && open_at_end.image()->image.src);
  EXPECT_EQ(imagetest::read_file(open_at_end.image()->image.src), png);
  EXPECT_EQ(open_at_end.image()->image.width, 30);
}

TEST_F(InlinePicture, APathNamedByTheDocumentIsNeverWrittenOrRemoved) {
  TempDir victims;
  const std::string victim = victims.file("keep.jpg");
  imagetest::write_file(victim, "precious");
  {
    Built b = build("<img embed-encoding src=\"" + victim + "\">" + base64_lines(png) + "</img>", nullptr,
                    temp.path().c_str());
    pdoc_element* e = b.image();
    ASSERT_TRUE(e && e->image.src);
    const std::string src = e->image.src;
    EXPECT_EQ(src.rfind(temp.path() + "/", 0), 0u) << src;
    // The given name's extension stays, so the picture is read as that type.
    EXPECT_EQ(src.substr(src.size() - 4), ".jpg");
    EXPECT_EQ(imagetest::read_file(src), png);
  }
  EXPECT_EQ(imagetest::read_file(victim), "precious");
  EXPECT_EQ(victims.entries(), std::vector<std::string>{"keep.jpg"});
  EXPECT_TRUE(temp.entries().empty());
}

TEST_F(InlinePicture, MalformedOrMissingTextLeavesNoPictureAndNoFiles) {
  for (const std::string& text : {std::string("!!!!not base64!!!!\n"), std::string("iVBORw0KGgo=\n@@@@\n"),
                                  base64_lines(png.substr(0, 40)), std::string(5000, 'A'), std::string()}) {
    SCOPED_TRACE(text.substr(0, 40));
    {
      Built b = build("<img embed-encoding height=9>" + text + "</img>", nullptr, temp.path().c_str());
      ASSERT_TRUE(b.image());
      EXPECT_EQ(b.image()->image.width, 0);
      EXPECT_EQ(b.image()->image.height, 9);
      EXPECT_EQ(b.image()->image.side_file, nullptr);
    }
    EXPECT_TRUE(temp.entries().empty());
  }
}

TEST(LocalPicture, RelativeNamesAreLookedUpUnderABaseFolder) {
  TempDir folder;
  const std::string bmp = imagetest::picture_bytes(IMF_FMT_BMP, 8, 6);
  imagetest::write_file(folder.file("logo.bmp"), bmp);
  {
    Built b = build("<img src=logo.bmp height=12><img src=missing.png>", folder.path().c_str(), nullptr);
    ASSERT_EQ(b.images().size(), 2u);
    ASSERT_TRUE(b.image(0)->image.src);
    EXPECT_EQ(std::string(b.image(0)->image.src), folder.file("logo.bmp"));
    EXPECT_EQ(b.image(0)->image.temp_file, 0);
    EXPECT_EQ(b.image(0)->image.width, 16);
    EXPECT_EQ(std::string(b.image(1)->image.src), "missing.png");
    EXPECT_EQ(b.image(1)->image.width, 0);
    EXPECT_EQ(b.printed, "");
  }
  // The document's own files are not the tree's to delete.
  EXPECT_EQ(imagetest::read_file(folder.file("logo.bmp")), bmp);
}

}  // namespace
