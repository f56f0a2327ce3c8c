// Readers for the value syntaxes of start-tag attributes: integers, lengths
// with a percentage twin, alignment keywords and relative font sizes.
#pragma once

#include <cstdint>

// Like atoi: optional leading whitespace and sign, then decimal digits up to
// the first other byte; no digits give 0. Values beyond the 32-bit range
// saturate instead of overflowing.
int32_t pdoc_read_int(const char* text);

// A length: when the text holds a '%' anywhere, *fraction receives the
// integer at its start divided by 100 and *pixels is left alone; otherwise
// *pixels receives the integer and *fraction is left alone.
void pdoc_read_length(const char* text, int32_t* pixels, double* fraction);

// left, right, center (any case) into ALIGN_LEFT/RIGHT/CENTER. Any other word
// leaves *field unchanged. Answers whether a word matched.
bool pdoc_read_align(const char* text, int32_t* field);

// top, bottom, center (any case) into ALIGN_TOP/BOTTOM/CENTER; as above.
bool pdoc_read_valign(const char* text, int32_t* field);

// A font size relative to current: "-N" subtracts N, "+N" adds N, anything
// else replaces the size. The result saturates at the 32-bit range.
int32_t pdoc_read_font_size(int32_t current, const char* text);
