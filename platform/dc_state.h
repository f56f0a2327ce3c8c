// What the Cairo and the PDF contexts keep alike: the object table and the
// realised fonts, text and background colours, the background mode, the
// stretch mode, the current point, the clip stack, and the squares a pen
// covers along a line. Each context only says how it paints.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <vector>

#include "platform/dc.h"
#include "platform/dc_font.h"
#include "platform/dc_objects.h"
#include "platform/dib_reader.h"

class DcState : public DeviceContext {
 public:
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
  bool text_extent(const char* text, int length, DcSize* size) override;
  DcColor set_text_color(DcColor color) override;
  DcColor set_bk_color(DcColor color) override;
  int set_bk_mode(int mode) override;
  DcColor get_text_color() const override { return text_color_; }
  DcColor get_bk_color() const override { return bk_color_; }
  int get_bk_mode() const override { return bk_mode_; }

  bool move_to(int x, int y) override;
  bool fill_rect(const DcRect& rect, DcObject brush) override;
  int set_stretch_mode(int mode) override;

  int save_dc() override;
  bool restore_dc(int level) override;
  bool intersect_clip_rect(const DcRect& rect) override;

  // Font objects created so far (stock font not counted).
  size_t fonts_created() const { return fonts_created_; }
  size_t live_objects() const { return objects_.live_count(); }

 protected:
  DcState(int width, int height, int dpi);

  // The selected font's realisation (the stock font's made on first use).
  const DcFont& selected_font();
  // Checks a stretch's source and box: false for one to refuse (the stretch
  // answers 0), else the reader of the bitmap and the part of the box the
  // clip lets through (possibly empty) in *visible.
  bool open_stretch(int dest_x, int dest_y, int dest_width, int dest_height, int src_x, int src_y, int src_width,
                    int src_height, const void* bits, size_t bits_size, const DcBitmapInfoHeader* info,
                    DibReader* reader, DcRect* visible) const;
  // Paints left..right-1 by top..bottom-1 in the colour.
  virtual void fill_pixels(const DcRect& rect, DcColor color) = 0;
  // The clip changed (saved state restored or narrowed).
  virtual void clip_changed() {}

  // Calls square(x, y, w, h) for each square the selected pen covers on
  // the line from the current point to (x, y), which becomes the current
  // point; the end point is not painted. Answers the pen, or null when the
  // line has no length.
  template <typename Square>
  const DcObjectEntry* line_squares(int x, int y, Square square);

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
};

DcRect dc_intersect(const DcRect& a, const DcRect& b);
// The box w x h at (x, y), its far edges held within int.
DcRect dc_box(int64_t x, int64_t y, int64_t w, int64_t h);
inline bool dc_empty(const DcRect& r) {
  return r.right <= r.left || r.bottom <= r.top;
}

template <typename Square>
const DcObjectEntry* DcState::line_squares(int x, int y, Square square) {
  const DcObjectEntry& pen = objects_.selected_entry(DcObjectKind::Pen);
  const int64_t width = pen.pen_width > 1 ? pen.pen_width : 1;
  const int64_t before = (width - 1) / 2;
  const int x0 = current_x_, y0 = current_y_;
  current_x_ = x;
  current_y_ = y;
  if (x0 == x && y0 == y) return nullptr;
  auto cover = [&](int64_t px, int64_t py, int64_t w, int64_t h) {
    square(px - before, py - before, w + width - 1, h + width - 1);
  };
  if (y0 == y) {
    // The end point is not painted: x0 .. x-1 going right, x+1 .. x0 going left.
    cover(x > x0 ? x0 : int64_t{x} + 1, y, std::abs(int64_t{x} - x0), 1);
  } else if (x0 == x) {
    cover(x, y > y0 ? y0 : int64_t{y} + 1, 1, std::abs(int64_t{y} - y0));
  } else {
    // Bresenham over the major axis, stopping before the end point.
    const int64_t dx = std::abs(int64_t{x} - x0), dy = std::abs(int64_t{y} - y0);
    const int sx = x > x0 ? 1 : -1, sy = y > y0 ? 1 : -1;
    int64_t err = dx - dy;
    int px = x0, py = y0;
    while (px != x || py != y) {
      cover(px, py, 1, 1);
      const int64_t e2 = 2 * err;
      if (e2 > -dy) {
        err -= dy;
        px += sx;
      }
      if (e2 < dx) {
        err += dx;
        py += sy;
      }
    }
  }
  return &pen;
}
