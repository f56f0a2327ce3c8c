// The attribute and table fields of the dump format: ` key=value` pairs per
// element and the `matrix r=R:` lines that follow a table.
#pragma once

#include <string>

#include "document/pdoc.h"

// Appends the fields of one element in record order: for text runs face,
// size, flags, align, color, outline_color; for images width, height,
// border, align, src; for tables, rows, cells and rules their attribute and
// structure fields. Colours are 0x%08X, or -1 when not given; strings are
// quoted like the dump's name and data (a missing src is `-`). Other classes
// add nothing.
void pdoc_dump_fields(std::string& out, const pdoc_element* element);

// Levels of indent a dump line gets at most.
inline constexpr int PDOC_DUMP_MAX_INDENT = 40;

// The indent of a dump line at depth: two spaces per level; deeper than
// PDOC_DUMP_MAX_INDENT levels, the indent of that many levels and the depth
// as "[N] ", so that a deep tree's dump grows with its size, not with the
// square of its depth.
std::string pdoc_dump_indent(int depth);

// Appends one line per matrix row of a table, indented (pdoc_dump_indent)
// for depth + 1 (depth is the table's own): "matrix r=R:" then, per column, a
// space and the 0-based index of the covering cell among the table's cells
// in row order, or "-" for an empty position. Nothing without a matrix.
void pdoc_dump_matrix(std::string& out, const pdoc_element* table, int depth);
