// Fuzzes BMP file decoding and re-encoding of whatever decodes.
#include <cstdio>
#include <cstdlib>

#include "image/imgfilter.h"

namespace {
void* zeroed(imgfilter*, void*, size_t size) { return calloc(1, size); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  // The decoder sizes the file with fstat, so the bytes go through a real file.
  FILE* file = tmpfile();
  if (!file) return 0;
  if (size) fwrite(data, 1, size, file);
  rewind(file);
  imf_context_ptr context(imf_create(IMF_VERSION));
  imf_register(context.get(), imf_module_bmp);
  imf_set_input_format(context.get(), IMF_FMT_BMP);
  imf_set_input_stream(context.get(), file);
  // Encoding large pictures only costs time; the encoder's bounds are the
  // same for every size.
  if (imf_read(context.get()) && context->image->data_size <= (16u << 20)) {
    void* block = nullptr;
    imf_set_malloc(context.get(), zeroed);
    imf_set_output_format(context.get(), IMF_FMT_DIB);
    imf_set_output_memory(context.get(), &block, nullptr, nullptr, nullptr);
    if (imf_write(context.get())) free(block);
  }
  fclose(file);
  return 0;
}
