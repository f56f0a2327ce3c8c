// Pictures inside the document as base64 text, and local pictures named
// relative to a base folder: where their files go and that the tree
// removes exactly the files it made.
#include <signal.h>
#include <sys/resource.h>
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

// The encoding in lines of 76 characters, or (one_line) without line breaks.
std::string base64_lines(const std::string& bytes, bool one_line = false) {
  char* text = nullptr;
  const int length = one_line ? QELBase64Encode(bytes.data(), bytes.size(), &text)
                              : QELBase64EncodeLines(bytes.data(), bytes.size(), &text);
  EXPECT_GE(length, 0);
  std::string lines = text ? text : "";
  free(text);
  return lines;
}

// The text cut into lines of `width` characters, each after `indent`.
std::string wrapped(const std::string& text, size_t width, const std::string& indent, const char* end = "\n") {
  std::string out;
  for (size_t at = 0; at < text.size(); at += width) out += indent + text.substr(at, width) + end;
  return out;
}

bool exists(const std::string& path) {
  return access(path.c_str(), F_OK) == 0;
}

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

TEST_F(InlinePicture, DecodesWhateverTheLineLengthsAndIndentation) {
  const std::string text = base64_lines(png, true);
  std::string unpadded = text;
  while (!unpadded.empty() && unpadded.back() == '=') unpadded.pop_back();
  for (const std::string& data : {text, "\n" + text + "\n", wrapped(text, 500, ""), wrapped(text, 1000, "", "\r\n"),
                                  wrapped(text, 60, "      "), wrapped(text, 7, "\t", " \r\n "), unpadded}) {
    SCOPED_TRACE(data.substr(0, 40));
    Built b = build("<p><img embed-encoding height=20>" + data + "</img>", nullptr, temp.path().c_str());
    ASSERT_TRUE(b.image() && b.image()->image.src);
    EXPECT_EQ(imagetest::read_file(b.image()->image.src), png);
    EXPECT_EQ(b.image()->image.width, 60);  // the picture was read: 30 x 10 at height 20
    EXPECT_EQ(b.printed, "");
  }
}

TEST_F(InlinePicture, TextThatIsNotBase64LeavesNoPictureAndIsReported) {
  const std::string text = base64_lines(png, true);
  for (const std::string& data : {std::string("!!!!not base64!!!!"), text + "@", text + "Q", std::string("QQ==QQ=="),
                                  std::string("QQ="), text.substr(0, 20) + "=" + text.substr(21)}) {
    SCOPED_TRACE(data.substr(0, 40));
    {
      Built b = build("<p>x\n<img embed-encoding width=7 height=9>" + data + "</img>", nullptr, temp.path().c_str());
      ASSERT_TRUE(b.image());
      EXPECT_EQ(b.image()->image.src, nullptr);
      EXPECT_EQ(b.image()->image.width, 7);
      EXPECT_EQ(b.image()->image.height, 9);
      const std::string end = std::to_string(38 + data.size() + 6);
      EXPECT_EQ(b.printed, "PDOC_BUILDER ERROR at (line,col) (2," + end +
                               "): WARNING Inline picture from line: 2 col: 38 is not base64. Leaving it out.\n");
    }
    EXPECT_TRUE(temp.entries().empty());
  }
}

// Files of this process may grow to `bytes` while it lives; a write beyond
// fails (EFBIG) instead of raising SIGXFSZ.
class FileSizeLimit {
 public:
  explicit FileSizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &saved_);
    old_handler_ = signal(SIGXFSZ, SIG_IGN);
    rlimit limited = saved_;
    limited.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limited);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved_);
    signal(SIGXFSZ, old_handler_);
  }
  FileSizeLimit(const FileSizeLimit&) = delete;
  FileSizeLimit& operator=(const FileSizeLimit&) = delete;

 private:
  rlimit saved_{};
  sighandler_t old_handler_;
};

TEST_F(InlinePicture, TextThatCannotBeKeptWholeLeavesThePictureOutAndSaysSo) {
  // The text arrives in pieces; the first ones fit under the limit, a later
  // one does not. What was kept would decode to the picture's front.
  const std::string big = imagetest::picture_bytes(IMF_FMT_BMP, 200, 200);
  const std::string text = base64_lines(big);
  ASSERT_GT(text.size(), 100000u);
  Built b;
  {
    FileSizeLimit limit(64 * 1024);
    b = build("<p><img embed-encoding width=7 height=9>" + text + "</img>after", nullptr, temp.path().c_str());
  }
  ASSERT_TRUE(b.image());
  EXPECT_EQ(b.image()->image.src, nullptr);
  EXPECT_EQ(b.image()->image.side_file, nullptr);
  EXPECT_NE(b.printed.find("Error writing "), std::string::npos) << b.printed;
  EXPECT_EQ(b.printed.find("Error opening"), std::string::npos) << b.printed;
  EXPECT_TRUE(temp.entries().empty());
}

TEST_F(InlinePicture, OneWithoutDataHasNoSourceAndDoesNotShowTheNext) {
  const std::string html =
      "<img embed-encoding width=5 height=6></img><img embed-encoding> \n </img>"
      "<img embed-encoding>" +
      base64_lines(png) + "</img>";
  Built b = build(html, nullptr, temp.path().c_str());
  ASSERT_EQ(b.images().size(), 3u);
  EXPECT_EQ(b.image(0)->image.src, nullptr);
  EXPECT_EQ(b.image(0)->image.width, 5);
  EXPECT_EQ(b.image(0)->image.height, 6);
  EXPECT_EQ(b.image(1)->image.src, nullptr);
  ASSERT_TRUE(b.image(2)->image.src);
  EXPECT_EQ(imagetest::read_file(b.image(2)->image.src), png);
  EXPECT_EQ(temp.entries().size(), 1u);
  EXPECT_EQ(b.printed, "");
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
