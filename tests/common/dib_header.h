// The header of an uncompressed device-independent bitmap, as the tests'
// pictures need it.
#pragma once

#include "platform/dc.h"

namespace tessel_testing {

// height > 0: bottom row first; height < 0: top row first.
inline DcBitmapInfoHeader dib_header(int width, int height, int bit_count) {
  DcBitmapInfoHeader info{};
  info.size = sizeof info;
  info.width = width;
  info.height = height;
  info.planes = 1;
  info.bit_count = static_cast<uint16_t>(bit_count);
  return info;
}

}  // namespace tessel_testing
