// Pictures as packed bitmaps; see dib_block.h.
#include "layout/dib_block.h"

#include "image/imgfilter.h"

namespace {

void* zeroed_block(imgfilter*, void*, size_t size) {
  return calloc(1, size);
}

}  // namespace

bool write_dib_block(imgfilter* image, DibBlock* out) {
  imf_register(image, imf_module_bmp);
  imf_set_malloc(image, zeroed_block);
  imf_set_output_format(image, IMF_FMT_DIB);
  void* block = nullptr;
  size_t block_size = 0, bits_offset = 0;
  void* bits = nullptr;
  imf_set_output_memory(image, &block, &block_size, &bits_offset, &bits);
  const int written = imf_write(image);
  // The output locations are ours and go out of scope here.
  imf_set_output_memory(image, nullptr, nullptr, nullptr, nullptr);
  out->block.reset(block);
  out->size = block_size;
  out->bits_offset = bits_offset;
  return written && block && bits && bits_offset >= sizeof(DcBitmapInfoHeader) && bits_offset <= block_size;
}
