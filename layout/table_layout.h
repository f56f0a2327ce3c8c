// Placing a table, or its rows from a given row on, at a flow's vertical
// position, fitting it to the page by lowering the target's resolution.
#pragma once

#include "document/pdoc.h"
#include "layout/layout_job.h"

struct RenderTarget;

enum TableOutcome {
  TABLE_DONE,       // placed; y is the last pixel row used
  TABLE_CONTINUES,  // the page is full; element is the row to go on from
  TABLE_MOVED,      // the whole table goes to the next page; element is the table
  TABLE_FAILED,     // cannot be laid out; element is null
};

struct TableResult {
  TableOutcome outcome;
  pdoc_element* element;
};

// y: first free pixel row in, last used row out (on TABLE_DONE). width
// receives the table width. start_row indexes the table's row order.
TableResult layout_table(LayoutJob& job, RenderTarget* target, int* y, int* width, pdoc_element* table, int start_row,
                         int flags);

// Whether one of the cell's children is a table with a percentage height.
bool cell_has_percent_table(const pdoc_element* cell);
