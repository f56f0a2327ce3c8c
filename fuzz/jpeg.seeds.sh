#!/usr/bin/env bash
# Writes a generated corpus of small JPEG files into DIR, using a helper
# compiled here against the system's libjpeg.
set -euo pipefail
out=$1
mkdir -p "$out"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cat >"$work/make_jpegs.cpp" <<'SRC'
#include <cstdio>
#include <string>
#include <vector>
#include <jpeglib.h>

static void write(const std::string& name, int w, int h, J_COLOR_SPACE in, int comps,
                  J_COLOR_SPACE space, bool progressive, int unit, int restart) {
  FILE* f = fopen(name.c_str(), "wb");
  if (!f) return;
  jpeg_compress_struct c;
  jpeg_error_mgr e;
  c.err = jpeg_std_error(&e);
  jpeg_create_compress(&c);
  jpeg_stdio_dest(&c, f);
  c.image_width = w;
  c.image_height = h;
  c.input_components = comps;
  c.in_color_space = in;
  jpeg_set_defaults(&c);
  if (space != in || space == JCS_CMYK) jpeg_set_colorspace(&c, space);
  jpeg_set_quality(&c, 60, TRUE);
  if (progressive) jpeg_simple_progression(&c);
  c.density_unit = unit;
  c.X_density = 72;
  c.Y_density = 72;
  c.restart_interval = restart;
  jpeg_start_compress(&c, TRUE);
  std::vector<unsigned char> row(w * comps);
  while (c.next_scanline < c.image_height) {
    for (int x = 0; x < w * comps; ++x) row[x] = (unsigned char)(x * 7 + c.next_scanline * 13);
    JSAMPROW p = row.data();
    jpeg_write_scanlines(&c, &p, 1);
  }
  jpeg_finish_compress(&c);
  jpeg_destroy_compress(&c);
  fclose(f);
}

int main(int, char** argv) {
  std::string d = argv[1];
  write(d + "/gray.jpg", 8, 8, JCS_GRAYSCALE, 1, JCS_GRAYSCALE, false, 0, 0);
  write(d + "/rgb_dpi.jpg", 16, 16, JCS_RGB, 3, JCS_YCbCr, false, 1, 0);
  write(d + "/rgb_progressive.jpg", 17, 9, JCS_RGB, 3, JCS_YCbCr, true, 2, 0);
  write(d + "/rgb_restart.jpg", 24, 8, JCS_RGB, 3, JCS_YCbCr, false, 0, 1);
  write(d + "/rgb_plain.jpg", 8, 8, JCS_RGB, 3, JCS_RGB, false, 0, 0);
  write(d + "/cmyk.jpg", 8, 8, JCS_CMYK, 4, JCS_CMYK, false, 0, 0);
  return 0;
}
SRC
c++ -O1 -o "$work/make_jpegs" "$work/make_jpegs.cpp" -ljpeg
"$work/make_jpegs" "$out"
