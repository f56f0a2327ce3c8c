// File helpers for codecs: whole-file reads and integers in the byte order
// selected by the context's big_endian flag.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>

#include "image/imgfilter.h"

// Largest file that file2memory loads.
inline constexpr long long IMF_MAX_FILE_BYTES = 1000000000;

// Reads the whole file behind stream (from its current position) into one
// new malloc'ed block of at least one byte; the caller frees it. 1/0; on
// failure the out locations are untouched.
int file2memory(imgfilter* context, FILE* stream, unsigned char** block, size_t* length);

int imf_get16(const imgfilter* context, const unsigned char* bytes);
unsigned imf_getu16(const imgfilter* context, const unsigned char* bytes);
uint32_t imf_get32(const imgfilter* context, const unsigned char* bytes);
int imf_put16(const imgfilter* context, unsigned char* bytes, unsigned value);
int imf_put32(const imgfilter* context, unsigned char* bytes, uint32_t value);

// Stream reading with a running byte count; short reads are reported and the
// buffer is zero-filled.
size_t imf_read_bytes(imgfilter* context, void* buffer, size_t count);
void imf_skip(imgfilter* context, long count);
long imf_read_int(imgfilter* context, int size);
unsigned long imf_read_uint(imgfilter* context, int size);
int imf_write_int(imgfilter* context, long value, int size);
