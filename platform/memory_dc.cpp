// Memory contexts are Cairo image surfaces on this platform.
#include "platform/memory_dc.h"

#include <utility>

#include "platform/dc_cairo.h"

std::unique_ptr<MemoryDc> MemoryDc::create(int width, int height) {
  std::unique_ptr<CairoDc> surface = CairoDc::create_memory(width, height);
  if (!surface) return nullptr;
  return std::make_unique<MemoryDc>(Made(), std::move(surface));
}

MemoryDc::MemoryDc(Made, std::unique_ptr<CairoDc> surface) : surface_(std::move(surface)) {}

MemoryDc::~MemoryDc() = default;

DeviceContext* MemoryDc::dc() {
  return surface_.get();
}

const unsigned char* MemoryDc::bits() {
  return surface_->bits();
}

int MemoryDc::stride() const {
  return surface_->stride();
}
