// Appending character data to an element with the builder's whitespace
// rules (collapsing outside PRE, no-break spaces under NOBR and for TABs).
#pragma once

#include <cstddef>

#include "document/pdoc.h"

// Appends bytes to element's data. The input is not modified. When memory
// runs out the old data stays and the failure is reported.
void pdoc_append_text(pdoc_builder* builder, pdoc_element* element, const char* bytes, int length);

// Bytes allocated for data of that length. Every `data` buffer is allocated
// with this size, so that appending knows when it must grow.
size_t pdoc_data_capacity(size_t length);

// TAB, LF, CR or space.
inline bool pdoc_is_blank(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}
