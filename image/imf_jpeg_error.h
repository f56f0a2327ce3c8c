// libjpeg error manager shared by the JPEG decoder and encoder: errors jump
// back into the codec, warnings go to the context's warning callback.
#pragma once

#include <csetjmp>
#include <cstdio>

#include <jpeglib.h>

#include "image/imgfilter.h"

struct imf_jpeg_error {
  jpeg_error_mgr base;  // first, so libjpeg's pointer converts back
  jmp_buf jump;
  imgfilter* context;
  int decoding;  // chooses the error text and code
};

// Installs the handlers on error and answers libjpeg's manager pointer.
jpeg_error_mgr* imf_jpeg_error_init(imf_jpeg_error* error, imgfilter* context, int decoding);
