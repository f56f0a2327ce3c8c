// The memory context the platform hands out: a device context that draws
// into a bitmap of its own, whose pixels the caller reads back.
#pragma once

#include <memory>

#include "platform/dc.h"

class CairoDc;

class MemoryDc {
  // Only create() can name it, so only create() makes a context.
  struct Made {
    explicit Made() = default;
  };

 public:
  // A context compatible with the screen with a width x height bitmap
  // selected into it; null when the bitmap cannot be had.
  static std::unique_ptr<MemoryDc> create(int width, int height);
  MemoryDc(Made, std::unique_ptr<CairoDc> surface);
  ~MemoryDc();
  MemoryDc(const MemoryDc&) = delete;
  MemoryDc& operator=(const MemoryDc&) = delete;

  DeviceContext* dc();
  // The bitmap's rows, top first, stride() bytes each, four bytes a pixel
  // (blue, green, red, unused), with every drawing call so far in them.
  const unsigned char* bits();
  int stride() const;

 private:
  std::unique_ptr<CairoDc> surface_;
};
