// File helpers for codecs: loading a whole file, byte-order conversion and
// counted stream reads and writes.
#include "image/imf_fileio.h"

#include <sys/stat.h>

#include <cstdlib>
#include <cstring>

int file2memory(imgfilter* context, FILE* stream, unsigned char** block, size_t* length) {
  if (!stream) {
    imf_error(context, "file2memory: Can't read file");
    return 0;
  }
  struct stat status;
  if (fstat(fileno(stream), &status) != 0) {
    imf_error(context, "file2memory: Can't stat");
    return 0;
  }
  if (status.st_size < 0 || static_cast<long long>(status.st_size) > IMF_MAX_FILE_BYTES) {
    imf_error(context, "file2memory: File too large");
    return 0;
  }
  size_t size = static_cast<size_t>(status.st_size);
  auto* data = static_cast<unsigned char*>(malloc(size ? size : 1));
  if (!data) {
    imf_error(context, "file2memory: Out of memory");
    return 0;
  }
  size_t got = size ? fread(data, 1, size, stream) : 0;
  if (got != size) {
    imf_error(context, "file2memory: Read failed (%d/%d)", static_cast<int>(got), static_cast<int>(size));
    free(data);
    return 0;
  }
  *block = data;
  *length = size;
  return 1;
}

int imf_get16(const imgfilter* context, const unsigned char* bytes) {
  return static_cast<int16_t>(imf_getu16(context, bytes));
}

unsigned imf_getu16(const imgfilter* context, const unsigned char* bytes) {
  if (context->big_endian) return (unsigned{bytes[0]} << 8) | bytes[1];
  return (unsigned{bytes[1]} << 8) | bytes[0];
}

uint32_t imf_get32(const imgfilter* context, const unsigned char* bytes) {
  if (context->big_endian)
    return (uint32_t{bytes[0]} << 24) | (uint32_t{bytes[1]} << 16) | (uint32_t{bytes[2]} << 8) | bytes[3];
  return (uint32_t{bytes[3]} << 24) | (uint32_t{bytes[2]} << 16) | (uint32_t{bytes[1]} << 8) | bytes[0];
}

int imf_put16(const imgfilter* context, unsigned char* bytes, unsigned value) {
  unsigned char high = static_cast<unsigned char>(value >> 8), low = static_cast<unsigned char>(value);
  bytes[0] = context->big_endian ? high : low;
  bytes[1] = context->big_endian ? low : high;
  return 1;
}

int imf_put32(const imgfilter* context, unsigned char* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) {
    int shift = context->big_endian ? 24 - 8 * i : 8 * i;
    bytes[i] = static_cast<unsigned char>(value >> shift);
  }
  return 1;
}

size_t imf_read_bytes(imgfilter* context, void* buffer, size_t count) {
  size_t got = context->input_stream ? fread(buffer, 1, count, context->input_stream) : 0;
  context->bytes_read += static_cast<long>(got);
  if (got < count) {
    if (!context->input_stream || feof(context->input_stream))
      imf_error(context, "Unexpected end of file (expected %d,got %d)", static_cast<int>(count), static_cast<int>(got));
    else
      imf_error(context, "Read file failed (expected %d,got %d)", static_cast<int>(count), static_cast<int>(got));
    memset(buffer, 0, count);
  }
  return got;
}

void imf_skip(imgfilter* context, long count) {
  unsigned char piece[1024];
  while (count > 0) {
    size_t want = count < 1024 ? static_cast<size_t>(count) : sizeof piece;
    size_t got = context->input_stream ? fread(piece, 1, want, context->input_stream) : 0;
    context->bytes_read += static_cast<long>(got);
    if (got < want) {
      imf_error(context, "Unexpected end of file (expected %d,got %d)", static_cast<int>(want), static_cast<int>(got));
      return;
    }
    count -= static_cast<long>(got);
  }
}

long imf_read_int(imgfilter* context, int size) {
  unsigned char bytes[4];
  if (size == 2) {
    imf_read_bytes(context, bytes, 2);
    return imf_get16(context, bytes);
  }
  if (size == 4) {
    imf_read_bytes(context, bytes, 4);
    return static_cast<int32_t>(imf_get32(context, bytes));
  }
  imf_error(context, "Warning: unexpected int size (%d)", size);
  if (size > 0) imf_skip(context, size);
  return 0;
}

unsigned long imf_read_uint(imgfilter* context, int size) {
  unsigned char bytes[4];
  if (size == 2) {
    imf_read_bytes(context, bytes, 2);
    return imf_getu16(context, bytes);
  }
  if (size == 4) {
    imf_read_bytes(context, bytes, 4);
    return imf_get32(context, bytes);
  }
  imf_error(context, "Warning: unexpected uint size (%d)", size);
  if (size > 0) imf_skip(context, size);
  return 0;
}

int imf_write_int(imgfilter* context, long value, int size) {
  unsigned char bytes[4];
  if (size == 2)
    imf_put16(context, bytes, static_cast<unsigned>(value));
  else if (size == 4)
    imf_put32(context, bytes, static_cast<uint32_t>(value));
  else
    return 0;
  if (!context->output_stream) return 0;
  return fwrite(bytes, 1, static_cast<size_t>(size), context->output_stream) == static_cast<size_t>(size) ? 1 : 0;
}
