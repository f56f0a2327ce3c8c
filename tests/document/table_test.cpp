// Table normalisation: column counts, filler cells, span cutting, the matrix
// and the exact warning lines.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "document/pdocbuild.h"
#include "document/pdocdump_fields.h"
#include "document/pdoctable.h"

namespace {

struct Built {
  pdoc_document_ptr doc;
  std::string reports;
  pdoc_element* table() const { return doc->root->child->child; }
  std::string matrix() const {
    std::string s;
    pdoc_dump_matrix(s, table(), -1);
    return s;
  }
};

Built build(const char* html) {
  Built b;
  testing::internal::CaptureStdout();
  b.doc.reset(pdocbuild_string(html, nullptr, nullptr));
  b.reports = testing::internal::GetCapturedStdout();
  return b;
}

std::string warn(int line, int col, const std::string& message) {
  return "PDOC_BUILDER ERROR at (line,col) (" + std::to_string(line) + "," + std::to_string(col) + "): " + message +
         "\n";
}

}  // namespace

TEST(Table, RegularAndShortRows) {
  Built b = build("<table><tr><td>a<td>b<tr><td>c<td>d</table>");
  EXPECT_EQ(b.table()->table.cols, 2);
  EXPECT_EQ(b.matrix(), "matrix r=0: 0 1\nmatrix r=1: 2 3\n");

  Built s = build("<table><tr><td>a<td>b<td>c</tr><tr><td>d</td></tr></table>");
  EXPECT_EQ(s.table()->table.cols, 3);
  EXPECT_NE(s.reports.find("WARNING Coumns(1) for this Row[1] do not match table(3). Fixing.\n\n"), std::string::npos);
  pdoc_element* filler = s.table()->child->next->child->next;
  ASSERT_TRUE(filler);
  EXPECT_EQ(filler->cell.colspan, 2);
  EXPECT_EQ(s.table()->child->next->row.span_total, 3);
  EXPECT_EQ(s.matrix(), "matrix r=0: 0 1 2\nmatrix r=1: 3 4 4\n");
}

TEST(Table, RowspansAndCutting) {
  Built b = build("<table><tr><td rowspan=2>a<td>b<tr><td>c</table>");
  EXPECT_EQ(b.reports.find("WARNING"), std::string::npos);
  EXPECT_EQ(b.matrix(), "matrix r=0: 0 1\nmatrix r=1: 0 2\n");

  Built cut = build("<table><tr><td rowspan=5 colspan=2>a<tr><td>b</table>");
  EXPECT_EQ(cut.table()->child->child->cell.rowspan, 2);
  const std::string w = "WARNING Rowspan or colpsan exceeded rows or cols (row,col:0,0).\n";
  EXPECT_NE(cut.reports.find(w + "\n"), std::string::npos);
  EXPECT_EQ(cut.matrix(), "matrix r=0: 0 0 1\nmatrix r=1: 0 0 2\n");

  Built over = build("<table><tr><td>A<td rowspan=2>B<tr><td colspan=2>C</table>");
  EXPECT_EQ(over.table()->table.cols, 3);
  EXPECT_EQ(over.matrix(), "matrix r=0: 0 1 2\nmatrix r=1: 3 3 -\n");
  EXPECT_NE(over.reports.find("WARNING Rows for this column do not match table, even after fixup.\n"),
            std::string::npos);
}

TEST(Table, EmptyTablesAndRowsWithoutCells) {
  Built e = build("<p>x</p><table></table>");
  EXPECT_EQ(e.reports, warn(1, 24, "WARNING Getting rid of empty table line: 1 col: 16.\n"));
  EXPECT_EQ(e.doc->root->child->child->next, nullptr);

  Built n = build("<table><tr></tr><tr></tr></table>");
  EXPECT_EQ(n.table()->table.cols, 1);
  EXPECT_NE(n.reports.find("WARNING No Cells for any Rows[2]. Fixing.\n"), std::string::npos);
  EXPECT_EQ(n.matrix(), "matrix r=0: 0\nmatrix r=1: 1\n");
}

TEST(Table, HugeAndZeroSpansStayInside) {
  Built z = build("<table><tr><td colspan=0>a<td>b</table>");
  EXPECT_EQ(z.table()->table.cols, 1);
  EXPECT_EQ(z.matrix(), "matrix r=0: 1\n");

  Built h = build("<table><tr><td colspan=2000000000 rowspan=-3>a<td colspan=2000000000>b</table>");
  EXPECT_EQ(h.table()->table.cols, 1000);
  EXPECT_EQ(h.reports.rfind(warn(1, 46, "WARNING colspan 2000000000 is over the limit of 1000. Using 1000."), 0), 0u)
      << h.reports;
  Built r = build("<table><tr><td rowspan=70000>a</table>");
  EXPECT_EQ(r.reports.rfind(warn(1, 30, "WARNING rowspan 70000 is over the limit of 65534. Using 65534."), 0), 0u)
      << r.reports;
  EXPECT_EQ(h.table()->child->row.span_total, 1000);
  pdoc_element* second = h.table()->child->child->next;
  EXPECT_EQ(second->cell.colspan, 0);
}

TEST(Table, FillerCellsLeaveNoStyleBehind) {
  // A nested table inside a colour: the colour stays within its cell whether
  // the nested table's rows are full or short (and padded by a filler cell).
  for (const char* second_row : {"<tr><td>c<td>d", "<tr><td>c"}) {
    SCOPED_TRACE(second_row);
    const std::string html = std::string("<table><tr><td><font color=red><table><tr><td>a<td>b") + second_row +
                             "</table></font>after</td><td>next</td></tr></table>";
    Built b = build(html.c_str());
    pdoc_element* outer_row = b.table()->child;
    pdoc_element* first = outer_row->child;
    ASSERT_TRUE(first && first->next && first->next->child);
    EXPECT_EQ(first->next->child->style.color, -1) << "colour leaked into the next cell";
    pdoc_element* inner = first->child;
    ASSERT_EQ(inner->type, ELE_TABLE);
    EXPECT_EQ(inner->child->child->child->style.color, 0xFF);
  }
}

TEST(Table, OneOverTheCellLimitIsReportedAndKeepsNoMatrix) {
  const int rows = static_cast<int>(PDOC_MAX_TABLE_POSITIONS / PDOC_MAX_TABLE_COLS) + 1;
  std::string html = "<p>x</p>\n  <table>";
  for (int r = 0; r < rows; ++r) html += "<tr><td colspan=1000></td></tr>";
  html += "</table>";
  Built b = build(html.c_str());
  pdoc_element* table = b.doc->root->child->child->next;
  ASSERT_EQ(table->type, ELE_TABLE);
  EXPECT_EQ(table->table.matrix, nullptr);
  EXPECT_EQ(table->table.rows, rows);
  EXPECT_EQ(b.reports, warn(2, static_cast<int>(html.size()) - 8,
                            "WARNING Table line: 2 col: 10 has 1000 columns and " + std::to_string(rows) +
                                " rows, over the limit of 8388608 cells. "
                                "Leaving it out.\n"));
}
