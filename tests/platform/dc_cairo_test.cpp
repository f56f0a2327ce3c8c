// Pixel rules of the Cairo image surface and text in the installed faces.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

#include "common/dib_header.h"
#include "platform/dc_cairo.h"

namespace {

constexpr DcColor kWhite = dc_rgb(255, 255, 255);
constexpr DcColor kRed = dc_rgb(255, 0, 0);

std::unique_ptr<CairoDc> white_surface(int w, int h) {
  auto dc = CairoDc::create_screen(w, h);
  DcObject brush = dc->create_solid_brush(kWhite);
  dc->fill_rect({0, 0, w, h}, brush);
  dc->delete_object(brush);
  return dc;
}

TEST(CairoDcPixels, FillExcludesRightColumnAndBottomRow) {
  auto dc = white_surface(20, 20);
  DcObject brush = dc->create_solid_brush(kRed);
  dc->fill_rect({2, 3, 6, 8}, brush);
  EXPECT_EQ(dc->get_pixel(2, 3), kRed);
  EXPECT_EQ(dc->get_pixel(5, 7), kRed);
  EXPECT_EQ(dc->get_pixel(6, 7), kWhite);
  EXPECT_EQ(dc->get_pixel(5, 8), kWhite);
  EXPECT_EQ(dc->get_pixel(1, 3), kWhite);
  EXPECT_TRUE(dc->delete_object(brush));
  EXPECT_EQ(dc->live_objects(), 0u);
}

TEST(CairoDcPixels, LineExcludesEndPointInEveryDirection) {
  auto dc = white_surface(20, 20);
  DcObject pen = dc->create_pen(1, kRed);
  DcObject old = dc->select_object(pen);
  dc->move_to(2, 2);
  dc->line_to(8, 2);  // right
  dc->line_to(8, 9);  // down
  EXPECT_EQ(dc->get_pixel(2, 2), kRed);
  EXPECT_EQ(dc->get_pixel(7, 2), kRed);
  EXPECT_EQ(dc->get_pixel(8, 2), kRed);  // start of the second line
  EXPECT_EQ(dc->get_pixel(8, 8), kRed);
  EXPECT_EQ(dc->get_pixel(8, 9), kWhite);
  dc->move_to(15, 15);
  dc->line_to(10, 15);  // left
  EXPECT_EQ(dc->get_pixel(11, 15), kRed);
  EXPECT_EQ(dc->get_pixel(10, 15), kWhite);
  dc->move_to(0, 10);
  dc->line_to(4, 14);  // diagonal
  EXPECT_EQ(dc->get_pixel(3, 13), kRed);
  EXPECT_EQ(dc->get_pixel(4, 14), kWhite);
  EXPECT_FALSE(dc->delete_object(pen)) << "a selected pen must not be deleted";
  dc->select_object(old);
  EXPECT_TRUE(dc->delete_object(pen));
}

TEST(CairoDcPixels, StretchDropsRowsAndColumns) {
  // 4 x 2 bitmap, 24 bits, bottom row first: top row red, green, blue, white;
  // bottom row black.
  const DcBitmapInfoHeader info = tessel_testing::dib_header(4, 2, 24);
  unsigned char bits[2 * 12] = {};
  const unsigned char top[12] = {0, 0, 255, 0, 255, 0, 255, 0, 0, 255, 255, 255};
  memcpy(bits + 12, top, 12);
  auto dc = white_surface(10, 10);
  EXPECT_EQ(dc->stretch_dib(1, 1, 2, 1, 0, 0, 4, 2, bits, sizeof bits, &info), 2);
  // Halving keeps source columns 0 and 2 and the top row.
  EXPECT_EQ(dc->get_pixel(1, 1), kRed);
  EXPECT_EQ(dc->get_pixel(2, 1), dc_rgb(0, 0, 255));
  EXPECT_EQ(dc->get_pixel(3, 1), kWhite);
  EXPECT_EQ(dc->get_pixel(1, 2), kWhite);
  // Bits shorter than the header claims are refused.
  EXPECT_EQ(dc->stretch_dib(0, 0, 4, 2, 0, 0, 4, 2, bits, sizeof bits - 1, &info), 0);
  // A source rectangle outside the bitmap is refused.
  EXPECT_EQ(dc->stretch_dib(0, 0, 4, 2, 1, 0, 4, 2, bits, sizeof bits, &info), 0);
}

TEST(CairoDcPixels, ClipLimitsDrawingUntilRestored) {
  auto dc = white_surface(10, 10);
  DcObject brush = dc->create_solid_brush(kRed);
  int level = dc->save_dc();
  dc->intersect_clip_rect({0, 0, 5, 5});
  dc->fill_rect({0, 0, 10, 10}, brush);
  EXPECT_EQ(dc->get_pixel(4, 4), kRed);
  EXPECT_EQ(dc->get_pixel(5, 5), kWhite);
  EXPECT_TRUE(dc->restore_dc(level));
  dc->fill_rect({0, 0, 10, 10}, brush);
  EXPECT_EQ(dc->get_pixel(9, 9), kRed);
  dc->delete_object(brush);
}

int text_width(CairoDc& dc, const char* face, const char* text) {
  DcFontRequest wanted{};
  snprintf(wanted.face, sizeof wanted.face, "%s", face);
  wanted.height = -16;
  DcObject font = dc.create_font(wanted);
  EXPECT_NE(font, 0u) << face;
  DcObject old = dc.select_object(font);
  DcSize size{};
  dc.text_extent(text, static_cast<int>(strlen(text)), &size);
  dc.select_object(old);
  dc.delete_object(font);
  return size.cx;
}

TEST(CairoDcText, FacesDrawInsideTheirBoxAndDifferInWidth) {
  const char* text = "Hello, Tessel";
  const int n = static_cast<int>(strlen(text));
  auto dc = white_surface(400, 100);
  dc->set_bk_mode(DC_TRANSPARENT);
  const char* faces[] = {"Times", "courier new", "arial"};
  int widths[3];
  for (int i = 0; i < 3; ++i) {
    DcFontRequest wanted{};
    snprintf(wanted.face, sizeof wanted.face, "%s", faces[i]);
    wanted.height = -16;
    DcObject font = dc->create_font(wanted);
    ASSERT_NE(font, 0u);
    DcObject old = dc->select_object(font);
    DcTextMetrics metrics{};
    dc->text_metrics(&metrics);
    DcSize size{};
    dc->text_extent(text, n, &size);
    widths[i] = size.cx;
    const int top = 10 + 30 * i;
    dc->text_out(10, top, text, n);
    int ink_inside = 0, ink_outside = 0;
    for (int y = top - 8; y < top + metrics.height + 8; ++y)
      for (int x = 0; x < 400; ++x) {
        bool inside = x >= 10 && x < 10 + size.cx + 2 && y >= top && y < top + metrics.height;
        if (dc->get_pixel(x, y) != kWhite) (inside ? ink_inside : ink_outside)++;
      }
    EXPECT_GT(ink_inside, 50) << faces[i];
    EXPECT_EQ(ink_outside, 0) << faces[i];
    dc->select_object(old);
    dc->delete_object(font);
  }
  // Courier-metric text is widest (fixed pitch), Times-metric narrowest.
  EXPECT_GT(widths[1], widths[2]);
  EXPECT_GT(widths[2], widths[0]);
  EXPECT_EQ(widths[1], n * text_width(*dc, "courier new", "M"));
  const char* tmp = getenv("TMPDIR");
  std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/tessel_dc_faces_" + std::to_string(getpid()) + ".png";
  EXPECT_TRUE(dc->write_png(path.c_str()));
  unlink(path.c_str());
}

TEST(CairoDcText, WidthsAddUpAndSymbolBulletIsDrawn) {
  auto dc = white_surface(50, 50);
  EXPECT_EQ(text_width(*dc, "arial", "ab cd"), text_width(*dc, "arial", "ab") + text_width(*dc, "arial", " cd"));
  // 0xB7 is the bullet in the Symbol encoding and a middle dot in 1252.
  EXPECT_GT(text_width(*dc, "SYMBOL", "\xB7"), 0);

  // The bullet and a Greek letter leave ink: the Symbol face's map holds
  // them at their bytes, not at their Unicode values.
  for (const char* text : {"\xB7", "a"}) {
    auto page = white_surface(40, 40);
    DcFontRequest wanted{};
    snprintf(wanted.face, sizeof wanted.face, "symbol");
    wanted.height = -24;
    DcObject font = page->create_font(wanted);
    DcObject old = page->select_object(font);
    page->text_out(5, 5, text, 1);
    int ink = 0;
    for (int y = 0; y < 40; ++y)
      for (int x = 0; x < 40; ++x) ink += page->get_pixel(x, y) != kWhite;
    EXPECT_GT(ink, 10) << text;
    page->select_object(old);
    page->delete_object(font);
  }
}

TEST(CairoDcText, FontsOfOneRequestShareTheirRealisationAndOutliveEachOther) {
  // A context reuses the fonts it realised last; each request still gets an
  // object of its own, which can be deleted without harming the others, and
  // requests beyond what is kept are realised again correctly.
  auto dc = white_surface(200, 60);
  auto request = [](const char* face, int height, int weight) {
    DcFontRequest wanted{};
    snprintf(wanted.face, sizeof wanted.face, "%s", face);
    wanted.height = height;
    wanted.weight = weight;
    return wanted;
  };
  auto width_with = [&](DcObject font, const char* text) {
    DcObject old = dc->select_object(font);
    DcSize size{};
    dc->text_extent(text, static_cast<int>(strlen(text)), &size);
    dc->select_object(old);
    return size.cx;
  };
  const char* text = "Ledger, all postings";
  DcObject first = dc->create_font(request("arial", -20, 0));
  DcObject second = dc->create_font(request("arial", -20, 0));
  DcObject bold = dc->create_font(request("arial", -20, DC_WEIGHT_BOLD));
  ASSERT_NE(first, 0u);
  ASSERT_NE(second, first);
  const int regular = width_with(first, text);
  EXPECT_EQ(width_with(second, text), regular);
  EXPECT_GT(width_with(bold, text), regular);
  EXPECT_TRUE(dc->delete_object(first));
  EXPECT_EQ(width_with(second, text), regular);

  // Many other sizes push the first request out of what is kept.
  std::vector<DcObject> others;
  for (int h = 8; h < 60; h++) others.push_back(dc->create_font(request("times", -h, 0)));
  DcObject again = dc->create_font(request("arial", -20, 0));
  EXPECT_EQ(width_with(again, text), regular);
  EXPECT_EQ(width_with(second, text), regular);
  EXPECT_LT(width_with(others.front(), text), width_with(others.back(), text));
  EXPECT_EQ(dc->fonts_created(), 4u + others.size());

  // Text drawn with a shared font leaves ink, glyphs being found as met.
  DcObject old = dc->select_object(again);
  dc->set_bk_mode(DC_TRANSPARENT);
  dc->text_out(5, 5, "\xE9t\xE9", 3);  // accented letters of the 1252 range
  int ink = 0;
  for (int y = 0; y < 40; ++y)
    for (int x = 0; x < 60; ++x) ink += dc->get_pixel(x, y) != kWhite;
  EXPECT_GT(ink, 20);
  dc->select_object(old);
}

TEST(CairoDcObjects, HandlesAreNeverReusedAndDeletedObjectsAreGone) {
  // A job makes and deletes pens by the hundred thousand; handles keep
  // counting up, a deleted handle stays dead and only live objects count.
  auto dc = white_surface(10, 10);
  const DcObject first = dc->create_pen(1, kRed);
  DcObject previous = first;
  for (int i = 0; i < 100000; i++) {
    DcObject pen = dc->create_pen(1, kRed);
    ASSERT_GT(pen, previous);
    EXPECT_TRUE(dc->delete_object(previous));
    previous = pen;
  }
  EXPECT_EQ(dc->live_objects(), 1u);
  EXPECT_EQ(dc->select_object(first), 0u);  // long deleted
  EXPECT_FALSE(dc->delete_object(first));
  EXPECT_NE(dc->select_object(previous), 0u);
  EXPECT_FALSE(dc->delete_object(previous));  // selected objects stay
}

}  // namespace
