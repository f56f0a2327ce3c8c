// Fuzzes BMP file decoding and re-encoding of whatever decodes.
#include "fuzz/picture_target.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  // The decoder sizes the file with fstat, so the bytes go through a real file.
  FilePtr file = fuzz_picture::open_input(data, size, true);
  if (file) fuzz_picture::decode_and_reencode(file.get(), imf_module_bmp, IMF_FMT_BMP);
  return 0;
}
