// A layout job reuses the measurements of tables it has already made: what
// it draws, in which font and colours, and what it prints must be exactly
// what a job that measures everything again draws and prints.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "document/pdocbuild.h"
#include "layout/measure_memo.h"
#include "layout/page.h"
#include "layout/paginate.h"
#include "layout/table_pass.h"
#include "layout/table_size.h"
#include "layout_tree.h"

namespace {

// A long table whose rows differ in what a measurement leaves behind: fonts
// and colours, a cell holding only a break, cells with nested tables; and in
// how their cells lie: spanning rows or columns, aligned by their content's
// height.
std::string ledger(int rows, const char* face) {
  std::string html =
      "<html><body><font face=\"Arial\" size=5><b>Ledger</b></font>"
      "<table forcedisplay=\"W\" border=1 cellpadding=2 cellspacing=0>"
      "<thead><tr bgcolor=\"#DCE6F0\"><th>No.</th><th>Text</th><th>More</th>"
      "</tr></thead>";
  for (int r = 1; r <= rows; r++) {
    std::string more;
    if (r % 7 == 0)
      more = "<br>";
    else if (r % 11 == 0)
      more = "<table border=1><tr><td>inner " + std::to_string(r) + "</td></tr></table>";
    else if (r % 13 == 0)
      more = "<font face=\"" + std::string(face) + "\" size=1 color=green>small</font>";
    else
      more = "<i>note " + std::to_string(r * 7 % 101) + "</i>";
    std::string first = "<td align=right>" + std::to_string(r) + "</td>";
    if (r % 17 == 0)
      first = "<td align=right valign=bottom rowspan=2>" + std::to_string(r) + "<br>of<br>two<br>rows</td>";
    else if (r % 17 == 1 && r > 1)
      first.clear();  // covered by the cell above
    std::string posting = "<td><font color=red>Posting " + std::to_string(r) + "</font> for order</td>";
    if (r % 19 == 0) {
      posting = "<td colspan=2>Posting " + std::to_string(r) +
                " across two columns, long enough that one column would not hold it on a line"
                "</td>";
      more.clear();
    } else {
      more = "<td>" + more + "</td>";
    }
    if (r % 23 == 0) more = "<td>tall<br>tall<br>tall</td>";
    html += std::string(r % 23 == 0 ? "<tr valign=middle>" : "<tr>") + first + posting + more + "</tr>";
  }
  return html + "</table><p>After the table</p></body></html>";
}

// The drawing operations of a page with the state each one draws in: the
// font request and colours for text, the pen colour for lines. Handles and
// the order in which states were set are left out; they may differ.
std::vector<std::string> drawn(const std::vector<std::string>& ops) {
  std::map<std::string, std::string> objects;  // handle -> what it is
  std::string font = "stock", pen = "stock", text = "0x000000", bk = "0xffffff", mode = "opaque";
  std::vector<std::string> out;
  auto handle_after = [](const std::string& op) { return op.substr(op.rfind('=') + 1); };
  for (const std::string& op : ops) {
    if (op.rfind("create_", 0) == 0) {
      objects[handle_after(op)] = op.substr(0, op.rfind('='));
    } else if (op.rfind("select(", 0) == 0) {
      std::string what = objects[op.substr(7, op.find(')') - 7)];
      if (what.rfind("create_font", 0) == 0) font = what;
      if (what.rfind("create_pen", 0) == 0) pen = what;
    } else if (op.rfind("text_color(", 0) == 0) {
      text = op;
    } else if (op.rfind("bk_color(", 0) == 0) {
      bk = op;
    } else if (op.rfind("bk_mode(", 0) == 0) {
      mode = op;
    } else if (op.rfind("text_out(", 0) == 0) {
      out.push_back(op + " " + font + " " + text + " " + mode + " " + bk);
    } else if (op.rfind("line_to(", 0) == 0) {
      out.push_back(op + " " + pen);
    } else if (op.rfind("delete(", 0) != 0) {
      out.push_back(op);
    }
  }
  return out;
}

struct Job {
  std::vector<std::vector<std::string>> pages;
  std::string printed;
};

// Lays out every page of html on a fresh page context, with or without the
// job's records of measurements.
Job lay_out(const std::string& html, bool keep_measurements) {
  pdoc_document_ptr document(pdocbuild_string(html.c_str(), nullptr, nullptr));
  RecordingPage page(420, 300);
  Job job;
  class Pages : public PageSink {
   public:
    Pages(RecordingPage& page, Job& job) : page_(page), job_(job) {}
    RenderTarget* begin_page(int) override {
      page_.dc.clear();
      return page_.target;
    }
    bool end_page(int, const PagePosition&) override {
      job_.pages.push_back(drawn(page_.dc.ops()));
      return true;
    }

   private:
    RecordingPage& page_;
    Job& job_;
  } pages(page, job);
  if (keep_measurements) page.job.memo = measure_memo_create();
  testing::internal::CaptureStdout();
  paginate(page.job, pages, document->root, 200);
  job.printed = testing::internal::GetCapturedStdout();
  return job;
}

TEST(MeasureMemo, ReusedMeasurementsDrawAndPrintExactlyWhatMeasuringAgainDoes) {
  const std::string html = ledger(150, "Courier New");
  Job fresh = lay_out(html, false);
  Job kept = lay_out(html, true);
  ASSERT_GT(fresh.pages.size(), 5u);  // the table reaches many pages
  ASSERT_EQ(kept.pages.size(), fresh.pages.size());
  for (size_t p = 0; p < fresh.pages.size(); p++) EXPECT_EQ(kept.pages[p], fresh.pages[p]) << p;
  EXPECT_EQ(kept.printed, fresh.printed);
}

TEST(MeasureMemo, MeasurementsThatPrintADiagnosticAreMadeAgainEachTime) {
  // A face the context refuses prints "Error locating font" wherever it is
  // measured; a reused measurement would print it once only.
  const std::string html = ledger(120, "Nowhere Sans");
  auto refusing = [&](bool keep) {
    pdoc_document_ptr document(pdocbuild_string(html.c_str(), nullptr, nullptr));
    RecordingPage page(420, 300);
    page.dc.refuse_face("Nowhere Sans");
    testing::internal::CaptureStdout();
    if (keep) page.job.memo = measure_memo_create();
    int pages = 0;
    pdoc_element* element = document->root;
    int offset = 0;
    while (element && pages++ < 200) element = layout_page(page.job, page.target, element, &offset);
    return testing::internal::GetCapturedStdout();
  };
  const std::string fresh = refusing(false);
  EXPECT_NE(fresh.find("Error locating font Nowhere Sans"), std::string::npos);
  EXPECT_EQ(refusing(true), fresh);
}

TEST(MeasureMemo, ContainsTableLooksBelowTheElementOnly) {
  LayoutTree tree;
  pdoc_element* body = tree.body();
  pdoc_element* first = tree.add(body, ELE_TEXT, PDOC_TAG_P, "P");
  tree.text(first, "text");
  pdoc_element* second = tree.add(body, ELE_TEXT, PDOC_TAG_P, "P");
  pdoc_element* deep = tree.add(second, ELE_TEXT, PDOC_TAG_P, "P");
  tree.add(deep, ELE_TABLE, PDOC_TAG_TABLE, "TABLE");
  EXPECT_FALSE(contains_table(first));  // its sibling's table is not its own
  EXPECT_TRUE(contains_table(second));
  EXPECT_TRUE(contains_table(body));
  EXPECT_FALSE(contains_table(nullptr));
}

pdoc_element* first_table(pdoc_element* e) {
  for (; e; e = e->next) {
    if (e->type == ELE_TABLE) return e;
    if (pdoc_element* inside = first_table(e->child)) return inside;
  }
  return nullptr;
}

std::vector<std::pair<pdoc_element*, int>> pass_rows(pdoc_element* table, int start, const TableCells* cells) {
  std::vector<std::pair<pdoc_element*, int>> rows;
  TablePassRows pass(table, start, cells);
  pdoc_element* row;
  int r;
  while (pass.next(&row, &r) && rows.size() < 100) rows.emplace_back(row, r);
  return rows;
}

TEST(MeasureMemo, GatheredRowsGiveTheSamePassAsWalkingThem) {
  // Two header rows, then body rows with a cell spanning three rows.
  std::string html =
      "<table border=1><thead><tr><th>h1</th><th>a</th></tr>"
      "<tr><th>h2</th><th>b</th></tr></thead>";
  for (int r = 0; r < 9; r++)
    html += r == 3             ? "<tr><td rowspan=3>tall</td><td>x</td></tr>"
            : r == 4 || r == 5 ? "<tr><td>y</td></tr>"
                               : "<tr><td>" + std::to_string(r) + "</td><td>z</td></tr>";
  pdoc_document_ptr document(pdocbuild_string((html + "</table>").c_str(), nullptr, nullptr));
  pdoc_element* table = first_table(document->root);
  ASSERT_NE(table, nullptr);
  RecordingPage page(400, 300);
  page.job.memo = measure_memo_create();
  table_column_widths(page.job, page.target, table);
  table_row_heights(page.job, page.target, table, 0, 0);
  const TableCells* cells = memo_find_table_cells(page.job.memo.get(), table, table->table.rows);
  ASSERT_NE(cells, nullptr);
  const int rows = table->table.rows;
  ASSERT_EQ(rows, 11);
  ASSERT_EQ(static_cast<int>(cells->row_elements.size()), rows);
  EXPECT_EQ(memo_find_table_cells(page.job.memo.get(), table, rows + 1), nullptr);  // gathered for another count
  EXPECT_EQ(cells->head_rows, (std::vector<int32_t>{0, 1}));
  // The records are the job's own: another job starts without them.
  LayoutJob other = layout_job_keeping_measurements();
  EXPECT_EQ(memo_find_table_cells(other.memo.get(), table, rows), nullptr);
  EXPECT_EQ(memo_find_table_cells(nullptr, table, rows), nullptr);

  for (int start = -1; start <= rows + 1; start++)
    EXPECT_EQ(pass_rows(table, start, cells), pass_rows(table, start, nullptr)) << start;
  EXPECT_EQ(pass_rows(table, 7, cells).size(), 2u + 4u);  // the header, then rows 7 to 10

  // A row's index is found searching back from where the pass is.
  for (int r = 0; r < rows; r++) {
    pdoc_element* row = cells->row_elements[r];
    EXPECT_EQ(table_row_index_near(table, row, r, cells), r);
    EXPECT_EQ(table_row_index_near(table, row, rows - 1, cells), r);
    EXPECT_EQ(table_row_index_near(table, row, r, nullptr), r);
    if (r > 0) {
      EXPECT_EQ(table_row_index_near(table, row, r - 1, cells), r);  // not behind: walked
    }
  }
}

TEST(MeasureMemo, APassOfKeptMeasurementsLeavesTheColoursOfItsLastCell) {
  // The last cell's font colour is what a measured pass leaves on the
  // context; the cells before it leave others.
  const char* html =
      "<table border=1><tr><td><font color=green>a</font></td><td>b</td></tr>"
      "<tr><td>c</td><td><font color=red>d</font></td></tr></table>";
  auto colour_after_pass = [&](bool keep, int passes) {
    pdoc_document_ptr document(pdocbuild_string(html, nullptr, nullptr));
    pdoc_element* table = first_table(document->root);
    EXPECT_NE(table, nullptr);
    if (!table) return DcColor{0};
    RecordingPage page(400, 300);
    if (keep) page.job.memo = measure_memo_create();
    table_column_widths(page.job, page.target, table);
    for (int p = 0; p < passes; p++) {
      page.dc.set_text_color(dc_rgb(0, 0, 255));
      table_row_heights(page.job, page.target, table, 0, 0);
    }
    return page.dc.get_text_color();
  };
  const DcColor measured = colour_after_pass(false, 1);
  EXPECT_EQ(measured, dc_rgb(255, 0, 0));
  EXPECT_EQ(colour_after_pass(true, 1), measured);
  EXPECT_EQ(colour_after_pass(true, 3), measured);  // the later passes reuse every cell
}

}  // namespace
