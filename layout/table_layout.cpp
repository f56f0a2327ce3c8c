// Table placement: width and height fitting by resolution, the header check,
// and the row pass that draws backgrounds, frames and cell contents.
//
// Short names, as the rest of the layout uses them:
//   T  the table's width          H  the height of its rows from start_row on
//   C  the number of columns      r, c  a row and a column index
//   b  the frame (border) width   s  the spacing between cells
//   p  the padding inside a cell
//   rh, cw  a row's height and a column's width, padding included
//   rowY  the top of the current row; x  the left edge of the current cell
#include "layout/table_layout.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>
#include <vector>

#include "layout/flow.h"
#include "layout/fonts.h"
#include "layout/left_out.h"
#include "layout/measure_memo.h"
#include "layout/trace.h"
#include "layout/paint.h"
#include "layout/render_target.h"
#include "layout/table_pass.h"
#include "layout/table_size.h"
#include "document/pdoctree.h"

namespace {

// Puts the target back to the resolution it had when the table started.
class ResolutionGuard {
 public:
  explicit ResolutionGuard(RenderTarget* target) : target_(target), r0_(target->get_resolution(target)) {}
  ~ResolutionGuard() {
    if (changed_) target_->set_resolution(target_, r0_);
  }
  void set(int dpi) {
    target_->set_resolution(target_, dpi);
    changed_ = true;
  }
  ResolutionGuard(const ResolutionGuard&) = delete;
  ResolutionGuard& operator=(const ResolutionGuard&) = delete;

 private:
  RenderTarget* target_;
  int r0_;
  bool changed_ = false;
};

void print_height_step(LayoutJob& job, int H, int page_h, int dpi, int next) {
  layout_trace(job, "<br>Cannot fit height! %d in height: %d at DPI: %d.  Forcing DPI to : %d<br>\n", H, page_h, dpi,
               next);
}

// A position for the drawing operations, saturated far outside any page.
int px(int64_t v) {
  constexpr int64_t limit = INT32_MAX / 4;
  return static_cast<int>(std::clamp<int64_t>(v, -limit, limit));
}

// The next lower resolution: five steps while below 300, proportional above.
int next_resolution(int current, int64_t have, int64_t need, bool proportional) {
  if (current < 300 && !proportional) return current - 5;
  return need > 0 ? static_cast<int>(current * have / need) : current - 5;
}

// Whether element lies at or below ancestor.
bool inside(const pdoc_element* element, const pdoc_element* ancestor) {
  for (const pdoc_element* e = element; e; e = e->parent)
    if (e == ancestor) return true;
  return false;
}

// Lays out a placed cell's content in its subtarget and answers whether all
// of it was shown: a flow that finished has stepped past the cell's end. A
// clipped cell at the top of a page is shrunk first until at least something
// of it fits.
bool draw_cell_content(LayoutJob& job, RenderTarget* target, RenderTarget* sub, pdoc_element* cell, bool shrink,
                       int table_height, int flags) {
  if (shrink) {
    int attempts = 0;
    for (;;) {
      int fw = 0, fh = 0, offset = 0;
      pdoc_element* stop = layout_flow(job, sub, &fw, &fh, cell->child, &offset, LAYOUT_MEASURE);
      if (stop != cell->child || offset != 0 || attempts >= 40) break;
      attempts++;
      int current = sub->get_resolution(sub);
      int next = std::max(1, next_resolution(current, page_height(sub), table_height, attempts >= 39));
      print_height_step(job, table_height, page_height(target), target->get_resolution(target), next);
      sub->set_resolution(sub, next);
    }
  }
  int fw = 0, fh = 0, offset = 0;
  return !inside(layout_flow(job, sub, &fw, &fh, cell->child, &offset, flags), cell);
}

// Lowers the resolution until the table's columns, T wide, fit the page
// width. False when no resolution is left to try.
bool fit_width(LayoutJob& job, RenderTarget* target, pdoc_element* table, int page_w, ResolutionGuard& resolution,
               int* T) {
  while (page_w < *T) {
    int current = target->get_resolution(target);
    int next = next_resolution(current, page_w, *T, false);
    if (next < 3) return false;
    layout_trace(job, "<br>Cannot fit width! %d in %d at DPI: %d.  Forcing DPI to : %d<br>\n", *T, page_w, current,
                 next);
    resolution.set(next);
    *T = table_column_widths(job, target, table);
  }
  return true;
}

// Measures the rows' height H and, where the fit allows, lowers the
// resolution until they fit below y, measuring the widths T again. False
// when the table should go to the next page instead, not being at its top.
bool fit_height(LayoutJob& job, RenderTarget* target, pdoc_element* table, int start_row, int flags, char fit, int y,
                int page_h, ResolutionGuard& resolution, int* T, int* H) {
  int tries = 0;
  *H = table_row_heights(job, target, table, start_row, flags);
  while (int64_t{y} + *H > page_h) {
    if (tries == 40) break;
    tries++;
    if (fit != 'H' && fit != 'B') break;
    if (!(flags & LAYOUT_PAGE_TOP)) return false;
    int current = target->get_resolution(target);
    int next = std::max(1, next_resolution(current, page_h, *H, tries >= 39));
    print_height_step(job, *H, page_h, current, next);
    resolution.set(next);
    *T = table_column_widths(job, target, table);
    *H = table_row_heights(job, target, table, start_row, flags);
  }
  return true;
}

// What drawing the rows of one pass over a table shares.
struct TablePlacement {
  LayoutJob& job;
  RenderTarget* target;
  pdoc_element* table;
  pdoc_table_fields& t;
  int start_row;
  int flags;
  int T;
  int H;
  int page_h;
  int C;
  int rows;
  TableMetrics m;
  // The cells already drawn, by column and row; a spanning cell marks all
  // the slots it covers.
  std::vector<char>& occupied;
  // Gathered by table_row_heights when the job keeps its measurements.
  const TableCells* cells;
  int xoff;
  int top;
  // Positions are kept in 64 bits: with huge lengths from the document the
  // sums of many rows would not fit an int; drawing gets them saturated.
  int64_t rowY;
  bool page_top;

  char& slot(int c, int r) { return occupied[static_cast<size_t>(c) * rows + r]; }
  int row_height(int r) const { return r < rows ? t.row_heights[r] : 0; }

  // Whether a row of height rh at `at` reaches below the page.
  bool over(int64_t at, int64_t rh) const { return m.void_frame ? at + rh - 2 * m.b > page_h : at + m.b + rh > page_h; }

  // The row to continue from when row r does not fit: the row holding the
  // cell in column 0, so that a cell spanning into r starts again whole. A
  // holder at or before the first row of this pass would send the next page
  // back over rows already placed, so row r itself is used then.
  TableResult continue_at(int r, pdoc_element* row) const {
    // A header row repeated above the pass never sends the table back.
    if (r < start_row) {
      pdoc_element* first_of_pass = table_row_at(table, start_row);
      return {TABLE_CONTINUES, first_of_pass ? first_of_pass : row};
    }
    pdoc_element* holder = nullptr;
    if (C > 0 && r < rows && t.matrix[0] && t.matrix[0][r]) holder = t.matrix[0][r]->parent;
    if (holder && holder->type == ELE_ROW) {
      int index = table_row_index_near(table, holder, r, cells);
      if (index > start_row || index == r) return {TABLE_CONTINUES, holder};
    }
    return {TABLE_CONTINUES, row};
  }

  // Keeps the header rows and the first body row together: false, with the
  // row to continue from, when they do not all fit below the table's top.
  bool head_fits_with_first_row(TableResult* result) const {
    const int b = m.b, s = m.s, p = m.p;
    int64_t acc = int64_t{s} + 2 * b;
    TablePassRows pass(table, start_row, cells);
    pdoc_element* row;
    int r;
    while (pass.next(&row, &r)) {
      int64_t rh = int64_t{row_height(r)} + 2 * p;
      if (over(rowY + acc, rh)) {
        *result = continue_at(r, row);
        return false;
      }
      acc += m.void_frame ? rh - 2 * b : rh + b + s;
      if (!row_in_thead(row)) break;
    }
    return true;
  }

  // On a page the table continues on, its header rows come first again, but
  // only when the row the page goes on with still fits below them: header
  // rows that fill a page are placed once, and the body rows follow alone.
  bool head_repeats() const {
    const int b = m.b, s = m.s, p = m.p;
    int64_t at = rowY;
    TablePassRows head(table, start_row, cells);
    pdoc_element* row;
    int r;
    while (head.next(&row, &r) && r < rows) {
      const int64_t rh = int64_t{row_height(r)} + 2 * p;
      if (r >= start_row) return !over(at, rh);
      at += s + 2 * b + rh;
    }
    return true;
  }

  // Draws the cell starting in column c of row r at x: its spans' slots are
  // marked, its background and frame drawn (clipped at the page's foot) and
  // its content laid out in a subtarget, rh and cw being row r's height and
  // column c's width.
  void place_cell(pdoc_element* cell, pdoc_element* row, int c, int r, int64_t x, int64_t rh, int64_t cw) {
    const int b = m.b, s = m.s, p = m.p;
    const int colspan = std::max(cell->cell.colspan, 1);
    const int rowspan = std::max(cell->cell.rowspan, 1);
    slot(c, r) = 1;
    int64_t w = cw;
    for (int k = 1; k < colspan && c + k < C; k++) {
      w += t.columns[c + k].final_width + s + 2 * b + 2 * p;
      slot(c + k, r) = 1;
    }
    int64_t h = rh;
    for (int k = 1; k < rowspan && r + k < rows; k++) {
      h += t.row_heights[r + k] + s + 2 * b + 2 * p;
      for (int q = 0; q < colspan && c + q < C; q++) slot(c + q, r + k) = 1;
    }
    const bool clipped = rowY + h > page_h;
    if (clipped) h = std::max<int64_t>(0, page_h - 2 * b - rowY);

    pdoc_element* cell_row = cell->parent && cell->parent->type == ELE_ROW ? cell->parent : row;
    int32_t bg = cell->cell.bgcolor;
    if (bg == -1) bg = cell_row->row.bgcolor;
    if (bg == -1) bg = t.bgcolor;
    if (bg != -1) paint_cell_background(target, px(x), px(rowY), px(w), px(h), bg);
    draw_bevel(target, px(x), px(rowY), px(w), px(h), b, BEVEL_SUNKEN);

    int valign = cell->cell.valign ? cell->cell.valign : cell_row->row.valign;
    int64_t free_h = h - 2 * p - cell->cell.content_height;
    int64_t off = valign == ALIGN_TOP ? 0 : valign == ALIGN_BOTTOM ? free_h : free_h / 2;
    if (off < 0 || cell_has_percent_table(cell)) off = 0;

    RenderTarget* sub = target->create_subtarget(target, px(x + b + p), px(rowY + b + p + off),
                                                 px(x + b + p + w - 1 - 2 * p), px(rowY + b + p + h - 1 - 2 * p));
    if (cell->child) {
      // Content that does not fit into the cell is not shown; it counts as
      // left out, like a cell whose content has no room at all.
      const bool shown =
          sub ? draw_cell_content(job, target, sub, cell, clipped && page_top, H, flags) : !shows_something(cell);
      if (!shown) note_left_out(1);
    }
    if (sub) sub->destroy(sub);
  }

  // Draws the rows of the pass, then the table's frame, and sets y to the
  // last pixel row used; stops at the first row that must go to the next
  // page.
  TableResult place_rows(bool repeat_head, int* y) {
    const int b = m.b, s = m.s, p = m.p;
    const int64_t row_x = m.void_frame ? int64_t{s} + xoff - b : int64_t{s} + xoff + b;
    int64_t x = row_x;
    bool placed = false;
    TablePassRows pass(table, start_row, cells, repeat_head);
    pdoc_element* row;
    int r;
    while (pass.next(&row, &r) && r < rows) {
      x = row_x;
      const int64_t rh = int64_t{row_height(r)} + 2 * p;
      // At the top of a page the first row is placed even when it overflows,
      // so that every page makes progress; a later row that does not fit goes
      // to the next page, where it can be shown whole, rather than be clipped
      // below the rows before it.
      const bool forced = page_top && !placed;
      if (!forced && C > 0 && over(rowY, rh)) {
        // Close the part drawn so far, as wide as the finished frame.
        if (!m.void_frame && r > 0)
          draw_bevel(target, xoff, top, px(int64_t{T} - 2 * b), px(rowY - b - top), b, BEVEL_RAISED);
        return continue_at(r, row);
      }
      placed = true;
      for (int c = 0; c < C; c++) {
        const int64_t cw = int64_t{t.columns[c].final_width} + 2 * p;
        pdoc_element* cell = t.matrix[c] ? t.matrix[c][r] : nullptr;
        if (!slot(c, r) && cell) place_cell(cell, row, c, r, x, rh, cw);
        x += s + 2 * b + cw;
      }
      rowY += s + 2 * b + rh;
      if (!row_in_thead(row)) page_top = false;
    }

    if (!m.void_frame) {
      draw_bevel(target, xoff, top, px(x - b - xoff), px(rowY - b - top), b, BEVEL_RAISED);
      rowY += b;
    }
    // Without rows and without a frame rowY may lie above the top; the table
    // never reports using rows above its own first one.
    *y = px(std::max(rowY, int64_t{top}) - 1);
    return {TABLE_DONE, nullptr};
  }
};

// Draws the table, T wide and H high, from start_row on at y; page_w and
// page_h are the page's size at the resolution the table started with.
TableResult place_table(LayoutJob& job, RenderTarget* target, int* y, pdoc_element* table, int start_row, int flags,
                        int T, int H, int page_w, int page_h) {
  pdoc_table_fields& t = table->table;
  // A table without a grid (no cells) still gets its spacing and frame. When
  // it has rows, the builder could not make their grid: their cells are lost.
  const bool grid = t.cols > 0 && t.rows > 0 && t.matrix && t.columns && t.row_heights;
  if (!grid && pdoc_first_row(table)) note_left_out(1);
  const int C = grid ? t.cols : 0;
  const int rows = grid ? t.rows : 0;
  std::vector<char> occupied;
  try {
    occupied.assign(static_cast<size_t>(C) * static_cast<size_t>(rows), 0);
  } catch (const std::bad_alloc&) {
    return {TABLE_FAILED, nullptr};
  }

  const TableMetrics m = table_metrics(target, table);
  const int b = m.b, s = m.s;
  int xoff = 0;
  if (T < page_w) {
    if (t.align == ALIGN_CENTER)
      xoff = (page_w - T) / 2;
    else if (t.align == ALIGN_RIGHT)
      xoff = page_w - T;
  }
  const int top = *y;
  const int64_t rowY = m.void_frame ? int64_t{top} + s - b : int64_t{top} + s + b;
  const TableCells* cells = memo_find_table_cells(job.memo.get(), table, rows);
  TablePlacement placement{job, target, table, t,        start_row, flags, T,   H,    page_h,
                           C,   rows,   m,     occupied, cells,     xoff,  top, rowY, (flags & LAYOUT_PAGE_TOP) != 0};

  pdoc_element* first = pdoc_first_row(table);
  const bool has_head = first && row_in_thead(first);
  if (has_head && !(flags & LAYOUT_PAGE_TOP) && C > 0) {
    TableResult moved{};
    if (!placement.head_fits_with_first_row(&moved)) return moved;
  }

  bool repeat_head = true;
  if (placement.page_top && start_row > 0 && C > 0) repeat_head = placement.head_repeats();
  return placement.place_rows(repeat_head, y);
}

}  // namespace

bool cell_has_percent_table(const pdoc_element* cell) {
  for (const pdoc_element* c = cell->child; c; c = c->next)
    if (c->type == ELE_TABLE && c->table.height_frac > 0) return true;
  return false;
}

TableResult layout_table(LayoutJob& job, RenderTarget* target, int* y, int* width, pdoc_element* table, int start_row,
                         int flags) {
  pdoc_table_fields& t = table->table;
  TableNesting nesting(job, table);
  if (nesting.too_deep()) return {TABLE_FAILED, nullptr};
  ResolutionGuard resolution(target);
  const char fit = t.forcedisplay ? t.forcedisplay : 'B';
  const int page_w = page_width(target);
  const int page_h = page_height(target);

  int T = table_column_widths(job, target, table);
  if ((fit == 'W' || fit == 'B') && !fit_width(job, target, table, page_w, resolution, &T))
    return {TABLE_FAILED, nullptr};
  int H = 0;
  if (!fit_height(job, target, table, start_row, flags, fit, *y, page_h, resolution, &T, &H))
    return {TABLE_MOVED, table};
  *width = T;

  if (flags & LAYOUT_MEASURE) {
    *y = *y + H - 1;
    return {TABLE_DONE, nullptr};
  }
  return place_table(job, target, y, table, start_row, flags, T, H, page_w, page_h);
}
