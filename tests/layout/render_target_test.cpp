// Render targets on the recording context (operation sequences, ownership)
// and on the image surface (outline halo, bevel corners).
#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "image/imf_bmp.h"
#include "image/imgfilter.h"
#include "layout/render_target.h"
#include "platform/dc_cairo.h"
#include "platform/dc_recording.h"

namespace {

using Ops = std::vector<std::string>;

RenderTargetPtr make(DeviceContext* dc, RtRect rect) {
  return RenderTargetPtr(rt_create(dc, rect, RT_VERSION));
}

TEST(RenderTarget, RectanglesAndSubtargetOrigins) {
  RecordingDc dc;
  EXPECT_EQ(page_width(make(&dc, {5, 5, 5, 5}).get()), 1);
  EXPECT_EQ(make(&dc, {5, 5, 4, 5}), nullptr);
  EXPECT_EQ(RenderTargetPtr(rt_create(&dc, {0, 0, 1, 1}, 99)), nullptr);
  EXPECT_EQ(page_width(nullptr), 0);
  auto parent = make(&dc, {10, 20, 409, 319});
  RenderTargetPtr child(parent->create_subtarget(parent.get(), 0, 0, 49, 29));
  ASSERT_TRUE(child);
  EXPECT_EQ(child->left, 10);
  EXPECT_EQ(child->bottom, 49);
  EXPECT_EQ(parent->create_subtarget(parent.get(), 5, 0, 4, 0), nullptr);
  dc.clear();
  child->draw_text(child.get(), 0, 0, "ab", 2, nullptr);
  child->draw_line(child.get(), 1, 2, 3, 4);  // device coordinates
  child->fill_rect(child.get(), 0, 0, 2, 2, 0x0000FF);
  Ops ops = dc.ops();
  EXPECT_EQ(ops[0], "text_out(10,20,\"ab\")");
  EXPECT_EQ(ops[1], "move_to(1,2)");
  EXPECT_EQ(ops[2], "line_to(3,4)");
  EXPECT_EQ(ops[4], "fill_rect(10,20,12,22,0x0000ff)");
}

TEST(RenderTarget, SelectFontCachesIgnoringCaseAndFollowsResolution) {
  RecordingDc dc(96);
  auto t = make(&dc, {0, 0, 99, 99});
  EXPECT_EQ(t->select_font(t.get(), "Times", 10, RT_STYLE_BOLD, 0, RT_NO_COLOR), 1);
  EXPECT_EQ(t->select_font(t.get(), "TIMES", 10, RT_STYLE_BOLD, 0, RT_NO_COLOR), 1);
  EXPECT_EQ(dc.ops_starting("create_font"), Ops{"create_font(Times,-13,700,0,0)=4"});
  t->set_resolution(t.get(), 72);
  EXPECT_EQ(t->get_resolution(t.get()), 72);
  t->select_font(t.get(), "times", 12, 0, 0, RT_NO_COLOR);
  EXPECT_EQ(dc.ops_starting("create_font").back(), "create_font(times,-12,400,0,0)=5");
  EXPECT_EQ(dc.live_objects(), 1u) << "the replaced font is released";
  RecordingDc printer(600);
  auto p = make(&printer, {0, 0, 9, 9});
  p->select_font(p.get(), "arial", 10, RT_STYLE_ITALIC | RT_STYLE_UNDERLINE, 0, RT_NO_COLOR);
  EXPECT_EQ(printer.ops_starting("create_font"), Ops{"create_font(arial,-83,400,1,1)=4"});
}

// Fitting may lower the resolution to 1: the character height never rounds
// to 0 (the context's default size), so text keeps shrinking with it; nor
// does a huge size ask for more than the bound.
TEST(RenderTarget, FontHeightsStayBetweenOnePixelAndTheBound) {
  RecordingDc dc(600, 100, 100, RecordingMetrics{7, 10, 3, true});
  auto t = make(&dc, {0, 0, 99, 99});
  int previous = 0;
  for (int dpi : {6, 5, 3, 1}) {
    t->set_resolution(t.get(), dpi);
    t->select_font(t.get(), "Times", 7, 0, 0, RT_NO_COLOR);
    EXPECT_EQ(dc.font_spec(dc.selected(DcObjectKind::Font))->height, -1) << dpi;
    const int height = t->font_height(t.get());
    EXPECT_GE(height, 1);
    if (previous) {
      EXPECT_LE(height, previous);
    }
    previous = height;
  }
  t->set_resolution(t.get(), 0);
  t->select_font(t.get(), "Times", 500000, 0, 0, RT_NO_COLOR);
  EXPECT_EQ(dc.font_spec(dc.selected(DcObjectKind::Font))->height, -RT_MAX_FONT_PIXELS);
}

TEST(RenderTarget, ColourAndBackgroundRules) {
  RecordingDc dc;
  auto t = make(&dc, {0, 0, 99, 99});
  dc.clear();
  t->select_font(t.get(), "Times", 12, 0, 0x123456, RT_NO_COLOR);
  EXPECT_EQ(dc.ops_starting("bk_mode"), Ops{"bk_mode(transparent)"});
  EXPECT_EQ(dc.text_color(), 0x123456u);
  dc.clear();
  t->select_font(t.get(), "Times", 12, 0, RT_NO_COLOR, 0xFFFFFF);
  EXPECT_EQ(dc.ops(), Ops{"bk_color(0xffffff)"}) << "mode unchanged, text colour kept";
}

TEST(RenderTarget, FailedFontKeepsPreviousAndIsNotReportedAsSuccess) {
  RecordingDc dc;
  dc.refuse_face("nosuch");
  auto t = make(&dc, {0, 0, 99, 99});
  ASSERT_EQ(t->select_font(t.get(), "Times", 12, 0, 0, RT_NO_COLOR), 1);
  DcObject times = dc.selected(DcObjectKind::Font);
  EXPECT_EQ(t->select_font(t.get(), "nosuch", 12, 0, 0, RT_NO_COLOR), 0);
  EXPECT_EQ(t->select_font(t.get(), "nosuch", 12, 0, 0, RT_NO_COLOR), 0);
  EXPECT_EQ(dc.selected(DcObjectKind::Font), times);
  EXPECT_EQ(dc.ops_starting("create_font(nosuch").size(), 1u);
}

TEST(RenderTarget, OutlineDrawsSixDisplacementsThenText) {
  RecordingDc dc;
  auto t = make(&dc, {10, 10, 99, 99});
  t->select_font(t.get(), "Times", 12, RT_STYLE_OUTLINE, 0x000000, 0xFFFFFF);
  dc.clear();
  RtSize size{};
  t->draw_text(t.get(), 0, 0, "abc", 3, &size);
  Ops expected = {"text_color(0xffffff)",    "text_out(9,10,\"abc\")",  "text_out(10,9,\"abc\")",
                  "text_out(9,9,\"abc\")",   "text_out(11,10,\"abc\")", "text_out(10,11,\"abc\")",
                  "text_out(11,11,\"abc\")", "text_color(0x000000)",    "text_out(10,10,\"abc\")"};
  EXPECT_EQ(dc.ops(), expected);
  EXPECT_EQ(size.width, 21);
  EXPECT_EQ(size.height, 13);
}

TEST(RenderTarget, ChildFontsAndPensAreOwnedAndRestored) {
  RecordingDc dc;
  const DcObject stock_pen = dc.stock_object(DcStockObject::BlackPen);
  {
    auto parent = make(&dc, {0, 0, 199, 199});
    parent->select_font(parent.get(), "Times", 12, 0, 0, RT_NO_COLOR);
    parent->set_pen(parent.get(), 0x808080, 1);
    const DcObject parent_font = dc.selected(DcObjectKind::Font);
    const DcObject parent_pen = dc.selected(DcObjectKind::Pen);
    {
      RenderTargetPtr child(parent->create_subtarget(parent.get(), 0, 0, 9, 9));
      EXPECT_EQ(child->select_font(child.get(), "Times", 12, 0, 0, RT_NO_COLOR), 1)
          << "a child's first request always creates a font";
      child->select_font(child.get(), "arial", 8, 0, 0, RT_NO_COLOR);
      child->set_pen(child.get(), 0xFF, 1);
      child->set_pen(child.get(), 0xFF00, 1);
      EXPECT_NE(dc.font_spec(parent_font), nullptr) << "the child released its parent's font";
    }
    EXPECT_EQ(dc.selected(DcObjectKind::Font), parent_font);
    EXPECT_EQ(dc.selected(DcObjectKind::Pen), parent_pen);
    EXPECT_EQ(dc.live_objects(), 2u);
  }
  EXPECT_EQ(dc.live_objects(), 0u) << "no object leaks";
  EXPECT_EQ(dc.selected(DcObjectKind::Pen), stock_pen);
  EXPECT_TRUE(dc.ops_starting("delete(").size() > 0);
  for (const std::string& line : dc.ops()) EXPECT_EQ(line.find("refused"), std::string::npos) << line;
}

TEST(RenderTarget, BevelSequence) {
  RecordingDc dc;
  auto t = make(&dc, {1, 1, 99, 99});
  dc.clear();
  t->draw_bevel_rect(t.get(), 0, 0, 4, 3, 0xC0C0C0, 0x808080);
  Ops lines;
  for (const std::string& op : dc.ops())
    if (op.rfind("move_to", 0) == 0 || op.rfind("line_to", 0) == 0) lines.push_back(op);
  EXPECT_EQ(lines, (Ops{"move_to(1,4)", "line_to(1,1)", "line_to(5,1)", "line_to(5,4)", "line_to(0,4)"}));
  EXPECT_EQ(dc.live_objects(), 0u);
}

TEST(RenderTargetPixels, BevelCorners) {
  auto dc = CairoDc::create_screen(60, 40);
  auto t = make(dc.get(), {0, 0, 59, 39});
  t->fill_rect(t.get(), 0, 0, 60, 40, 0xFFFFFF);
  t->draw_bevel_rect(t.get(), 10, 10, 20, 20, 0x0000FF, 0xFF0000);
  EXPECT_EQ(dc->get_pixel(10, 10), 0x0000FFu);  // top left: first colour
  EXPECT_EQ(dc->get_pixel(19, 10), 0x0000FFu);
  EXPECT_EQ(dc->get_pixel(20, 10), 0xFF0000u);  // top right: second colour
  EXPECT_EQ(dc->get_pixel(20, 20), 0xFF0000u);
  EXPECT_EQ(dc->get_pixel(10, 20), 0xFF0000u);  // bottom left included
  EXPECT_EQ(dc->get_pixel(9, 20), 0xFFFFFFu);
}

// Black text with a white outline on grey: the halo is white around the
// glyphs and the glyphs stay black on top of it.
TEST(RenderTargetPixels, OutlineHaloSurroundsTheGlyphs) {
  auto dc = CairoDc::create_screen(120, 40);
  auto t = make(dc.get(), {0, 0, 119, 39});
  t->fill_rect(t.get(), 0, 0, 120, 40, 0x808080);
  ASSERT_TRUE(t->select_font(t.get(), "Arial", 20, RT_STYLE_OUTLINE | RT_STYLE_BOLD, 0x000000, 0xFFFFFF));
  t->draw_text(t.get(), 10, 5, "HIL", 3, nullptr);
  // Glyph and halo edges are smoothed: classify by brightness.
  auto light = [&](int x, int y) { return (dc->get_pixel(x, y) & 0xFF) > 0xD0; };
  auto dark = [&](int x, int y) { return (dc->get_pixel(x, y) & 0xFF) < 0x40; };
  int white = 0, black = 0, black_beside_white = 0;
  for (int y = 0; y < 40; ++y) {
    for (int x = 3; x < 117; ++x) {
      white += light(x, y);
      if (!dark(x, y)) continue;
      ++black;
      black_beside_white += light(x - 1, y) || light(x + 1, y) || light(x - 2, y) || light(x + 2, y);
    }
  }
  EXPECT_GT(black, 20);
  EXPECT_GT(white, 20);
  EXPECT_GT(black_beside_white, 10);
  EXPECT_EQ(dc->get_pixel(5, 5), 0x808080u);  // outside the halo
}

// A 2 x 2 picture (red, green over blue, white) drawn at twice its size
// through the target's origin lands as four 2 x 2 blocks.
TEST(RenderTargetPixels, DrawImageStretchesIntoTheTarget) {
  // A 24-bit DIB: rows bottom-up and padded to four bytes, pixels blue-green-red.
  // clang-format off
  std::vector<unsigned char> dib = {40, 0, 0, 0, 2, 0, 0, 0, 2, 0, 0, 0, 1, 0, 24, 0,
                                    0, 0, 0, 0, 16, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                    0, 0, 0, 0, 0, 0, 0, 0,
                                    0xFF, 0, 0, 0xFF, 0xFF, 0xFF, 0, 0,   // bottom: blue, white
                                    0, 0, 0xFF, 0, 0xFF, 0, 0, 0};        // top: red, green
  // clang-format on
  imf_context_ptr image(imf_create(IMF_VERSION));
  ASSERT_TRUE(image);
  imf_register(image.get(), imf_module_bmp);
  imf_set_input_format(image.get(), IMF_FMT_DIB);
  imf_set_input_memory(image.get(), dib.data(), dib.size());
  ASSERT_TRUE(imf_read(image.get())) << image->error_text;

  auto dc = CairoDc::create_screen(40, 40);
  auto page = make(dc.get(), {0, 0, 39, 39});
  page->fill_rect(page.get(), 0, 0, 40, 40, 0x000000);
  RenderTargetPtr box(page->create_subtarget(page.get(), 10, 10, 29, 29));
  ASSERT_TRUE(box);
  EXPECT_EQ(box->draw_image(box.get(), image.get(), 2, 2, 4, 4), 1);
  // Colours read back as 0x00BBGGRR.
  EXPECT_EQ(dc->get_pixel(12, 12), 0x0000FFu);
  EXPECT_EQ(dc->get_pixel(13, 13), 0x0000FFu);
  EXPECT_EQ(dc->get_pixel(14, 12), 0x00FF00u);
  EXPECT_EQ(dc->get_pixel(12, 14), 0xFF0000u);
  EXPECT_EQ(dc->get_pixel(15, 15), 0xFFFFFFu);
  EXPECT_EQ(dc->get_pixel(16, 16), 0x000000u);  // right and bottom edges excluded
  EXPECT_EQ(dc->get_pixel(11, 11), 0x000000u);
  EXPECT_EQ(box->draw_image(box.get(), nullptr, 0, 0, 4, 4), 0);
}

}  // namespace
