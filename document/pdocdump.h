// Printing a document tree one element per line, as the dump tools show it.
#pragma once

#include <cstdio>

#include "document/pdoc.h"

// One line per element in document order, two spaces of indent per depth
// (beyond 40 levels, the indent of 40 and the depth as "[N] "):
// the canonical name, then name="..." when name_attr is set and data="..."
// when the element has data. Quoted bytes outside 0x20-0x7E are \xHH; '"'
// and '\' are escaped with a backslash.
// With `fields`, each line also carries the element's attribute and
// structure fields as key=value, and every table is followed by its
// matrix lines; without, only the shape is shown.
void pdoc_dump(FILE* out, const pdoc_document* document, bool fields = false);

// The line of one element without indent or line feed.
void pdoc_dump_element(FILE* out, const pdoc_element* element, bool fields = false);
