// PNG encoding of the screen and device pictures.
#pragma once

#include <string>

// Appends to out an 8-bit RGB PNG of width x height pixels, each a native
// 32-bit word 0x??RRGGBB (the top byte is ignored), rows stride bytes apart.
// Rendered pages are mostly flat colour: deflate's fastest level (through
// libdeflate) without row filters packs them about as tightly as the
// default effort does, in a fraction of the time. The picture carries a
// white background chunk and nothing else besides its pixels. False, with
// out unchanged, when the sizes are unusable or memory runs out.
bool png_encode_rgb24(const unsigned char* pixels, int width, int height, int stride, std::string* out);
