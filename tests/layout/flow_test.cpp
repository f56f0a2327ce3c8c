// Page flow on the recording context: line positions, alignment, floats,
// line breaks, paragraph spacing, rules, page breaks and measure mode.
#include <gtest/gtest.h>

#include "layout/flow.h"
#include "layout/page.h"
#include "layout_tree.h"

namespace {

std::vector<std::string> texts(const RecordingDc& dc) {
  return dc.ops_starting("text_out");
}

pdoc_element* flow(RecordingPage& page, pdoc_element* e, int* offset, int* width, int* height, int flags = 0) {
  *width = 0;
  *height = 0;
  return layout_flow(page.job, page.target, width, height, e, offset, flags);
}

TEST(Flow, WrapsWordsAndSharesOnePixelRowBetweenLines) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* run = tree.text(body, "hello world foo");
  RecordingPage page(100, 200);
  int offset = 0, w = 0, h = 0;
  EXPECT_EQ(flow(page, run, &offset, &w, &h), nullptr);
  EXPECT_EQ(texts(page.dc), (std::vector<std::string>{"text_out(0,0,\"hello world \")", "text_out(0,12,\"foo\")"}));
  EXPECT_EQ(h, 24);  // last row of the second line
  EXPECT_EQ(w, 84);
}

TEST(Flow, AlignsRightAndCentreInTheFreeSpan) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* right = tree.text(body, "abc");
  right->style.align = ALIGN_RIGHT;
  tree.br(body);
  pdoc_element* centre = tree.text(body, "abc");
  centre->style.align = ALIGN_CENTER;
  RecordingPage page(100, 200);
  int offset = 0, w = 0, h = 0;
  flow(page, right, &offset, &w, &h);
  EXPECT_EQ(texts(page.dc), (std::vector<std::string>{"text_out(79,0,\"abc\")", "text_out(39,12,\"abc\")"}));
}

TEST(Flow, InheritsAlignmentFromTheCell) {
  LayoutTree tree;
  pdoc_element* t = tree.table(nullptr);
  pdoc_element* cell = tree.cell(tree.row(t));
  pdoc_element* run = tree.text(cell, "x");
  cell->cell.align = ALIGN_RIGHT;
  EXPECT_EQ(effective_align(run), ALIGN_RIGHT);
  EXPECT_EQ(effective_align(t), 0);
}

TEST(Flow, LeftFloatNarrowsTheRowsBesideIt) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* img = tree.image(body, 100, 50, ALIGN_LEFT);
  tree.text(body, "abc");
  RecordingPage page(300, 200);
  int offset = 0, w = 0, h = 0;
  EXPECT_EQ(flow(page, img, &offset, &w, &h), nullptr);
  EXPECT_EQ(texts(page.dc), (std::vector<std::string>{"text_out(100,0,\"abc\")"}));
  EXPECT_EQ(h, 48);  // the float reaches lower than the line: rows 0 ... 48 are marked
  EXPECT_EQ(w, 121);
}

TEST(Flow, AVeryTallRectangleMeasuresLikeAShortOne) {
  // Cells are measured in rectangles twenty inches high; a flow must not pay
  // for rows it never reaches, nor give up on a rectangle too tall to map.
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* img = tree.image(body, 100, 50, ALIGN_LEFT);
  tree.text(body, "abc def ghi jkl mno pqr stu vwx");
  RecordingPage page(300, 200);
  auto measure = [&](int rect_height) {
    int w = 150, h = rect_height, offset = 0;
    pdoc_element* stop = layout_flow(page.job, page.target, &w, &h, img, &offset, LAYOUT_MEASURE);
    return std::vector<int>{stop == nullptr, w, h};
  };
  const std::vector<int> short_one = measure(200);
  EXPECT_EQ(short_one[0], 1);
  EXPECT_EQ(measure(1 << 30), short_one);
}

TEST(Flow, RightFloatMakesTheUsedWidthFull) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* img = tree.image(body, 50, 20, ALIGN_RIGHT);
  tree.text(body, "abc");
  RecordingPage page(300, 200);
  int offset = 0, w = 0, h = 0;
  flow(page, img, &offset, &w, &h);
  EXPECT_EQ(w, 300);
}

TEST(Flow, FloatTooTallForTheRectangleIsReturnedAtOnce) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* img = tree.image(body, 50, 500, ALIGN_LEFT);
  tree.text(body, "abc");
  RecordingPage page(300, 200);
  int offset = 0, w = 0, h = 0;
  EXPECT_EQ(flow(page, img, &offset, &w, &h), img);
  EXPECT_TRUE(texts(page.dc).empty());
}

TEST(Flow, TwoBreaksGiveOneEmptyLineAndParagraphsAddALine) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* first = tree.text(body, "line");
  tree.br(body);
  tree.br(body);
  tree.text(body, "next");
  tree.text(body, "para", PDOC_TAG_P);
  RecordingPage page(300, 200);
  int offset = 0, w = 0, h = 0;
  flow(page, first, &offset, &w, &h);
  EXPECT_EQ(texts(page.dc),
            (std::vector<std::string>{"text_out(0,0,\"line\")", "text_out(0,24,\"next\")", "text_out(0,49,\"para\")"}));
}

TEST(Flow, WrappedParagraphLinesGetNoExtraSpace) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* p = tree.text(body, "aaaa bbbb", PDOC_TAG_P);
  RecordingPage page(50, 200);
  int offset = 0, w = 0, h = 0;
  flow(page, p, &offset, &w, &h);
  EXPECT_EQ(texts(page.dc), (std::vector<std::string>{"text_out(0,0,\"aaaa \")", "text_out(0,12,\"bbbb\")"}));
}

TEST(Flow, MixedSizesShareTheBaseline) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* small = tree.text(body, "ab ");
  tree.image(body, 10, 40);  // inline picture stands on the baseline
  tree.text(body, " cd");
  RecordingPage page(300, 200);
  int offset = 0, w = 0, h = 0;
  flow(page, small, &offset, &w, &h);
  // ascent 40 from the picture, descent 3 from the text: baseline at 40.
  EXPECT_EQ(texts(page.dc), (std::vector<std::string>{"text_out(0,30,\"ab \")", "text_out(31,30,\" cd\")"}));
  EXPECT_EQ(h, 42);
}

TEST(Flow, RulesAreCentredAndSpacedAndFlowGoesOnAfterLeadingRules) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* hr = tree.rule(body, 3, 100);
  tree.text(body, "abc");
  RecordingPage page(300, 200);
  int offset = 0, w = 0, h = 0;
  EXPECT_EQ(flow(page, hr, &offset, &w, &h), nullptr);
  // gap 7, bar of size - 1 = 2 from x 100 to 200, then 3 + 7 below it.
  auto lines = page.dc.ops_starting("line_to");
  ASSERT_GE(lines.size(), 4u);
  EXPECT_EQ(page.dc.ops_starting("move_to")[0], "move_to(100,7)");
  EXPECT_EQ(lines[0], "line_to(200,7)");
  EXPECT_EQ(texts(page.dc), (std::vector<std::string>{"text_out(0,17,\"abc\")"}));
}

TEST(Flow, RuleAfterAFloatIsLaidOut) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* first = tree.text(body, "abc");
  tree.image(body, 20, 20, ALIGN_LEFT);
  tree.rule(body, 1, 0, true);
  tree.text(body, "def");
  RecordingPage page(300, 200);
  int offset = 0, w = 0, h = 0;
  EXPECT_EQ(flow(page, first, &offset, &w, &h), nullptr);
  auto out = texts(page.dc);
  ASSERT_EQ(out.size(), 2u);
  EXPECT_EQ(out[1], "text_out(20,27,\"def\")");  // 12 + 7 + 1 + 7, beside the float
  EXPECT_EQ(page.dc.ops_starting("fill_rect").size(), 1u);
}

TEST(Flow, MeasureModeDrawsNothingAndGivesTheSameHeight) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* run = tree.text(body, "hello world foo");
  RecordingPage page(100, 200);
  int offset = 0, w = 0, h = 0;
  flow(page, run, &offset, &w, &h, LAYOUT_MEASURE);
  EXPECT_TRUE(texts(page.dc).empty());
  EXPECT_EQ(h, 24);
}

TEST(Page, EndsInsideARunAndTheNextPageStartsAfterTheBreak) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* run = tree.text(body, "aaaa bbbb cccc");
  RecordingPage page(50, 30);
  int offset = 0;
  pdoc_element* next = layout_page(page.job, page.target, tree.root(), &offset);
  EXPECT_EQ(next, run);
  EXPECT_EQ(offset, 10);  // the space after "bbbb" was consumed
  page.dc.clear();
  EXPECT_EQ(layout_page(page.job, page.target, next, &offset), nullptr);
  EXPECT_EQ(texts(page.dc), (std::vector<std::string>{"text_out(0,0,\"cccc\")"}));
}

TEST(Page, EveryBodyStartsANewPage) {
  LayoutTree tree;
  pdoc_element* html = tree.add(nullptr, ELE_HTML, PDOC_TAG_HTML, "HTML");
  pdoc_element* b1 = tree.add(html, ELE_BODY, PDOC_TAG_BODY, "BODY");
  tree.text(b1, "one");
  pdoc_element* b2 = tree.add(html, ELE_BODY, PDOC_TAG_BODY, "BODY");
  tree.text(b2, "two");
  RecordingPage page(300, 200);
  int offset = 0;
  EXPECT_EQ(layout_page(page.job, page.target, tree.root(), &offset), b2);
  EXPECT_EQ(texts(page.dc), (std::vector<std::string>{"text_out(0,0,\"one\")"}));
  EXPECT_EQ(layout_page(page.job, page.target, b2, &offset), nullptr);
}

TEST(Page, WordWiderThanThePageMakesNoProgress) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* run = tree.text(body, "abcdefghijkl");
  RecordingPage page(50, 100);
  int offset = 0;
  EXPECT_EQ(layout_page(page.job, page.target, run, &offset), run);
  EXPECT_EQ(offset, 0);
}

}  // namespace
