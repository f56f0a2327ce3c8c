// Table normalisation: turning a finished table into a rectangular grid.
#pragma once

#include "document/pdoc.h"

// Largest number of columns a table is given. Wider rows are cut back to it
// while their cells are placed.
inline constexpr int32_t PDOC_MAX_TABLE_COLS = 1000;

// Largest matrix (columns x rows) that is built. A bigger table is reported
// and keeps its rows and filler cells but no matrix, as when memory runs
// out: the layout leaves such a table out.
inline constexpr int64_t PDOC_MAX_TABLE_POSITIONS = int64_t{1} << 23;

// Called when a TABLE element ends, before its parent becomes current.
// Removes a table without rows (unlinked and freed); otherwise sets cols,
// pads short rows with one filler cell each and builds matrix[column][row],
// columns and row_heights. Every repair is reported.
void pdoc_normalize_table(pdoc_builder* builder, pdoc_element* table);
