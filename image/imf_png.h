// PNG codec over libpng.
#pragma once

#include "image/imgfilter.h"

int png_decode(imgfilter* context, imf_image* image);
int png_encode(imgfilter* context, imf_image* image);

// Warning level of libpng's warnings.
inline constexpr int IMF_PNG_WARNING_LEVEL = 1002;
