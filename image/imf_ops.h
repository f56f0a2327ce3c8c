// Operations on image records: gray-ramp palette reduction, colour type
// conversion, memory DIB output, copies and gray palettes.
#pragma once

#include "image/imgfilter.h"

// A palette image whose palette is an exact rising or falling gray ramp
// becomes the gray type of the same depth. Null image: the current one.
int optimize_image(imgfilter* context, imf_image* image);

// Converts to target_type into out, or in place when out is null. An out
// record's previous pixels and palette are released first.
int convert_color_type(imgfilter* context, imf_image* image, imf_image* out, int target_type);

// Encoder of IMF_FMT_DIB: the image as a DIB in a block from the context's
// allocator, stored through the memory output locations.
int write_memory_dib(imgfilter* context, imf_image* image);

// Deep copy of the record, its pixels and palette into out (whose previous
// buffers are released).
int copy_image(imgfilter* context, const imf_image* image, imf_image* out);

// Palette of the 2^bits gray levels, 1 <= bits <= 8.
int make_grey_palette(imf_image* image, int bits);

// i * (255 / (2^bits - 1)) in integer arithmetic.
int grey_level(int i, int bits);
