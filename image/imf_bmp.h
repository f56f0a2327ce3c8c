// The BMP/DIB codec: BMP files, DIBs in memory, and DIB encoding.
#pragma once

#include <cstddef>

#include "image/imgfilter.h"

int imf_bmp_decode(imgfilter* context, imf_image* image);
int imf_bmp_encode(imgfilter* context, imf_image* image);
int imf_dib_decode_memory(imgfilter* context, imf_image* image);

// header points at the info header with the colour table after it; when
// bits is null the pixel bits follow the colour table within header_length.
int dib_decode(imgfilter* context, imf_image* image, const unsigned char* header, size_t header_length,
               const unsigned char* bits, size_t bits_length);

// Builds header, colour table and bits in one zero-filled block: from the
// context's allocator when use_allocator is set, else malloc'ed for the
// caller to free.
int dib_encode(imgfilter* context, imf_image* image, unsigned char** block, size_t* size, size_t* bits_offset,
               int use_allocator);

inline constexpr size_t DIB_INFO_HEADER_SIZE = 40;
inline constexpr size_t BMP_FILE_HEADER_SIZE = 14;
