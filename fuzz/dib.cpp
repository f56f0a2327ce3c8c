// Fuzzes decoding of a DIB in memory; the first byte chooses whether the
// bits are passed separately, as the render target's callers may do.
#include "fuzz/picture_target.h"

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
  if (imf_read(context.get())) fuzz_picture::reencode_as_dib(context.get());
  return 0;
}
