// The printer's device context: a PDF file of sheets written by our own
// writer. Content streams are in whole device pixels with one transform per
// sheet from the sheet's resolution to points; fills, lines, text and
// pictures keep the pixel rules of the other contexts, and text measures
// with the same realised fonts as theirs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/dc.h"
#include "platform/dc_font.h"
#include "platform/dc_objects.h"
#include "platform/pdf_fonts.h"
#include "platform/pdf_images.h"
#include "platform/pdf_syntax.h"

class PdfFile;

class PdfDc final : public DeviceContext {
 public:
  // A file at path of sheets paper_width_points x paper_height_points (1/72
  // inch) drawn at dpi pixels per inch. Only `printable` (in pixels from the
  // sheet's top-left corner) is drawable: coordinates 0,0 are its top-left
  // corner and nothing is drawn outside it, as on a printer that cannot
  // print to the edge. Null with a reason in *error when the sizes are
  // unusable or the file cannot be created.
  static std::unique_ptr<PdfDc> create(const std::string& path, double paper_width_points,
                                       double paper_height_points, const DcRect& printable,
                                       int dpi, std::string* error);
  ~PdfDc() override;

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

  // A PDF has no pixels to read.
  DcColor get_pixel(int, int) override { return DC_INVALID_COLOR; }

  // Each end_page sends the sheet drawn so far to the file, even an empty
  // one; false once the file cannot be written.
  bool end_page() override;
  // The document's title, in Windows-1252, for the file's information.
  void set_title(std::string title) { title_ = std::move(title); }
  // Completes the file: a sheet drawn on since the last end_page, the fonts,
  // the page tree and the cross references. False when the file is not
  // whole (error() says why); later drawing is ignored.
  bool finish();
  const std::string& error() const { return error_; }
  int sheets() const { return static_cast<int>(pages_.size()); }

  // For tests: the content stream of the sheet being drawn.
  const std::string& sheet_content() const { return content_.str(); }

 private:
  PdfDc() = default;
  const DcFont& selected_font();
  // Brings the clip of the content stream to clip_.
  void apply_clip();
  void set_fill(DcColor color);
  // The stroke colour of emboldened text; set each time, as text is rare.
  void set_stroke(DcColor color);
  void fill_pixels(const DcRect& rect, DcColor color);
  void begin_sheet();
  bool fail(const std::string& why);

  std::unique_ptr<PdfFile> file_;
  int width_ = 0, height_ = 0, dpi_ = DC_PRINTER_DPI;
  double paper_width_ = 0, paper_height_ = 0;
  DcRect printable_{};
  DcObjectTable objects_{dc_stock_font_request(), nullptr};
  std::unique_ptr<DcFontCache> fonts_;
  DcColor text_color_ = 0;
  DcColor bk_color_ = dc_rgb(255, 255, 255);
  int bk_mode_ = DC_OPAQUE;
  int stretch_mode_ = DC_BLACKONWHITE;
  int current_x_ = 0, current_y_ = 0;
  DcRect clip_{};
  std::vector<DcRect> saved_clips_;

  // The sheet being drawn and what its content stream has set so far.
  PdfBytes content_;
  bool drawn_ = false;
  bool clip_open_ = false;  // a "q ... re W n" narrows the sheet's clip
  DcRect stream_clip_{};
  int64_t fill_ = -1;  // the fill colour in force, -1 before the first
  int64_t fill_outside_clip_ = -1;  // ... as it was when the clip was opened
  int font_ = 0;  // the font resource in force, 0 before the first
  double font_size_ = 0;
  int font_outside_clip_ = 0;
  double font_size_outside_clip_ = 0;

  PdfFonts fonts_used_;
  PdfImages images_;
  int pages_object_ = 0, resources_object_ = 0;
  std::vector<int> pages_;  // page objects
  std::string title_;
  bool finished_ = false;
  std::string error_;
};
