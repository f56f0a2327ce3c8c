// The memory context the platform hands out: drawing goes into a bitmap of
// the context's own, whose pixels the caller reads back afterwards.
#pragma once

#include <memory>

#include "platform/dc.h"

class MemoryDc : public DeviceContext {
 public:
  // The bitmap's rows, top first, stride() bytes each, four bytes a pixel
  // (blue, green, red, unused), after every drawing call so far has landed;
  // null for a context without pixels of its own.
  virtual unsigned char* bits() = 0;
  virtual int stride() const = 0;
};

// A memory context compatible with the screen, with a width x height bitmap
// selected into it. A dpi other than the screen's lets the bitmap stand for
// another device. Null when the bitmap cannot be had.
std::unique_ptr<MemoryDc> create_memory_dc(int width, int height, int dpi = DC_SCREEN_DPI);
