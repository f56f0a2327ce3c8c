// Memory contexts are Cairo image surfaces on this platform.
#include "platform/memory_dc.h"

#include "platform/dc_cairo.h"

std::unique_ptr<MemoryDc> create_memory_dc(int width, int height, int dpi) {
  return CairoDc::create_memory(width, height, dpi);
}
