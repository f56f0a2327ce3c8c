// Making, linking, walking and freeing the elements of the document tree.
#pragma once

#include "document/pdoc.h"

// Creates an element of the element-table index `tag` as the last child of
// `parent` (or as the last top-level element when parent is null), sets the
// defaults of its class, reads its start-tag attributes (a null list means
// none) and, for text runs, tables and cells under a row, pushes the style
// entry it owes. Does not make it current. Reports "malloc" and answers null
// when the record cannot be allocated.
pdoc_element* pdoc_create_element(pdoc_builder* builder, pdoc_element* parent, int tag, const char** attributes);

// Takes the element out of its parent's (or the top-level) sibling list.
// Everything that removes elements while a build runs goes through here,
// which keeps the builder's link cache valid.
void pdoc_unlink_element(pdoc_builder* builder, pdoc_element* element);

// Frees one element with everything below it (not its siblings).
void pdoc_free_element(pdoc_element* element);

// Frees an element, its following siblings and everything below them.
void pdoc_free_elements(pdoc_element* first);

// Frees a table's matrix, column records and row heights and nulls them.
void pdoc_table_free_matrix(pdoc_element* table);

// Row iteration over a table, stepping into THEAD groups so that only rows
// come out. Null at the end.
pdoc_element* pdoc_first_row(pdoc_element* table);
pdoc_element* pdoc_next_row(pdoc_element* row);

// The nearest of element and its ancestors whose tag is `tag`. A search for
// TR or THEAD stops at a TABLE, a search for TD at a TR.
pdoc_element* pdoc_find_open(pdoc_element* element, int tag);
