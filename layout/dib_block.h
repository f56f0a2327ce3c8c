// The picture of an image library context as a packed device-independent
// bitmap in one block (header, colour table, bits), as stretch_dib takes it.
#pragma once

#include <cstddef>
#include <cstdlib>
#include <memory>

#include "platform/dc.h"

struct imgfilter;

struct DibBlock {
  std::unique_ptr<void, decltype(&free)> block{nullptr, &free};
  size_t size = 0;
  size_t bits_offset = 0;

  const DcBitmapInfoHeader* header() const { return static_cast<const DcBitmapInfoHeader*>(block.get()); }
  const void* bits() const { return static_cast<const char*>(block.get()) + bits_offset; }
  size_t bits_size() const { return size - bits_offset; }
};

// Writes the context's picture into *out; false when the image library
// cannot, or what it made is not a usable block.
bool write_dib_block(imgfilter* image, DibBlock* out);
