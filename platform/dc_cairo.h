// Device contexts over Cairo image surfaces: a screen-like and a memory
// surface at 96 pixels per inch (or another resolution for a bitmap that
// stands for another device). Lines and fills keep GDI's pixel rules; text
// is antialiased.
#pragma once

#include <memory>
#include <string>

#include "platform/dc_state.h"

typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo cairo_t;

class CairoDc final : public DcState {
 public:
  ~CairoDc() override;

  // A screen-like surface of width x height pixels at 96 per inch.
  static std::unique_ptr<CairoDc> create_screen(int width, int height);
  // A memory context with a bitmap of that size selected: RGB24, each pixel
  // four bytes blue, green, red, unused, rows top first. A dpi other than 96
  // lets a bitmap stand for another device, e.g. a printer's page.
  static std::unique_ptr<CairoDc> create_memory(int width, int height, int dpi = DC_SCREEN_DPI);

  bool text_out(int x, int y, const char* text, int length) override;
  bool line_to(int x, int y) override;
  int stretch_dib(int dest_x, int dest_y, int dest_width, int dest_height, int src_x, int src_y, int src_width,
                  int src_height, const void* bits, size_t bits_size, const DcBitmapInfoHeader* info) override;
  DcColor get_pixel(int x, int y) override;

  // The pixel rows (flushed) and their stride.
  unsigned char* bits();
  int stride() const;
  cairo_surface_t* surface() const { return surface_; }
  // Appends the pixels as a PNG to out, or writes them as a PNG file.
  bool encode_png(std::string* out);
  bool write_png(const char* path);

 private:
  CairoDc(cairo_surface_t* surface, int width, int height, int dpi);
  void fill_pixels(const DcRect& rect, DcColor color) override;
  void set_source(DcColor color);
  void clip_changed() override;

  cairo_surface_t* surface_;
  cairo_t* cr_;
  // What the Cairo context was last given, so that repeats are not sent.
  bool source_is_color_ = false;
  DcColor source_color_ = 0;
  const void* scaled_font_ = nullptr;
};
