// Fuzzes JPEG decoding through the library and DIB encoding of the result.
#include "fuzz/picture_target.h"

extern "C" int LLVMFuzzerTestOneInput(const unsigned char* data, size_t size) {
  FilePtr stream = fuzz_picture::open_input(data, size, false);
  if (stream) fuzz_picture::decode_and_reencode(stream.get(), imf_module_jpeg, IMF_FMT_JPEG);
  return 0;
}
