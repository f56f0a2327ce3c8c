// The common part of the picture fuzz targets: decode the input with one
// codec, then encode what decoded as a DIB in memory, so that the encoder
// meets whatever the decoder lets through.
#pragma once

#include <cstddef>
#include <cstdio>
#include <cstdlib>

#include "image/imgfilter.h"
#include "platform/stdio_file.h"

namespace fuzz_picture {

inline void* zeroed(imgfilter*, void*, size_t size) {
  return calloc(1, size);
}

// Encodes the context's decoded picture as a DIB into memory and frees it.
// Large pictures only cost time here: the encoder's bounds are the same
// for every size.
inline void reencode_as_dib(imgfilter* context) {
  if (context->image == nullptr || context->image->data_size > (16u << 20)) return;
  void* block = nullptr;
  size_t length = 0;
  imf_set_malloc(context, zeroed);
  imf_set_output_format(context, IMF_FMT_DIB);
  imf_set_output_memory(context, &block, &length, nullptr, nullptr);
  if (imf_write(context)) free(block);
}

// The bytes as a stream: over the memory itself, or through a temporary
// file for decoders that size their input with fstat.
inline FilePtr open_input(const unsigned char* data, size_t size, bool real_file) {
  if (!real_file) return FilePtr(size > 0 ? fmemopen(const_cast<unsigned char*>(data), size, "rb") : nullptr);
  FilePtr file(tmpfile());
  if (file && size > 0) fwrite(data, 1, size, file.get());
  if (file) rewind(file.get());
  return file;
}

// Decodes the stream as format with the codec module (the DIB encoder
// comes with the BMP module), then re-encodes it.
inline void decode_and_reencode(FILE* stream, imf_module_fn codec, int format) {
  imf_context_ptr context(imf_create(IMF_VERSION));
  imf_register(context.get(), codec);
  if (codec != imf_module_bmp) imf_register(context.get(), imf_module_bmp);
  imf_set_input_format(context.get(), format);
  imf_set_input_stream(context.get(), stream);
  if (imf_read(context.get())) reencode_as_dib(context.get());
}

}  // namespace fuzz_picture
