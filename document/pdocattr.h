// Reading a new element's start-tag attributes into its record.
#pragma once

#include "document/pdoc.h"

// Spans a cell may ask for. colspan and rowspan are stored as read within
// [0, limit] (a span above the limit is reported and cut to it); a negative
// span is taken as not given (1). The limits keep every sum of spans in a
// row, and the column count, far from overflow.
inline constexpr int32_t PDOC_MAX_COLSPAN = 1000;
inline constexpr int32_t PDOC_MAX_ROWSPAN = 65534;

// Called once when an element is created. Text runs arrive with the style
// they inherit (and their B/I/U flag) already set; the other classes get
// their defaults here before the list is read. `attributes` is name, value,
// ..., null (or null for no attributes).
void pdoc_read_attributes(pdoc_builder* builder, pdoc_element* element, const char** attributes);

// The readers per class, each walking the list once in order. Faces and
// name attributes are held by the builder's string pool (without a builder
// they are not read); reports go out through the builder (may be null).
// Text runs (not BR): face, size, align, color, outline, name; a CENTER run
// (tag PDOC_TAG_CENTER) is centred whatever its attributes say.
void pdoc_apply_text_attributes(pdoc_builder* builder, pdoc_element* element, int tag, const char** attributes);
// Images: defaults 0/null, then width, height, border, align, name, src and
// embed-encoding (a temporary name in the builder's temp_dir, or the
// system's).
void pdoc_apply_image_attributes(pdoc_builder* builder, pdoc_element* element, const char** attributes);
// Tables, rows, cells, rules: defaults first, then the list.
void pdoc_apply_table_attributes(pdoc_builder* builder, pdoc_element* element, const char** attributes);
void pdoc_apply_row_attributes(pdoc_builder* builder, pdoc_element* element, const char** attributes);
void pdoc_apply_cell_attributes(pdoc_builder* builder, pdoc_element* element, const char** attributes);
void pdoc_apply_rule_attributes(pdoc_element* element, const char** attributes);
