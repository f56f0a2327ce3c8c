// Base64 (standard alphabet, "=" padding): encoding of memory blocks with
// or without line breaks, decoding of text, and whole-stream helpers.
#pragma once

#include <cstddef>
#include <cstdio>

// Encodes length bytes into a new malloc'ed, terminated text (free it with
// free()) of length * 4 / 3 + 4 bytes, without line breaks. Answers the
// length of the text, or -1 when memory runs out or the text would not fit
// an int; *text is null then.
int QELBase64Encode(const void* data, size_t length, char** text);

// Like QELBase64Encode, with "\r\n" after every 57 input bytes (76 output
// characters) and after the last group. Allocates
// length * 4 / 3 + (length / 57) * 2 + 6 bytes.
int QELBase64EncodeLines(const void* data, size_t length, char** text);

// Decodes the terminated text in groups of four characters into output,
// which must hold at least three quarters of strlen(text) bytes. Stops
// without error at a character outside the alphabet where a group begins
// (a line end, the terminator) and after padding. Answers the number of
// bytes written, or -1 for a malformed group (nothing of that group is
// written). Never reads past the terminator.
int QELBase64Decode(const char* text, void* output);

// The value 0-63 of an alphabet character, or -1.
int QELBase64Value(int character);

// Encodes the whole input stream in blocks of 57 bytes, each written as one
// line ending in "\n". Answers the number of input bytes encoded, or -1
// when writing fails.
long QELBase64EncodeStream(FILE* input, FILE* output);

// Decodes the input stream line by line (at most 83 characters per read)
// into the output stream. A line that does not decode stops the decoding:
// none of its bytes and nothing after it is written, and the answer is -1.
// Otherwise answers the number of characters read. Also -1 when writing
// fails.
long QELBase64DecodeStream(FILE* input, FILE* output);
