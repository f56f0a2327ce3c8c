// Table placement on the recording context: frames and positions, measure
// mode, width and height fitting by resolution, splitting with header rows.
#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "layout/flow.h"
#include "layout/left_out.h"
#include "layout/paginate.h"
#include "layout/table_layout.h"
#include "layout/table_size.h"
#include "layout_tree.h"

namespace {

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> out;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) out.push_back(line);
  return out;
}

// A one-cell table whose cell holds an inline picture width x height.
pdoc_element* picture_table(LayoutTree& tree, int width, int height, char fit) {
  pdoc_element* t = tree.table(nullptr);
  tree.image(tree.cell(tree.row(t)), width, height);
  tree.grid(t);
  t->table.forcedisplay = fit;
  return t;
}

TEST(TableLayout, FramesCellsSunkenAndTheTableRaisedAroundItsContent) {
  LayoutTree tree;
  pdoc_element* t = tree.table(nullptr, 1, 1, 2);
  tree.cell_text(tree.row(t), "abc");
  tree.grid(t);
  RecordingPage page(300, 200);
  int y = 0, width = 0;
  TableResult r = layout_table(page.job, page.target, &y, &width, t, 0, 0);
  EXPECT_EQ(r.outcome, TABLE_DONE);
  EXPECT_EQ(width, 31);
  EXPECT_EQ(y, 22);
  EXPECT_EQ(page.dc.ops_starting("text_out"), (std::vector<std::string>{"text_out(5,5,\"abc\")"}));
  auto moves = page.dc.ops_starting("move_to");
  ASSERT_EQ(moves.size(), 2u);
  EXPECT_EQ(moves[0], "move_to(3,19)");  // cell frame: bottom-left corner first
  EXPECT_EQ(moves[1], "move_to(0,22)");  // table frame last, T pixels wide
  EXPECT_EQ(page.dc.ops_starting("line_to")[5], "line_to(30,0)");

  t->table.border = 0;
  page.dc.clear();
  y = 0;
  layout_table(page.job, page.target, &y, &width, t, 0, 0);
  EXPECT_TRUE(page.dc.ops_starting("move_to").empty());
}

TEST(TableLayout, BackgroundComesFromCellThenRowThenTable) {
  LayoutTree tree;
  pdoc_element* t = tree.table(nullptr, 0, 0, 0);
  pdoc_element* row = tree.row(t);
  pdoc_element* a = tree.cell_text(row, "a");
  tree.cell_text(row, "b");
  tree.grid(t);
  t->table.bgcolor = 0x0000ff;
  a->cell.bgcolor = 0x00ff00;
  RecordingPage page(300, 200);
  int y = 0, width = 0;
  layout_table(page.job, page.target, &y, &width, t, 0, 0);
  EXPECT_EQ(page.dc.ops_starting("fill_rect"),
            (std::vector<std::string>{"fill_rect(0,0,8,14,0x00ff00)", "fill_rect(7,0,15,14,0x0000ff)"}));
}

TEST(TableLayout, MeasureModeDrawsNothingAndAdvancesByTheHeight) {
  LayoutTree tree;
  pdoc_element* t = tree.table(nullptr, 1, 1, 2);
  tree.cell_text(tree.row(t), "abc");
  tree.grid(t);
  RecordingPage page(300, 200);
  int y = 10, width = 0;
  EXPECT_EQ(layout_table(page.job, page.target, &y, &width, t, 0, LAYOUT_MEASURE).outcome, TABLE_DONE);
  EXPECT_EQ(y, 10 + 23 - 1);
  EXPECT_TRUE(page.dc.ops_starting("text_out").empty());
  EXPECT_TRUE(page.dc.ops_starting("move_to").empty());
}

TEST(TableLayout, WidthFittingStepsDownByFiveOnScreen) {
  LayoutTree tree;
  pdoc_element* t = picture_table(tree, 400, 10, 'W');
  RecordingPage page(200, 400);
  int y = 0, width = 0;
  testing::internal::CaptureStdout();
  TableResult r = layout_table(page.job, page.target, &y, &width, t, 0, 0);
  auto out = lines_of(testing::internal::GetCapturedStdout());
  EXPECT_EQ(r.outcome, TABLE_DONE);
  ASSERT_GE(out.size(), 2u);
  EXPECT_EQ(out[0], "<br>Cannot fit width! 406 in 200 at DPI: 96.  Forcing DPI to : 91<br>");
  std::regex step("<br>Cannot fit width! (\\d+) in 200 at DPI: (\\d+)\\.  Forcing DPI to : (\\d+)<br>");
  int dpi = 96;
  for (const std::string& line : out) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(line, m, step)) << line;
    EXPECT_EQ(std::stoi(m[2]), dpi);
    EXPECT_EQ(std::stoi(m[3]), dpi - 5);
    EXPECT_GT(std::stoi(m[1]), 200);
    dpi -= 5;
  }
  EXPECT_LE(width, 200);
  EXPECT_EQ(page.target->get_resolution(page.target), 96);  // restored
}

TEST(TableLayout, WidthFittingOnAPrinterGoesProportionalFirst) {
  LayoutTree tree;
  pdoc_element* t = picture_table(tree, 400, 10, 'B');
  RecordingPage page(1250, 6000, 600);
  int y = 0, width = 0;
  testing::internal::CaptureStdout();
  layout_table(page.job, page.target, &y, &width, t, 0, LAYOUT_PAGE_TOP);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "<br>Cannot fit width! 2536 in 1250 at DPI: 600.  Forcing DPI to : 295<br>\n");
  EXPECT_EQ(width, 1247);
  EXPECT_EQ(page.target->get_resolution(page.target), 600);
}

TEST(TableLayout, HeightOnlyFittingLeavesAWideTableWide) {
  LayoutTree tree;
  pdoc_element* t = picture_table(tree, 400, 10, 'H');
  RecordingPage page(200, 400);
  int y = 0, width = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(layout_table(page.job, page.target, &y, &width, t, 0, 0).outcome, TABLE_DONE);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
  EXPECT_EQ(width, 406);
}

TEST(TableLayout, TooWideEvenAtTheLowestResolutionCannotBeLaidOut) {
  LayoutTree tree;
  pdoc_element* t = picture_table(tree, 100000, 10, 'W');
  RecordingPage page(20, 400);
  int y = 0, width = 0;
  testing::internal::CaptureStdout();
  EXPECT_EQ(layout_table(page.job, page.target, &y, &width, t, 0, 0).outcome, TABLE_FAILED);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(page.target->get_resolution(page.target), 96);
}

TEST(TableLayout, TallTableMovesToTheNextPageAndShrinksThere) {
  LayoutTree tree;
  pdoc_element* t = picture_table(tree, 10, 300, 'B');
  RecordingPage page(200, 200);
  int y = 50, width = 0;
  TableResult moved = layout_table(page.job, page.target, &y, &width, t, 0, 0);
  EXPECT_EQ(moved.outcome, TABLE_MOVED);
  EXPECT_EQ(moved.element, t);

  y = 0;
  testing::internal::CaptureStdout();
  TableResult top = layout_table(page.job, page.target, &y, &width, t, 0, LAYOUT_PAGE_TOP);
  auto out = lines_of(testing::internal::GetCapturedStdout());
  EXPECT_EQ(top.outcome, TABLE_DONE);
  EXPECT_LT(y, 200);
  ASSERT_FALSE(out.empty());
  EXPECT_LE(out.size(), 40u);
  EXPECT_EQ(out[0], "<br>Cannot fit height! 306 in height: 200 at DPI: 96.  Forcing DPI to : 91<br>");
  EXPECT_EQ(page.target->get_resolution(page.target), 96);
}

// Collects the text drawn on each page.
struct PageTexts {
  RecordingDc* dc;
  std::vector<std::vector<std::string>> pages;
  static void begin(void* user, int) { static_cast<PageTexts*>(user)->dc->clear(); }
  static void end(void* user, int, pdoc_element*, int) {
    auto* self = static_cast<PageTexts*>(user);
    self->pages.push_back(self->dc->ops_starting("text_out"));
  }
  // Paginates root on the page, collecting the text of every page; what the
  // layout prints goes to *printed.
  PaginateResult paginate(RecordingPage& page, pdoc_element* root, int max_pages, std::string* printed) {
    PaginateHooks hooks;
    hooks.user = this;
    hooks.begin_page = begin;
    hooks.end_page = end;
    testing::internal::CaptureStdout();
    PaginateResult result = paginate_document(page.target, root, &hooks, max_pages);
    *printed = testing::internal::GetCapturedStdout();
    return result;
  }
};

TEST(TableLayout, SplitTableRepeatsItsHeaderOnEveryPage) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* t = tree.table(body);
  t->table.forcedisplay = 'W';
  tree.cell_text(tree.row(tree.thead(t)), "HEAD");
  for (int i = 1; i <= 5; i++) tree.cell_text(tree.row(t), "r" + std::to_string(i));
  tree.grid(t);
  RecordingPage page(200, 60);
  PageTexts texts{&page.dc, {}};
  std::string out;
  PaginateResult result = texts.paginate(page, tree.root(), 0, &out);
  EXPECT_EQ(result.pages, 3);
  EXPECT_EQ(result.skipped, 0);
  EXPECT_EQ(out, "Table can't fit: TABLE from line:1,1\nTable can't fit: TABLE from line:1,1\n");
  ASSERT_EQ(texts.pages.size(), 3u);
  EXPECT_EQ(texts.pages[0],
            (std::vector<std::string>{"text_out(3,3,\"HEAD\")", "text_out(3,20,\"r1\")", "text_out(3,37,\"r2\")"}));
  EXPECT_EQ(texts.pages[1][0], "text_out(3,3,\"HEAD\")");
  EXPECT_EQ(texts.pages[1][1], "text_out(3,20,\"r3\")");
  EXPECT_EQ(texts.pages[2], (std::vector<std::string>{"text_out(3,3,\"HEAD\")", "text_out(3,20,\"r5\")"}));
}

TEST(TableLayout, NothingIsPlacedAboveTheTablesTop) {
  // No rows, no frame, a border wider than the spacing: the rows would start
  // above the table.
  LayoutTree tree;
  pdoc_element* t = tree.table(nullptr, 5, 1, 0);
  t->table.frame = TABLE_FRAME_VOID;
  RecordingPage page(200, 100);
  for (int flags : {0, LAYOUT_MEASURE}) {
    int y = 0, width = 0;
    EXPECT_EQ(layout_table(page.job, page.target, &y, &width, t, 0, flags).outcome, TABLE_DONE);
    EXPECT_EQ(y, -1) << "no row used";
  }
}

TEST(TableLayout, OnlyDrawnLossesAreCounted) {
  LayoutTree tree;
  // Rows the builder kept no grid for.
  pdoc_element* gridless = tree.table(nullptr);
  tree.cell_text(tree.row(gridless), "lost");
  // A cell taller than the page.
  pdoc_element* tall = tree.table(nullptr);
  pdoc_element* cell = tree.cell(tree.row(tall));
  for (int i = 0; i < 10; i++) {
    tree.text(cell, "line");
    tree.br(cell);
  }
  tree.grid(tall);
  tall->table.forcedisplay = 'W';
  RecordingPage page(200, 60);
  for (pdoc_element* table : {gridless, tall}) {
    LeftOutScope scope;
    int y = 0, width = 0;
    layout_table(page.job, page.target, &y, &width, table, 0, LAYOUT_MEASURE);
    EXPECT_EQ(scope.report().elements, 0) << "measuring loses nothing";
    y = 0;
    layout_table(page.job, page.target, &y, &width, table, 0, LAYOUT_PAGE_TOP);
    EXPECT_EQ(scope.report().elements, 1);
  }
}

// Rows of THEAD groups after the first row are repeated on every page the
// table continues on; when they no longer fit above the next row, they are
// not, and the table never goes back over rows already placed.
TEST(TableLayout, HeaderRowsThatDoNotFitAgainAreNotRepeated) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* t = tree.table(body);
  t->table.forcedisplay = 'W';
  tree.cell_text(tree.row(t), "x");
  pdoc_element* head = tree.thead(t);
  for (const char* text : {"h", "a", "b"}) tree.cell_text(tree.row(head), text);
  tree.grid(t);
  RecordingPage page(40, 40);
  PageTexts texts{&page.dc, {}};
  std::string out;
  PaginateResult result = texts.paginate(page, tree.root(), 20, &out);
  EXPECT_TRUE(result.finished);
  EXPECT_EQ(result.skipped, 0);
  ASSERT_EQ(texts.pages.size(), 3u);
  EXPECT_EQ(texts.pages[0], (std::vector<std::string>{"text_out(3,3,\"x\")", "text_out(3,20,\"h\")"}));
  EXPECT_EQ(texts.pages[1], (std::vector<std::string>{"text_out(3,3,\"h\")", "text_out(3,20,\"a\")"}));
  EXPECT_EQ(texts.pages[2], (std::vector<std::string>{"text_out(3,3,\"b\")"}));
}

TEST(TableLayout, PercentTableCellIsNotCentred) {
  LayoutTree tree;
  pdoc_element* t = tree.table(nullptr);
  pdoc_element* cell = tree.cell(tree.row(t));
  pdoc_element* inner = tree.table(cell);
  inner->table.height_frac = 0.5;
  EXPECT_TRUE(cell_has_percent_table(cell));
  inner->table.height_frac = 0;
  EXPECT_FALSE(cell_has_percent_table(cell));
}

}  // namespace
