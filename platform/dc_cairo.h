// Device contexts over Cairo image surfaces: a screen-like and a memory
// surface at 96 pixels per inch (or another resolution for a bitmap that
// stands for another device). Lines and fills keep GDI's pixel rules; text
// is antialiased.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/dc.h"
#include "platform/dc_font.h"
#include "platform/dc_objects.h"

typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo cairo_t;

class CairoDc final : public DeviceContext {
 public:
  ~CairoDc() override;

  // A screen-like surface of width x height pixels at 96 per inch.
  static std::unique_ptr<CairoDc> create_screen(int width, int height);
  // A memory context with a bitmap of that size selected: RGB24, each pixel
  // four bytes blue, green, red, unused, rows top first. A dpi other than 96
  // lets a bitmap stand for another device, e.g. a printer's page.
  static std::unique_ptr<CairoDc> create_memory(int width, int height, int dpi = DC_SCREEN_DPI);

  int logical_dpi_x() const override { return dpi_; }
  int logical_dpi_y() const override { return dpi_; }
  int device_width() const override { return width_; }
  int device_height() const override { return height_; }

  DcObject create_font(const DcFontRequest& wanted) override;
  DcObject create_pen(int width, DcColor color) override;
  DcObject create_solid_brush(DcColor color) override;
  DcObject stock_object(DcStockObject which) override { return objects_.stock(which); }
  DcObject select_object(DcObject object) override { return objects_.select(object); }
  bool delete_object(DcObject object) override { return objects_.remove(object); }

  bool text_metrics(DcTextMetrics* metrics) override;
  bool text_out(int x, int y, const char* text, int length) override;
  bool text_extent(const char* text, int length, DcSize* size) override;
  DcColor set_text_color(DcColor color) override;
  DcColor set_bk_color(DcColor color) override;
  int set_bk_mode(int mode) override;
  DcColor get_text_color() const override { return text_color_; }
  DcColor get_bk_color() const override { return bk_color_; }
  int get_bk_mode() const override { return bk_mode_; }

  bool move_to(int x, int y) override;
  bool line_to(int x, int y) override;
  bool fill_rect(const DcRect& rect, DcObject brush) override;

  int set_stretch_mode(int mode) override;
  int stretch_dib(int dest_x, int dest_y, int dest_width, int dest_height, int src_x, int src_y,
                  int src_width, int src_height, const void* bits, size_t bits_size,
                  const DcBitmapInfoHeader* info) override;

  int save_dc() override;
  bool restore_dc(int level) override;
  bool intersect_clip_rect(const DcRect& rect) override;

  DcColor get_pixel(int x, int y) override;

  // The pixel rows (flushed) and their stride.
  unsigned char* bits();
  int stride() const;
  cairo_surface_t* surface() const { return surface_; }
  // Appends the pixels as a PNG to out, or writes them as a PNG file.
  bool encode_png(std::string* out);
  bool write_png(const char* path);

  // Font objects created so far (stock font not counted).
  size_t fonts_created() const { return fonts_created_; }
  size_t live_objects() const { return objects_.live_count(); }

 private:
  CairoDc(cairo_surface_t* surface, int width, int height, int dpi);
  void fill_pixels(const DcRect& rect, DcColor color);
  // The selected font's realisation (the stock font's made on first use).
  const DcFont& selected_font();
  void set_source(DcColor color);
  void apply_clip();

  cairo_surface_t* surface_;
  cairo_t* cr_;
  int width_, height_, dpi_;
  DcObjectTable objects_;
  DcFontCache fonts_;
  DcColor text_color_ = 0;
  DcColor bk_color_ = dc_rgb(255, 255, 255);
  int bk_mode_ = DC_OPAQUE;
  int stretch_mode_ = DC_BLACKONWHITE;
  int current_x_ = 0, current_y_ = 0;
  DcRect clip_;
  std::vector<DcRect> saved_clips_;
  size_t fonts_created_ = 0;
  // What the Cairo context was last given, so that repeats are not sent.
  bool source_is_color_ = false;
  DcColor source_color_ = 0;
  const void* scaled_font_ = nullptr;
};
