// Shared by the PNG decoder and encoder: libpng's error and warning
// handlers report into the context named by the error pointer.
#pragma once

#include <png.h>

#include "image/imgfilter.h"

struct imf_png_target {
  imgfilter* context;
  const char* who;  // prefix of error texts: "png_decode" or "png_encode"
};

// Records "<who>: libpng: <message>" and jumps back to the codec.
[[noreturn]] void imf_png_error(png_structp png, png_const_charp message);
// Passes "libpng: <message>" to the warning callback.
void imf_png_warning(png_structp png, png_const_charp message);
