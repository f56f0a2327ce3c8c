// Table sizing at the target's current resolution: width bounds of cells,
// columns and the table, final column widths, and row heights.
#pragma once

#include <cstdint>

#include "document/pdoc.h"
#include "layout/layout_job.h"
#include "layout/layout_limits.h"

struct RenderTarget;

// The frame value that draws no outer frame.
inline constexpr int TABLE_FRAME_VOID = 1;

// Tables nested deeper than this inside cells are not sized or placed:
// every level lays out the one below it several times, and the recursion
// would otherwise follow the document's nesting without bound.
inline constexpr int TABLE_MAX_NESTING = 12;

// Counts the tables being sized or placed in the job while it lives. A
// table sized while it is being placed is still one level: only a table
// inside another's cell goes one deeper.
class TableNesting {
 public:
  TableNesting(LayoutJob& job, const pdoc_element* table)
      : job_(job), outer_(job.innermost_table), counted_(table != outer_) {
    if (!counted_) return;
    ++job_.table_depth;
    job_.innermost_table = table;
  }
  ~TableNesting() {
    if (!counted_) return;
    --job_.table_depth;
    job_.innermost_table = outer_;
  }
  TableNesting(const TableNesting&) = delete;
  TableNesting& operator=(const TableNesting&) = delete;
  bool too_deep() const { return job_.table_depth > TABLE_MAX_NESTING; }

 private:
  LayoutJob& job_;
  const pdoc_element* outer_;
  bool counted_;
};

// Pixel lengths of a table at the target's resolution: border b (at least 1
// when a border is given), cellspacing s and cellpadding p.
struct TableMetrics {
  int b;
  int s;
  int p;
  bool void_frame;
};
TableMetrics table_metrics(RenderTarget* target, const pdoc_element* table);

// The table a row belongs to (through its THEAD group), or null.
pdoc_element* row_table(pdoc_element* row);
// Index of the row in the table's row order (header rows included), or -1.
int table_row_index(pdoc_element* table, const pdoc_element* row);
// The row at an index of that order, or null.
pdoc_element* table_row_at(pdoc_element* table, int index);
bool row_in_thead(const pdoc_element* row);
// Column of a cell at row r: the first column whose matrix entry there is
// the cell, or -1.
int cell_column(const pdoc_element* table, const pdoc_element* cell, int r);

// Maximum and minimum width of the run of inline content from element
// (minimum is only raised); returns the first element after the run.
pdoc_element* run_width_bounds(LayoutJob& job, RenderTarget* target, pdoc_element* element, int* maximum, int* minimum);
void cell_width_bounds(LayoutJob& job, RenderTarget* target, pdoc_element* cell);
void table_width_bounds(LayoutJob& job, RenderTarget* target, pdoc_element* table);
// Final width of every column; returns the table width (wider than the page
// when the table's minimum does not fit).
int table_column_widths(LayoutJob& job, RenderTarget* target, pdoc_element* table);
// Heights of the rows from start_row on (header rows always), content
// heights of their cells; returns the table height.
int table_row_heights(LayoutJob& job, RenderTarget* target, pdoc_element* table, int start_row, int flags);
