// Table sizing: width bounds from the cells' content, column widths for the
// table's width, and row heights from measuring every cell with the flow.
#include "layout/table_size.h"
#include "document/pdoctree.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>
#include <set>
#include <vector>

#include "layout/flow.h"
#include "layout/measure_memo.h"
#include "layout/fonts.h"
#include "layout/trace.h"
#include "layout/paint.h"
#include "layout/render_target.h"

namespace {

bool is_inline(const pdoc_element* e) {
  return e && (e->type == ELE_TEXT || e->type == ELE_IMAGE || e->type == ELE_HRULE);
}

bool has_matrix(const pdoc_element* table) {
  const pdoc_table_fields& t = table->table;
  return t.cols > 0 && t.rows > 0 && t.matrix && t.columns;
}

template <typename F>
void for_each_cell(pdoc_element* row, F f) {
  for (pdoc_element* c = row->child; c; c = c->next)
    if (c->type == ELE_CELL) f(c);
}

// Whether row r belongs to a pass starting at start_row.
bool in_pass(const pdoc_element* row, int r, int start_row) {
  return r >= start_row || row_in_thead(row);
}

}  // namespace

TableMetrics table_metrics(RenderTarget* target, const pdoc_element* table) {
  const pdoc_table_fields& t = table->table;
  TableMetrics m{};
  // Negative values are read from the document as they stand; none of them
  // may reach the sums below, where a negative spacing or border would place
  // rows above the table's own top.
  m.b = scaled_length(target, t.border);
  if (t.border > 0 && m.b == 0) m.b = 1;
  m.s = scaled_length(target, t.cellspacing);
  m.p = scaled_length(target, t.cellpadding);
  m.void_frame = t.frame == TABLE_FRAME_VOID;
  return m;
}

pdoc_element* row_table(pdoc_element* row) {
  if (!row) return nullptr;
  pdoc_element* parent = row->parent;
  if (parent && parent->type == ELE_THEAD) parent = parent->parent;
  return parent && parent->type == ELE_TABLE ? parent : nullptr;
}

bool row_in_thead(const pdoc_element* row) {
  return row && row->parent && row->parent->type == ELE_THEAD;
}

int table_row_index(pdoc_element* table, const pdoc_element* row) {
  int r = 0;
  for (pdoc_element* e = pdoc_first_row(table); e; e = pdoc_next_row(e), r++)
    if (e == row) return r;
  return -1;
}

pdoc_element* table_row_at(pdoc_element* table, int index) {
  pdoc_element* e = pdoc_first_row(table);
  for (int r = 0; e && r < index; r++) e = pdoc_next_row(e);
  return e;
}

int cell_column(const pdoc_element* table, const pdoc_element* cell, int r) {
  const pdoc_table_fields& t = table->table;
  if (!has_matrix(table) || r < 0 || r >= t.rows) return -1;
  for (int j = 0; j < t.cols; j++)
    if (t.matrix[j] && t.matrix[j][r] == cell) return j;
  return -1;
}

pdoc_element* run_width_bounds(LayoutJob& job, RenderTarget* target, pdoc_element* element, int* maximum,
                               int* minimum) {
  *maximum = 0;
  int offset = 0;
  while (is_inline(element)) {
    if (element->type == ELE_IMAGE && element->image.align != 0) {
      int w = 0, h = 0;
      image_box(target, element, &w, &h);
      *maximum = std::max(*maximum, w);
      element = element->next;
      offset = 0;
      continue;
    }
    RtSize size{};
    int descent = 0;
    if (element->type == ELE_HRULE) {
      measure_line(job, target, element, 0, -1, &size, &descent, nullptr);
      *maximum = std::max(*maximum, size.width);
      element = element->next;
      offset = 0;
      continue;
    }
    pdoc_element* before = element;
    int before_offset = offset;
    int units = measure_line(job, target, element, offset, -1, &size, &descent, minimum);
    *maximum = std::max(*maximum, size.width);
    element = advance_units(element, units, &offset);
    skip_break_char(&element, &offset);
    if (element && element->type == ELE_TEXT && element->data_len <= 0) {
      element = element->next;
      offset = 0;
    }
    if (element == before && offset == before_offset) {
      // Nothing was consumed: step over the element rather than measure it
      // again for ever.
      element = element->next;
      offset = 0;
    }
  }
  return element;
}

void cell_width_bounds(LayoutJob& job, RenderTarget* target, pdoc_element* cell) {
  int maximum = 0, minimum = 0;
  pdoc_element* e = cell->child;
  while (e && e->parent == cell) {
    if (is_inline(e)) {
      int run_max = 0;
      e = run_width_bounds(job, target, e, &run_max, &minimum);
      maximum = std::max(maximum, run_max);
      continue;  // the run may end on an element outside the cell
    }
    if (e->type == ELE_TABLE) {
      table_width_bounds(job, target, e);
      maximum = std::max(maximum, e->table.max_width);
      minimum = std::max(minimum, e->table.min_width);
    }
    e = e->next;
  }
  if (cell->cell.width > 0) {
    int w = scaled_length(target, cell->cell.width);
    if (maximum > w) maximum = w;
    if (minimum < w) minimum = w;
  }
  cell->cell.max_width = maximum;
  cell->cell.min_width = minimum;
}

namespace {

// Measures the bounds of every cell and returns the span lengths that occur.
std::set<int> measure_cell_bounds(LayoutJob& job, RenderTarget* target, pdoc_element* table) {
  std::set<int> spans;
  for (pdoc_element* row = pdoc_first_row(table); row; row = pdoc_next_row(row)) {
    for_each_cell(row, [&](pdoc_element* cell) {
      cell_width_bounds(job, target, cell);
      if (cell->cell.colspan >= 1) spans.insert(cell->cell.colspan);
    });
  }
  return spans;
}

// Widens the n columns from j that cell c spans until, with per_column
// between each two of them, they hold the cell's bounds.
void spread_spanning_cell(const pdoc_cell_fields& c, pdoc_column* col, int j, int n, int64_t per_column) {
  int64_t max_sum = 0, min_sum = 0;
  double frac_sum = 0;
  for (int q = j; q < j + n; q++) {
    max_sum += col[q].max_width;
    min_sum += col[q].min_width;
    frac_sum += col[q].width_frac;
  }
  const int64_t between = (n - 1) * per_column;
  if (max_sum < c.max_width) {
    const int64_t want = c.max_width - between + n;
    for (int q = j; q < j + n; q++) {
      int64_t cur = col[q].max_width;
      int64_t u = cur != 0 ? want * cur / max_sum : want / n;
      col[q].max_width = clamp_length(std::max(cur, u));
    }
    max_sum = 0;
    for (int q = j; q < j + n; q++) max_sum += col[q].max_width;
    if (max_sum == 0) max_sum = c.max_width;
  }
  if (min_sum < c.min_width) {
    const int64_t want = c.min_width - between + n - 1;
    for (int q = j; q < j + n; q++) {
      // With no maximums to weigh by, the minimum is spread evenly.
      int64_t u = max_sum != 0 ? want * col[q].max_width / max_sum : want / n;
      col[q].min_width = clamp_length(std::max<int64_t>(col[q].min_width, u));
    }
  }
  if (c.width_frac > 0 && frac_sum < c.width_frac) {
    for (int q = j; q < j + n; q++) col[q].width_frac = std::max(col[q].width_frac, c.width_frac / n);
  }
}

// Adds the bounds of a cell of row r spanning k columns to its columns.
void add_cell_bounds(LayoutJob& job, pdoc_element* table, pdoc_element* cell, int r, int k, int64_t per_column) {
  const pdoc_cell_fields& c = cell->cell;
  pdoc_column* col = table->table.columns;
  int j = cell_column(table, cell, r);
  if (j < 0) {
    layout_trace(job, "ERROR!\n");
    return;
  }
  if (k == 1) {
    col[j].max_width = std::max(col[j].max_width, c.max_width);
    col[j].min_width = std::max(col[j].min_width, c.min_width);
    if (c.width_frac > 0) col[j].width_frac = std::max(col[j].width_frac, c.width_frac);
    return;
  }
  const int n = std::min(k, table->table.cols - j);  // columns actually spanned
  spread_spanning_cell(c, col, j, n, per_column);
}

// The table's bounds from its columns', each with per_column around it.
void sum_width_bounds(pdoc_table_fields& t, const TableMetrics& m, int64_t per_column) {
  int64_t max_total = 0, min_total = 0;
  for (int j = 0; j < t.cols; j++) {
    max_total += t.columns[j].max_width + per_column;
    min_total += t.columns[j].min_width + per_column;
  }
  if (m.void_frame) {
    max_total += m.s - 2 * m.b;
    min_total += m.s - 2 * m.b;
  } else if (max_total != 0) {
    max_total += m.s + 2 * m.b;
    min_total += m.s + 2 * m.b;
  }
  t.max_width = clamp_length(max_total);
  t.min_width = clamp_length(min_total);
}

void compute_width_bounds(LayoutJob& job, RenderTarget* target, pdoc_element* table) {
  pdoc_table_fields& t = table->table;
  const std::set<int> spans = measure_cell_bounds(job, target, table);
  t.max_width = 0;
  t.min_width = 0;
  if (!has_matrix(table)) return;

  const TableMetrics m = table_metrics(target, table);
  const int64_t per_column = 2 * m.p + 2 * m.b + m.s;
  pdoc_column* col = t.columns;
  for (int j = 0; j < t.cols; j++) col[j].max_width = col[j].min_width = col[j].final_width = 0;

  // Narrow cells first, so that spanning cells only add what their columns
  // lack. Only the span lengths that occur are visited.
  for (int k : spans) {
    int r = 0;
    for (pdoc_element* row = pdoc_first_row(table); row; row = pdoc_next_row(row), r++) {
      for_each_cell(row, [&](pdoc_element* cell) {
        if (cell->cell.colspan == k) add_cell_bounds(job, table, cell, r, k, per_column);
      });
    }
  }
  sum_width_bounds(t, m, per_column);
}

TableBounds record_width_bounds(pdoc_element* table) {
  const pdoc_table_fields& t = table->table;
  TableBounds bounds;
  bounds.max_width = t.max_width;
  bounds.min_width = t.min_width;
  if (has_matrix(table))
    for (int j = 0; j < t.cols; j++)
      bounds.columns.push_back({t.columns[j].max_width, t.columns[j].min_width, t.columns[j].width_frac});
  for (pdoc_element* row = pdoc_first_row(table); row; row = pdoc_next_row(row))
    for_each_cell(row, [&](pdoc_element* cell) {
      bounds.cells.push_back({cell->cell.max_width, cell->cell.min_width});
    });
  return bounds;
}

void restore_width_bounds(pdoc_element* table, const TableBounds& bounds, bool cells) {
  pdoc_table_fields& t = table->table;
  t.max_width = bounds.max_width;
  t.min_width = bounds.min_width;
  for (size_t j = 0; j < bounds.columns.size(); j++) {
    pdoc_column& col = t.columns[j];
    col.max_width = bounds.columns[j].max_width;
    col.min_width = bounds.columns[j].min_width;
    col.width_frac = bounds.columns[j].width_frac;
    col.final_width = 0;
  }
  if (!cells) return;
  size_t i = 0;
  for (pdoc_element* row = pdoc_first_row(table); row; row = pdoc_next_row(row))
    for_each_cell(row, [&](pdoc_element* cell) {
      if (i >= bounds.cells.size()) return;
      cell->cell.max_width = bounds.cells[i].max_width;
      cell->cell.min_width = bounds.cells[i].min_width;
      i++;
    });
}

}  // namespace

void table_width_bounds(LayoutJob& job, RenderTarget* target, pdoc_element* table) {
  pdoc_table_fields& t = table->table;
  TableNesting nesting(job, table);
  if (nesting.too_deep()) {
    t.max_width = t.min_width = 0;
    return;
  }
  // Every page the table reaches asks for its bounds again; within a job the
  // answer for the same resolution and page is the one measured first.
  MeasureMemo* const memo = job.memo.get();
  const bool keep = memo != nullptr;
  const TableBoundsKey key{table, rt_surface(target), target->get_resolution(target), page_width(target)};
  if (keep) {
    if (const TableBounds* known = memo_find_table_bounds(memo, key)) {
      restore_width_bounds(table, *known, !memo_cell_bounds_current(memo, key));
      memo_note_cell_bounds(memo, key);
      replay_aftermath(target, known->after);
      return;
    }
  }
  const uint64_t diagnostics = job.diagnostics;
  const RtDrawingState before = rt_save_state(target);
  compute_width_bounds(job, target, table);
  if (!keep) return;
  memo_note_cell_bounds(memo, key);
  if (job.diagnostics == diagnostics && !contains_table(table)) {
    try {
      TableBounds bounds = record_width_bounds(table);
      bounds.after = capture_aftermath(target, before);
      memo_keep_table_bounds(memo, key, std::move(bounds));
    } catch (const std::bad_alloc&) {
      // Not kept: measured again next time.
    }
  }
}

int table_column_widths(LayoutJob& job, RenderTarget* target, pdoc_element* table) {
  pdoc_table_fields& t = table->table;
  const int P = page_width(target);
  const TableMetrics m = table_metrics(target, table);
  const int C = std::max(t.cols, 0);
  // Without an outer frame the table's bounds leave out the two outer
  // borders on each side; so must the overhead, or a table at its natural
  // width would squeeze its columns below their maximums.
  const int64_t overhead =
      int64_t{2} * m.p * C + int64_t{m.s} * (C + 1) + int64_t{2} * m.b * (C + 1) - (m.void_frame ? 4 * m.b : 0);

  table_width_bounds(job, target, table);

  int64_t T = scaled_length(target, t.width);
  if (t.width_frac > 0) T = fraction_of(P, t.width_frac);
  if (T == 0) T = t.max_width;
  T = std::min<int64_t>(T, P);
  if (!has_matrix(table)) return static_cast<int>(T);

  pdoc_column* col = t.columns;
  for (int j = 0; j < C; j++) {
    if (col[j].width_frac > 0) col[j].max_width = std::min(col[j].max_width, fraction_of(T, col[j].width_frac));
  }

  if (T < t.min_width) {
    for (int j = 0; j < C; j++) col[j].final_width = col[j].min_width;
    return t.min_width;
  }

  // Columns whose minimum exceeds their share are fixed at their minimum,
  // one at a time; the rest share what is left by their maximums.
  int64_t content = T - overhead;
  std::vector<bool> fixed(static_cast<size_t>(C), false);
  for (;;) {
    int64_t S = 0;
    for (int j = 0; j < C; j++)
      if (!fixed[j]) S += col[j].max_width;
    if (S == 0) break;
    int pick = -1;
    for (int j = 0; j < C && pick < 0; j++)
      if (!fixed[j] && col[j].min_width > content * col[j].max_width / S) pick = j;
    if (pick >= 0) {
      col[pick].final_width = col[pick].min_width;
      fixed[pick] = true;
      content -= col[pick].min_width;
      continue;
    }
    for (int j = 0; j < C; j++) {
      if (!fixed[j]) {
        col[j].final_width = static_cast<int32_t>(content * col[j].max_width / S);
        fixed[j] = true;
      }
    }
    break;
  }

  int64_t sum = 0;
  for (int j = 0; j < C; j++) sum += col[j].final_width;
  if (C > 0 && sum != T - overhead)
    col[C - 1].final_width = static_cast<int32_t>(col[C - 1].final_width + (T - overhead - sum));
  return static_cast<int>(T);
}

namespace {

// The height of a cell's content measured in a subtarget w x H20, or 0 when
// no subtarget could be made.
int measure_cell(LayoutJob& job, RenderTarget* target, pdoc_element* cell, int w, int H20, bool* measured) {
  RenderTarget* sub = target->create_subtarget(target, 0, 0, w - 1, H20 - 1);
  *measured = sub != nullptr;
  if (!sub) return 0;
  int fw = 0, fh = 0, offset = 0;
  layout_flow(job, sub, &fw, &fh, cell->child, &offset, LAYOUT_MEASURE);
  cell->cell.content_height = fh + 1;
  sub->destroy(sub);
  return fh + 1;
}

// The colours a kept measurement leaves on the context. Between two kept
// measurements nothing reads the context, so only the last one of a run is
// put back: before the next real measurement, or when the pass is left.
class PendingColors {
 public:
  explicit PendingColors(RenderTarget* target) : target_(target) {}
  ~PendingColors() { flush(); }
  PendingColors(const PendingColors&) = delete;
  PendingColors& operator=(const PendingColors&) = delete;
  void leave(const RtColors& colors) {
    colors_ = colors;
    waiting_ = true;
  }
  void flush() {
    if (waiting_) rt_restore_colors(target_, colors_);
    waiting_ = false;
  }

 private:
  RenderTarget* target_;
  RtColors colors_;
  bool waiting_ = false;
};

// measure_cell, answered from the slot when the cell was measured with the
// same width before; slot is null when measurements are not kept.
int cell_content_height(LayoutJob& job, RenderTarget* target, pdoc_element* cell, int w, int H20, CellHeight* slot,
                        PendingColors& pending) {
  bool measured = false;
  if (!slot) return measure_cell(job, target, cell, w, H20, &measured);
  if (slot->width == w) {
    if (slot->measured) cell->cell.content_height = slot->height;
    pending.leave(slot->colors);
    return slot->height;
  }
  pending.flush();
  const uint64_t diagnostics = job.diagnostics;
  const int h = measure_cell(job, target, cell, w, H20, &measured);
  if (job.diagnostics == diagnostics && !contains_table(cell)) *slot = {w, measured, h, rt_save_colors(target)};
  return h;
}

TableCell table_cell(const pdoc_element* table, pdoc_element* cell, int r) {
  return {cell, cell_column(table, cell, r), cell->cell.colspan, cell->cell.rowspan, cell->child != nullptr};
}

// The table's cells as table_row_heights walks them, gathered once a job;
// null when they are not kept.
const TableCells* table_cells(MeasureMemo* memo, pdoc_element* table, int rows) {
  if (const TableCells* kept = memo_find_table_cells(memo, table, rows)) return kept;
  try {
    TableCells gathered;
    gathered.rows = rows;
    gathered.row_start.push_back(0);
    int r = 0;
    for (pdoc_element* row = pdoc_first_row(table); row && r < rows; row = pdoc_next_row(row), r++) {
      gathered.row_elements.push_back(row);
      if (row_in_thead(row)) gathered.head_rows.push_back(r);
      for_each_cell(row, [&](pdoc_element* cell) { gathered.cells.push_back(table_cell(table, cell, r)); });
      gathered.row_start.push_back(static_cast<uint32_t>(gathered.cells.size()));
    }
    return memo_keep_table_cells(memo, table, std::move(gathered));
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

// What the cells of one pass of table_row_heights are measured with.
struct RowPass {
  RenderTarget* target;
  pdoc_element* table;
  TableMetrics m;
  int rows;
  int H20;
  std::vector<CellHeight>* slots;  // null when measurements are not kept
  PendingColors& pending;
};

// A cell of row r: its height, spread over the rows it spans.
void measure_pass_cell(LayoutJob& job, const RowPass& pass, const TableCell& c, int r) {
  pdoc_table_fields& t = pass.table->table;
  const TableMetrics& m = pass.m;
  const int j = c.column;
  if (j < 0) return;
  int64_t w = t.columns[j].final_width;
  for (int k = 1; k < c.colspan && j + k < t.cols; k++) w += t.columns[j + k].final_width + m.s + 2 * m.b + 2 * m.p;
  int h = 0;
  if (c.has_content && w > 0 && w <= INT32_MAX && pass.H20 > 0)
    h = cell_content_height(job, pass.target, c.cell, static_cast<int>(w), pass.H20,
                            pass.slots ? &(*pass.slots)[static_cast<size_t>(r) * t.cols + j] : nullptr, pass.pending);
  const int span = std::max(c.rowspan, 1);
  for (int o = 0; o < span && r + o < pass.rows; o++) {
    int share = h / span + (span > 1 && o < h % span ? 1 : 0);
    t.row_heights[r + o] = std::max(t.row_heights[r + o], share);
  }
}

// Measures the cells of the pass from start_row, with the header rows
// before it.
void measure_pass_rows(LayoutJob& job, const RowPass& pass, int start_row) {
  pdoc_element* table = pass.table;
  const TableCells* cells = pass.slots ? table_cells(job.memo.get(), table, pass.rows) : nullptr;
  if (cells) {
    // The same cells in the same order as the walk below: the header rows
    // before start_row, then every row from it.
    auto measure_row = [&](int r) {
      for (uint32_t k = cells->row_start[r]; k < cells->row_start[r + 1]; k++)
        measure_pass_cell(job, pass, cells->cells[k], r);
    };
    for (int r : cells->head_rows)
      if (r < start_row) measure_row(r);
    const int gathered = static_cast<int>(cells->row_elements.size());
    for (int r = std::max(start_row, 0); r < gathered; r++) measure_row(r);
    return;
  }
  int r = 0;
  for (pdoc_element* row = pdoc_first_row(table); row && r < pass.rows; row = pdoc_next_row(row), r++) {
    if (!in_pass(row, r, start_row)) continue;
    for_each_cell(row, [&](pdoc_element* cell) { measure_pass_cell(job, pass, table_cell(table, cell, r), r); });
  }
}

// Stretches the rows of the pass in proportion to their heights so that
// they share extra; false when they have no height to weigh by.
bool stretch_pass_rows(pdoc_element* table, int rows, int start_row, int64_t extra) {
  pdoc_table_fields& t = table->table;
  int64_t sum = 0;
  int r = 0;
  for (pdoc_element* row = pdoc_first_row(table); row && r < rows; row = pdoc_next_row(row), r++)
    if (in_pass(row, r, start_row)) sum += t.row_heights[r];
  if (sum == 0) return false;
  int64_t given = 0;
  r = 0;
  for (pdoc_element* row = pdoc_first_row(table); row && r < rows; row = pdoc_next_row(row), r++) {
    if (!in_pass(row, r, start_row)) continue;
    t.row_heights[r] = static_cast<int32_t>(extra * t.row_heights[r] / sum);
    given += t.row_heights[r];
  }
  if (given < extra) t.row_heights[rows - 1] += static_cast<int32_t>(extra - given);
  return true;
}

}  // namespace

int table_row_heights(LayoutJob& job, RenderTarget* target, pdoc_element* table, int start_row, int flags) {
  pdoc_table_fields& t = table->table;
  const TableMetrics m = table_metrics(target, table);
  const int rows = std::max(t.rows, 0);
  const bool sized = has_matrix(table) && t.row_heights;
  if (sized)
    for (int r = 0; r < rows; r++) t.row_heights[r] = 0;
  const int H20 = 20 * target->get_resolution(target);

  // Every subtarget starts with the font the context has now: the target's.
  std::vector<CellHeight>* slots = nullptr;
  if (sized && job.memo) {
    slots = memo_table_heights(job.memo.get(),
                               {table, rt_surface(target), target->get_resolution(target), H20,
                                target->font_ascent(target), target->font_descent(target)},
                               static_cast<size_t>(rows) * static_cast<size_t>(t.cols));
  }

  PendingColors pending(target);
  if (sized) measure_pass_rows(job, RowPass{target, table, m, rows, H20, slots, pending}, start_row);

  const int64_t per_row = 2 * m.b + 2 * m.p + m.s;
  int64_t total = 0;
  for (int r = 0; r < rows; r++) total += per_row + (sized ? t.row_heights[r] : 0);
  if (total != 0 && !m.void_frame)
    total += m.s + 2 * m.b;
  else
    total += m.s - 2 * m.b;

  // A table without rows and without a frame would come out negative.
  total = document_length(total);
  if (total == 0 || (t.height <= 0 && !(t.height_frac > 0))) return static_cast<int>(total);
  int64_t wanted = 0;
  if (t.height > 0)
    wanted = scaled_length(target, t.height);
  else if (!(flags & LAYOUT_MEASURE))
    wanted = fraction_of(page_height(target), t.height_frac);
  if (total >= wanted || !sized) return static_cast<int>(total);

  const int64_t extra = wanted - per_row * rows - m.s - 2 * m.b;
  if (!stretch_pass_rows(table, rows, start_row, extra)) return static_cast<int>(total);
  return static_cast<int>(wanted);
}
