// Table normalisation. Spans come from documents and are only bounded at
// reading (see pdocattr.h), so every matrix access here is range-checked and
// all span sums are taken in 64 bits.
#include "document/pdoctable.h"

#include <cstdio>
#include <cstdlib>
#include <vector>

#include "document/pdocattr.h"
#include "document/pdocbuilder.h"
#include "document/pdocreport.h"
#include "document/pdocstyle.h"
#include "document/pdoctree.h"

namespace {

int32_t clamp_int32(int64_t v) {
  if (v > INT32_MAX) return INT32_MAX;
  if (v < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(v);
}

// Spans below 0 never come from the attribute reader; treat any that get
// here some other way like a span of 0: the cell then occupies nothing.
int32_t span_of(int32_t span) {
  return span < 0 ? 0 : span;
}

std::vector<pdoc_element*> collect_rows(pdoc_element* table) {
  std::vector<pdoc_element*> rows;
  for (pdoc_element* r = pdoc_first_row(table); r; r = pdoc_next_row(r)) rows.push_back(r);
  return rows;
}

template <typename Fn>
void for_each_cell(pdoc_element* row, Fn fn) {
  for (pdoc_element* c = row->child; c; c = c->next) {
    if (c->type == ELE_CELL) fn(c);
  }
}

// Adds the spans reaching down from rows above to every row's span_total
// and answers the widest row. A difference array keeps this linear in the
// number of cells and rows, whatever the rowspans.
int64_t count_columns(const std::vector<pdoc_element*>& rows) {
  const size_t n = rows.size();
  std::vector<int64_t> delta(n + 1, 0);
  int64_t from_above = 0;
  int64_t widest = 0;
  for (size_t i = 0; i < n; ++i) {
    from_above += delta[i];
    int64_t own = 0;
    for_each_cell(rows[i], [&](pdoc_element* cell) {
      const int64_t colspan = span_of(cell->cell.colspan);
      own += colspan;
      const int64_t rowspan = span_of(cell->cell.rowspan);
      if (rowspan > 1 && i + 1 < n) {
        delta[i + 1] += colspan;
        const size_t end = static_cast<size_t>(rowspan) < n - i ? i + static_cast<size_t>(rowspan) : n;
        delta[end] -= colspan;
      }
    });
    const int64_t total = own + from_above;
    rows[i]->row.span_total = clamp_int32(total);
    if (total > widest) widest = total;
  }
  return widest;
}

bool allocate_matrix(pdoc_element* table) {
  pdoc_table_fields& t = table->table;
  const size_t cols = static_cast<size_t>(t.cols);
  const size_t rows = static_cast<size_t>(t.rows);
  t.columns = static_cast<pdoc_column*>(calloc(cols, sizeof(pdoc_column)));
  t.row_heights = static_cast<int32_t*>(calloc(rows ? rows : 1, sizeof(int32_t)));
  t.matrix = static_cast<pdoc_element***>(calloc(cols, sizeof(pdoc_element**)));
  if (!t.columns || !t.row_heights || !t.matrix) return false;
  for (size_t c = 0; c < cols; ++c) {
    t.matrix[c] = static_cast<pdoc_element**>(calloc(rows ? rows : 1, sizeof(pdoc_element*)));
    if (!t.matrix[c]) return false;
  }
  return true;
}

void place_cells(pdoc_builder* builder, pdoc_element* table, const std::vector<pdoc_element*>& rows) {
  pdoc_table_fields& t = table->table;
  const int32_t cols = t.cols;
  const int32_t nrows = t.rows;
  pdoc_element*** m = t.matrix;
  for (int32_t r = 0; r < nrows; ++r) {
    int32_t c = 0;
    for_each_cell(rows[static_cast<size_t>(r)], [&](pdoc_element* cell) {
      pdoc_cell_fields& f = cell->cell;
      if (f.colspan < 0) f.colspan = 0;
      if (f.rowspan < 0) f.rowspan = 0;
      while (c < cols && m[c][r]) ++c;
      // Both spans are re-read on every step: cutting one ends its loop.
      for (int32_t j = 0; j < f.rowspan && f.colspan > 0; ++j) {
        for (int32_t k = 0; k < f.colspan; ++k) {
          const bool col_inside = k < cols - c;
          const bool row_inside = j < nrows - r;
          if (col_inside && row_inside) {
            m[c + k][r + j] = cell;
            continue;
          }
          if (!col_inside) f.colspan = k;
          if (!row_inside) f.rowspan = j;
          pdoc_report(builder, "WARNING Rowspan or colpsan exceeded rows or cols (row,col:%d,%d).\n", r, c);
        }
      }
      c += f.colspan;
    });
    while (c < cols && m[c][r]) ++c;
    if (c != cols) pdoc_report(builder, "WARNING Rows for this column do not match table, even after fixup.\n");
  }
}

}  // namespace

void pdoc_normalize_table(pdoc_builder* builder, pdoc_element* table) {
  if (!table || table->type != ELE_TABLE) return;
  pdoc_table_free_matrix(table);

  std::vector<pdoc_element*> rows = collect_rows(table);
  if (rows.empty()) {
    pdoc_report(builder, "WARNING Getting rid of empty table line: %d col: %d.\n", table->line, table->col);
    pdoc_unlink_element(builder, table);
    pdoc_free_element(table);
    return;
  }
  // The matrix is sized by the rows actually found, so the two always agree.
  table->table.rows = clamp_int32(static_cast<int64_t>(rows.size()));

  int64_t widest = count_columns(rows);
  if (widest == 0) {
    pdoc_report(builder, "WARNING No Cells for any Rows[%d]. Fixing.\n", table->table.rows);
    widest = 1;
  }
  table->table.cols = static_cast<int32_t>(widest > PDOC_MAX_TABLE_COLS ? PDOC_MAX_TABLE_COLS : widest);
  const int32_t cols = table->table.cols;

  for (size_t i = 0; i < rows.size(); ++i) {
    pdoc_row_fields& row = rows[i]->row;
    if (row.span_total == cols) continue;
    pdoc_report(builder, "WARNING Coumns(%d) for this Row[%d] do not match table(%d). Fixing.\n", row.span_total,
                static_cast<int>(i), cols);
    if (row.span_total > cols) {
      // Only rows wider than the column limit get here; placement cuts
      // their cells back to the table.
      row.span_total = cols;
      continue;
    }
    char colspan[16];
    std::snprintf(colspan, sizeof colspan, "%d", cols - row.span_total);
    const char* attributes[] = {"colspan", colspan, nullptr};
    // Made like any TD under a row: it adds its colspan to span_total and
    // pushes a style barrier. It is closed as soon as it is made, so its
    // barrier goes at once, as any cell's does when it closes; left on the
    // stack it would stop the end tags of the styles around the table.
    const pdoc_style_mark before = pdoc_style_top(builder);
    pdoc_create_element(builder, rows[i], PDOC_TAG_TD, attributes);
    if (pdoc_style_top(builder) != before) pdoc_pop_style(builder, PDOC_TAG_TD);
  }

  if (int64_t{cols} * table->table.rows > PDOC_MAX_TABLE_POSITIONS) {
    pdoc_report(builder,
                "WARNING Table line: %d col: %d has %d columns and %d rows, over the limit of %lld cells. "
                "Leaving it out.\n",
                table->line, table->col, cols, table->table.rows, static_cast<long long>(PDOC_MAX_TABLE_POSITIONS));
    return;
  }
  if (!allocate_matrix(table)) {
    pdoc_table_free_matrix(table);
    pdoc_report(nullptr, "Out of memory create table matrix.");
    return;
  }
  place_cells(builder, table, rows);
}
