// JPEG codec over libjpeg.
#pragma once

#include "image/imgfilter.h"

int jpeg_decode(imgfilter* context, imf_image* image);
int jpeg_encode(imgfilter* context, imf_image* image);

// Error codes of jpeg_decode besides the general one.
inline constexpr int IMF_ERR_JPEG = 2;
inline constexpr int IMF_ERR_JPEG_PRECISION = 21;
