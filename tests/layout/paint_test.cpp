// Painting on the recording context: picture frames, rules in their three
// looks, text lines in a child target, and the picture box at low resolution.
#include <gtest/gtest.h>

#include "layout/fonts.h"
#include "layout/paint.h"
#include "layout_tree.h"

namespace {

TEST(Paint, PictureFrameIsBorderPixelsThickAroundTheBox) {
  LayoutTree tree;
  pdoc_element* img = tree.image(nullptr, 20, 10, 0, 2);
  RecordingPage page(300, 200);
  int w = 0, h = 0;
  image_box(page.target, img, &w, &h);
  EXPECT_EQ(w, 24);
  EXPECT_EQ(h, 14);
  draw_image_box(page.target, img, 10, 10);
  EXPECT_EQ(page.dc.ops_starting("move_to"), (std::vector<std::string>{"move_to(10,23)", "move_to(11,22)"}));
  auto lines = page.dc.ops_starting("line_to");
  ASSERT_EQ(lines.size(), 8u);
  EXPECT_EQ(lines[1], "line_to(33,10)");  // outer top edge ends at x + w + 2n - 1
  EXPECT_EQ(lines[3], "line_to(9,23)");   // bottom edge includes the left corner

  img->image.border = 0;
  page.dc.clear();
  draw_image_box(page.target, img, 10, 10);
  EXPECT_TRUE(page.dc.ops_starting("move_to").empty());
}

TEST(Paint, BorderScaledBelowOnePixelStillReservesTheDrawnFrame) {
  LayoutTree tree;
  pdoc_element* img = tree.image(nullptr, 96, 48, 0, 1);
  RecordingPage page(300, 200);
  page.target->set_resolution(page.target, 48);
  int w = 0, h = 0;
  image_box(page.target, img, &w, &h);
  EXPECT_EQ(image_border(page.target, img), 1);
  EXPECT_EQ(w, 48 + 2);
  EXPECT_EQ(h, 24 + 2);
}

// A line is measured as wide as it is drawn: the picture's frame included.
TEST(Paint, ALineWithAFramedPictureIsMeasuredAsWideAsItIsDrawn) {
  LayoutTree tree;
  pdoc_element* img = tree.image(nullptr, 96, 48, 0, 1);
  tree.text(nullptr, "ab");
  RecordingPage page(300, 200);
  page.target->set_resolution(page.target, 48);
  RtSize size{};
  int descent = 0;
  EXPECT_EQ(measure_line(page.job, page.target, img, 0, -1, &size, &descent, nullptr), 3);
  page.dc.clear();
  paint_line(page.job, page.target, 0, 0, size.height, descent, img, 0, 3);
  const std::vector<std::string> texts = page.dc.ops_starting("text_out");
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].substr(0, 12), "text_out(50,");  // after the 48 + 2 pixel box
  EXPECT_EQ(size.width, 50 + 14);
}

TEST(Paint, RulesSunkenOrSolid) {
  RecordingPage page(300, 200);
  paint_rule(page.target, 10, 5, 110, 2, 3, false);
  EXPECT_EQ(page.dc.ops_starting("move_to"),
            (std::vector<std::string>{"move_to(10,5)", "move_to(10,5)", "move_to(10,7)", "move_to(110,5)"}));
  EXPECT_EQ(page.dc.ops_starting("line_to"),
            (std::vector<std::string>{"line_to(110,5)", "line_to(10,7)", "line_to(110,7)", "line_to(110,7)"}));
  auto pens = page.dc.ops_starting("create_pen");
  ASSERT_EQ(pens.size(), 3u);
  EXPECT_EQ(pens[0].substr(0, 22), "create_pen(1,0x808080)");
  EXPECT_EQ(pens[1].substr(0, 22), "create_pen(1,0xc8d0d4)");
  EXPECT_EQ(pens[2].substr(0, 22), "create_pen(1,0x000000)");

  page.dc.clear();
  paint_rule(page.target, 10, 5, 110, 0, 1, false);  // size 1: the grey top edge only
  EXPECT_EQ(page.dc.ops_starting("line_to"), (std::vector<std::string>{"line_to(110,5)"}));

  page.dc.clear();
  paint_rule(page.target, 10, 5, 110, 0, 1, true);  // an empty bar
  EXPECT_EQ(page.dc.ops_starting("fill_rect"), (std::vector<std::string>{"fill_rect(10,5,110,5,0x000000)"}));
}

TEST(Paint, LineInAChildTargetIsDrawnAtItsOrigin) {
  LayoutTree tree;
  pdoc_element* a = tree.text(nullptr, "ab");
  tree.text(nullptr, "cd")->style.size = 6;  // 24 points
  RecordingPage page(300, 200);
  RenderTarget* child = page.target->create_subtarget(page.target, 10, 20, 109, 119);
  ASSERT_NE(child, nullptr);
  paint_line(page.job, child, 0, 0, 30, 5, a, 0, 4);
  child->destroy(child);
  auto out = page.dc.ops_starting("text_out");
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[0], "text_out(10,35,\"ab\")");  // baseline 25, ascent 10
}

}  // namespace
