// Table sizing on the recording context: width bounds, column distribution,
// spanning cells, row heights with spreading and stretching, void frames.
#include <gtest/gtest.h>

#include "layout/flow.h"
#include "layout/table_size.h"
#include "layout_tree.h"

namespace {

// A cell whose content has a maximum width but no minimum: a float.
pdoc_element* float_cell(LayoutTree& tree, pdoc_element* row, int width, int colspan = 1) {
  pdoc_element* c = tree.cell(row, colspan);
  tree.image(c, width, 10, ALIGN_LEFT);
  return c;
}

struct Table {
  LayoutTree tree;
  pdoc_element* table;
  Table(int border = 0, int padding = 0, int spacing = 0) { table = tree.table(nullptr, border, padding, spacing); }
  int final(int c) { return table->table.columns[c].final_width; }
};

TEST(TableSize, ColumnsShareTheContentByTheirMaximums) {
  Table t;
  pdoc_element* row = t.tree.row(t.table);
  float_cell(t.tree, row, 100);
  float_cell(t.tree, row, 300);
  t.tree.grid(t.table);
  t.table->table.width = 200;
  RecordingPage page(600, 400);
  EXPECT_EQ(table_column_widths(page.job, page.target, t.table), 200);
  EXPECT_EQ(t.final(0), 50);
  EXPECT_EQ(t.final(1), 150);
}

TEST(TableSize, ColumnWhoseMinimumExceedsItsShareIsFixedFirst) {
  Table t;
  pdoc_element* row = t.tree.row(t.table);
  float_cell(t.tree, row, 100)->cell.width = 80;  // minimum 80 (and maximum capped at 80)
  float_cell(t.tree, row, 300);
  t.tree.grid(t.table);
  t.table->table.width = 200;
  RecordingPage page(600, 400);
  EXPECT_EQ(table_column_widths(page.job, page.target, t.table), 200);
  EXPECT_EQ(t.final(0), 80);
  EXPECT_EQ(t.final(1), 120);
}

TEST(TableSize, NaturalWidthPercentAndTooWideTables) {
  Table t(1, 1, 2);
  pdoc_element* row = t.tree.row(t.table);
  t.tree.cell_text(row, "abc");     // 21 wide
  t.tree.cell_text(row, "de fgh");  // 42 wide, widest word 21
  t.tree.grid(t.table);
  RecordingPage page(600, 400);
  // e = 2p + 2b + s = 6 per column, then s + 2b for the outer frame.
  EXPECT_EQ(table_column_widths(page.job, page.target, t.table), 21 + 42 + 12 + 4);
  EXPECT_EQ(t.final(0) + t.final(1), 63);

  t.table->table.width_frac = 0.5;
  EXPECT_EQ(table_column_widths(page.job, page.target, t.table), 300);

  RecordingPage narrow(40, 400);
  t.table->table.width_frac = 0;
  int T = table_column_widths(narrow.job, narrow.target, t.table);
  EXPECT_EQ(T, t.table->table.min_width);
  EXPECT_GT(T, 40);
  EXPECT_EQ(t.final(0), 21);
  EXPECT_EQ(t.final(1), 21);
}

TEST(TableSize, PercentColumnIsCappedBeforeDistribution) {
  Table t;
  pdoc_element* row = t.tree.row(t.table);
  float_cell(t.tree, row, 300)->cell.width_frac = 0.25;
  float_cell(t.tree, row, 300);
  t.tree.grid(t.table);
  t.table->table.width = 400;
  RecordingPage page(600, 400);
  table_column_widths(page.job, page.target, t.table);
  EXPECT_EQ(t.table->table.columns[0].max_width, 100);
  EXPECT_EQ(t.final(0), 100);  // 400 * 100 / 400
  EXPECT_EQ(t.final(1), 300);
}

TEST(TableSize, SpanningCellWidensItsColumnsInProportionOrEvenly) {
  Table t;
  pdoc_element* r0 = t.tree.row(t.table);
  float_cell(t.tree, r0, 100);
  float_cell(t.tree, r0, 300);
  float_cell(t.tree, t.tree.row(t.table), 800, 2);
  t.tree.grid(t.table);
  RecordingPage page(2000, 400);
  table_width_bounds(page.job, page.target, t.table);
  EXPECT_EQ(t.table->table.columns[0].max_width, 200);  // (800 + 2) * 100 / 400
  EXPECT_EQ(t.table->table.columns[1].max_width, 601);

  Table even;
  pdoc_element* e0 = even.tree.row(even.table);
  even.tree.cell(e0);
  even.tree.cell(e0);
  float_cell(even.tree, even.tree.row(even.table), 100, 2);
  even.tree.grid(even.table);
  table_width_bounds(page.job, page.target, even.table);
  EXPECT_EQ(even.table->table.columns[0].max_width, 51);
  EXPECT_EQ(even.table->table.columns[1].max_width, 51);
}

TEST(TableSize, SpanningMinimumWithNoMaximumsAnywhereIsSpreadEvenly) {
  Table t;
  pdoc_element* r0 = t.tree.row(t.table);
  t.tree.cell(r0);
  t.tree.cell(r0);
  pdoc_element* wide = t.tree.cell(t.tree.row(t.table), 2);
  wide->cell.width = 60;  // minimum 60, maximum stays 0
  t.tree.grid(t.table);
  RecordingPage page(600, 400);
  table_width_bounds(page.job, page.target, t.table);
  EXPECT_EQ(t.table->table.columns[0].min_width, 30);
  EXPECT_EQ(t.table->table.columns[1].min_width, 30);
}

TEST(TableSize, RowspanSpreadsTheContentHeight) {
  Table t;
  pdoc_element* r0 = t.tree.row(t.table);
  pdoc_element* tall = t.tree.cell(r0, 1, 2);
  t.tree.image(tall, 10, 41);  // one line 41 high
  t.tree.cell(r0);
  t.tree.cell(t.tree.row(t.table));
  t.tree.grid(t.table);
  RecordingPage page(600, 400);
  table_column_widths(page.job, page.target, t.table);
  int H = table_row_heights(page.job, page.target, t.table, 0, 0);
  EXPECT_EQ(tall->cell.content_height, 41);
  EXPECT_EQ(t.table->table.row_heights[0], 21);
  EXPECT_EQ(t.table->table.row_heights[1], 20);
  EXPECT_EQ(H, 41);
}

TEST(TableSize, WantedHeightStretchesRowsOfThePassAndLastRowTakesTheRest) {
  Table t;
  for (int i = 0; i < 3; i++) t.tree.cell_text(t.tree.row(t.table), "x");
  t.tree.grid(t.table);
  t.table->table.height = 100;
  RecordingPage page(600, 400);
  table_column_widths(page.job, page.target, t.table);
  EXPECT_EQ(table_row_heights(page.job, page.target, t.table, 0, 0), 100);
  EXPECT_EQ(t.table->table.row_heights[0], 33);
  EXPECT_EQ(t.table->table.row_heights[1], 33);
  EXPECT_EQ(t.table->table.row_heights[2], 34);

  // From row 1 on, only rows 1 and 2 are measured and stretched.
  EXPECT_EQ(table_row_heights(page.job, page.target, t.table, 1, 0), 100);
  EXPECT_EQ(t.table->table.row_heights[0], 0);
  EXPECT_EQ(t.table->table.row_heights[1], 50);
  EXPECT_EQ(t.table->table.row_heights[2], 50);

  // A percentage height does not stretch in measure mode.
  t.table->table.height = 0;
  t.table->table.height_frac = 0.5;
  EXPECT_EQ(table_row_heights(page.job, page.target, t.table, 0, LAYOUT_MEASURE), 39);
  EXPECT_EQ(table_row_heights(page.job, page.target, t.table, 0, 0), 200);
}

TEST(TableSize, VoidFrameSubtractsTheBorders) {
  Table t(2, 0, 4);
  t.tree.cell_text(t.tree.row(t.table), "abc");
  t.tree.grid(t.table);
  RecordingPage page(600, 400);
  int full_w = table_column_widths(page.job, page.target, t.table);
  int full_h = table_row_heights(page.job, page.target, t.table, 0, 0);
  t.table->table.frame = TABLE_FRAME_VOID;
  EXPECT_EQ(table_column_widths(page.job, page.target, t.table), full_w - 8);
  EXPECT_EQ(table_row_heights(page.job, page.target, t.table, 0, 0), full_h - 8);
  EXPECT_EQ(t.final(0), 21);  // the natural width still holds the content unwrapped
}

TEST(TableSize, CellOutsideTheMatrixIsReportedAndSkipped) {
  Table t;
  pdoc_element* row = t.tree.row(t.table);
  t.tree.cell_text(row, "abc");
  t.tree.grid(t.table);
  t.tree.cell_text(row, "stray");  // added after the grid was made
  RecordingPage page(600, 400);
  testing::internal::CaptureStdout();
  table_width_bounds(page.job, page.target, t.table);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "ERROR!\n");
  EXPECT_EQ(t.table->table.columns[0].max_width, 21);
}

}  // namespace
