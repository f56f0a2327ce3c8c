// Code points of 8-bit document text: Windows-1252 for ordinary faces, the
// Symbol encoding for the "symbol" face.
#pragma once

#include <cstddef>
#include <string>

// Unicode code point of one Windows-1252 byte. Bytes the code page leaves
// undefined map to the C1 control of the same value.
char32_t cp1252_to_unicode(unsigned char byte);

// Unicode code point of one byte in the Symbol encoding (0xB7 is the bullet).
// Bytes without a glyph in the encoding map to U+FFFD.
char32_t symbol_to_unicode(unsigned char byte);

// Appends the UTF-8 form of a code point.
void append_utf8(std::string& out, char32_t code_point);
