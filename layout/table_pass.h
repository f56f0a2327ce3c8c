// The rows a pass of a table's layout visits: those inside THEAD before the
// pass's first row, then every row from it.
#pragma once

#include <cstddef>

#include "document/pdoc.h"

struct TableCells;

class TablePassRows {
 public:
  // cells, when the job has gathered the table's cells, lets the pass jump
  // over the rows before start_row instead of walking them. Without
  // repeat_head the THEAD rows before start_row are left out as well.
  TablePassRows(pdoc_element* table, int start_row, const TableCells* cells, bool repeat_head = true);
  // The next row of the pass and its index; false after the last.
  bool next(pdoc_element** row, int* index);

 private:
  bool walk(pdoc_element** row, int* index);

  pdoc_element* table_;
  int start_;
  const TableCells* cells_;
  bool repeat_head_;
  size_t head_ = 0;              // next of cells_->head_rows
  int index_ = -1;               // index of the row given last
  pdoc_element* row_ = nullptr;  // the row given last
};

// Index of a row of the table, searched back from the row at index `from`
// through the gathered rows when there are any, else walked from the first.
int table_row_index_near(pdoc_element* table, const pdoc_element* row, int from, const TableCells* cells);
