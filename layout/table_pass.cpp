// The rows of a table's layout pass; see table_pass.h.
#include "layout/table_pass.h"

#include <vector>

#include "document/pdoctree.h"
#include "layout/measure_memo.h"
#include "layout/table_size.h"

TablePassRows::TablePassRows(pdoc_element* table, int start_row, const TableCells* cells, bool repeat_head)
    : table_(table), start_(start_row), cells_(cells), repeat_head_(repeat_head) {
  // Without a row at start_row among the gathered ones there is nothing to
  // jump to; the walk finds the same rows.
  if (cells_ && (start_row < 0 || start_row >= static_cast<int>(cells_->row_elements.size()))) cells_ = nullptr;
}

bool TablePassRows::walk(pdoc_element** row, int* index) {
  do {
    row_ = index_ < 0 ? pdoc_first_row(table_) : pdoc_next_row(row_);
    ++index_;
  } while (row_ && index_ < start_ && !(repeat_head_ && row_in_thead(row_)));
  *row = row_;
  *index = index_;
  return row_ != nullptr;
}

bool TablePassRows::next(pdoc_element** row, int* index) {
  if (!cells_) return walk(row, index);
  const std::vector<pdoc_element*>& rows = cells_->row_elements;
  if (repeat_head_ && head_ < cells_->head_rows.size() && cells_->head_rows[head_] < start_) {
    index_ = cells_->head_rows[head_++];
  } else if (index_ < start_) {
    index_ = start_;
  } else if (index_ + 1 < static_cast<int>(rows.size())) {
    ++index_;
  } else {
    // Past the gathered rows (they stop at the table's row count) the list
    // may go on; from here every row is in the pass.
    cells_ = nullptr;
    return walk(row, index);
  }
  row_ = rows[index_];
  *row = row_;
  *index = index_;
  return true;
}

int table_row_index_near(pdoc_element* table, const pdoc_element* row, int from, const TableCells* cells) {
  if (cells && from >= 0 && from < static_cast<int>(cells->row_elements.size())) {
    for (int r = from; r >= 0; --r)
      if (cells->row_elements[r] == row) return r;
  }
  return table_row_index(table, row);
}
