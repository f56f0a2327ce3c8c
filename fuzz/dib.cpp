// Fuzzes decoding of a DIB in memory; the first byte chooses whether the
// bits are passed separately, as the render target's callers may do.
#include <cstdlib>

#include "image/imgfilter.h"

namespace {
void* zeroed(imgfilter*, void*, size_t size) { return calloc(1, size); }
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  if (size < 1) return 0;
  bool separate_bits = data[0] & 1;
  ++data;
  --size;
  imf_context_ptr context(imf_create(IMF_VERSION));
  imf_register(context.get(), imf_module_bmp);
  imf_set_input_format(context.get(), IMF_FMT_DIB);
  size_t split = size / 2;
  if (separate_bits)
    imf_set_input_memory(context.get(), data, split, data + split, size - split);
  else
    imf_set_input_memory(context.get(), data, size);
  // Encoding large pictures only costs time; the encoder's bounds are the
  // same for every size.
  if (imf_read(context.get()) && context->image->data_size <= (16u << 20)) {
    void* block = nullptr;
    size_t length = 0;
    imf_set_malloc(context.get(), zeroed);
    imf_set_output_format(context.get(), IMF_FMT_DIB);
    imf_set_output_memory(context.get(), &block, &length, nullptr, nullptr);
    if (imf_write(context.get())) free(block);
  }
  return 0;
}
