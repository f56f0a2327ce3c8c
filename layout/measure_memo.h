// Measurements of table cells kept for the length of one layout job.
//
// Every page a table reaches measures the whole table again: the width
// bounds of all its cells and the heights of all rows still to come. Within
// one job (a print, a view pass, a device transfer) the document does not
// change, so a measurement made with the same inputs gives the same answer;
// these records let it be made once. A measurement that printed a diagnostic
// or that involves a nested table is never kept, so what a job prints and
// draws stays exactly what it would be without them.
#pragma once

#include <cstdint>
#include <tuple>
#include <vector>

#include "document/pdoc.h"
#include "layout/layout_job.h"
#include "layout/render_target.h"

// The drawing state a measurement on a target leaves behind.
struct MeasureAftermath {
  RtDrawingState state;
  bool selected_font = false;  // the target itself selected another font
};

// Records what the measurement on the target left behind; before is the
// target's state before it.
MeasureAftermath capture_aftermath(RenderTarget* target, const RtDrawingState& before);
// Puts the target and its context into the recorded state.
void replay_aftermath(RenderTarget* target, const MeasureAftermath& after);

// The content heights of a table's cells, each measured in a subtarget of
// the cell's width and `height` rows, one slot per row and column.
struct TableHeightsKey {
  const pdoc_element* table;
  const void* surface;  // rt_surface of the target
  int32_t dpi;
  int32_t height;
  int32_t entry_ascent;  // the font every subtarget starts with
  int32_t entry_descent;
  bool operator==(const TableHeightsKey&) const = default;
  auto fields() const { return std::tie(table, surface, dpi, height, entry_ascent, entry_descent); }
};
struct CellHeight {
  int64_t width = -1;     // -1: not measured yet
  bool measured = false;  // the subtarget could be made
  int32_t height = 0;
  RtColors colors;
};
// The slots for the key, made empty on first use; null when measurements
// are not being kept (memo is null) or the job has kept as many as it may.
std::vector<CellHeight>* memo_table_heights(MeasureMemo* memo, const TableHeightsKey& key, size_t slots);

// The width bounds of a whole table.
struct TableBoundsKey {
  const pdoc_element* table;
  const void* surface;
  int32_t dpi;
  int32_t page_width;
  bool operator==(const TableBoundsKey&) const = default;
  auto fields() const { return std::tie(table, surface, dpi, page_width); }
};
struct ColumnBounds {
  int32_t max_width, min_width;
  double width_frac;
};
struct CellBounds {
  int32_t max_width, min_width;
};
struct TableBounds {
  std::vector<ColumnBounds> columns;
  std::vector<CellBounds> cells;  // in row order
  int32_t max_width = 0, min_width = 0;
  MeasureAftermath after;
};
const TableBounds* memo_find_table_bounds(MeasureMemo* memo, const TableBoundsKey& key);
void memo_keep_table_bounds(MeasureMemo* memo, const TableBoundsKey& key, TableBounds value);
// Whether the cells of key's table hold the bounds recorded under key (no
// other measurement of the table has written them since); note_cell_bounds
// says which record they hold now.
bool memo_cell_bounds_current(MeasureMemo* memo, const TableBoundsKey& key);
void memo_note_cell_bounds(MeasureMemo* memo, const TableBoundsKey& key);

// A table's cells in row order, each with the column it starts in, so that
// a pass over the rows need not walk the tree and search the matrix again.
struct TableCell {
  pdoc_element* cell;
  int32_t column;  // -1: not in the matrix
  // Copied from the cell, whose own memory is the slow part of a pass.
  int32_t colspan, rowspan;
  bool has_content;
};
struct TableCells {
  int32_t rows = 0;                         // the table's row count when gathered
  std::vector<pdoc_element*> row_elements;  // the rows walked, at most `rows`
  std::vector<TableCell> cells;
  std::vector<uint32_t> row_start;  // row r's cells: [row_start[r], row_start[r + 1])
  std::vector<int32_t> head_rows;   // the rows inside THEAD, ascending
};
// The cells kept for the table while it has `rows` rows; null otherwise.
const TableCells* memo_find_table_cells(MeasureMemo* memo, const pdoc_element* table, int rows);
// Keeps the gathered cells and answers the kept record; null when nothing
// is being kept, the table already has a record, or the job has kept as
// many as it may.
const TableCells* memo_keep_table_cells(MeasureMemo* memo, const pdoc_element* table, TableCells cells);

// Whether a table appears anywhere below element.
bool contains_table(const pdoc_element* element);
