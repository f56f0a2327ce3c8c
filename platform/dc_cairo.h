// Device contexts over Cairo surfaces: a screen-like and a memory image
// surface at 96 pixels per inch, and a printer-like PDF surface whose pages
// are sheets. Lines and fills keep GDI's pixel rules; text is antialiased.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/dc.h"
#include "platform/dc_objects.h"

typedef struct _cairo_surface cairo_surface_t;
typedef struct _cairo cairo_t;

inline constexpr int DC_SCREEN_DPI = 96;
inline constexpr int DC_PRINTER_DPI = 600;

struct CairoFont;

class CairoDc final : public DeviceContext {
 public:
  ~CairoDc() override;

  // A screen-like surface of width x height pixels at 96 per inch.
  static std::unique_ptr<CairoDc> create_screen(int width, int height);
  // A memory context with a bitmap of that size selected: RGB24, each pixel
  // four bytes blue, green, red, unused, rows top first. A dpi other than 96
  // lets a bitmap stand for another device, e.g. a printer's page.
  static std::unique_ptr<CairoDc> create_memory(int width, int height, int dpi = DC_SCREEN_DPI);
  // A PDF file of pages width_points x height_points (1/72 inch) drawn at
  // dpi pixels per inch. Each end_page finishes a sheet.
  static std::unique_ptr<CairoDc> create_pdf(const char* path, double width_points,
                                             double height_points, int dpi = DC_PRINTER_DPI);
  // A PDF of sheets as above whose drawable area is only the printable part
  // of the sheet: `printable` in pixels at dpi from the sheet's top-left
  // corner. Coordinates 0,0 are its top-left corner and nothing is drawn
  // outside it, as on a printer that cannot print to the edge.
  static std::unique_ptr<CairoDc> create_pdf_sheets(const char* path, double paper_width_points,
                                                    double paper_height_points,
                                                    const DcRect& printable,
                                                    int dpi = DC_PRINTER_DPI);

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

  bool start_page() override;
  bool end_page() override;

  // Image surfaces: the pixel rows (flushed), their stride; null for PDF.
  unsigned char* bits();
  int stride() const;
  cairo_surface_t* surface() const { return surface_; }
  // Image surfaces: appends the pixels as a PNG to out, or writes them as a
  // PNG file.
  bool encode_png(std::string* out);
  bool write_png(const char* path);
  // Completes the output (the PDF file); later drawing is ignored.
  void finish();

  // Font objects created so far (stock font not counted).
  size_t fonts_created() const { return fonts_created_; }
  size_t live_objects() const { return objects_.live_count(); }

 private:
  CairoDc(cairo_surface_t* surface, int width, int height, int dpi, bool paged);
  void fill_pixels(const DcRect& rect, DcColor color);
  // The selected font's realisation (the stock font's made on first use).
  const CairoFont& selected_font();
  void set_source(DcColor color);
  void apply_clip();
  // Opens a PDF sheet's drawing; see the definition.
  void start_sheet();

  cairo_surface_t* surface_;
  cairo_t* cr_;
  int width_, height_, dpi_;
  bool paged_;
  double paper_width_points_ = 0, paper_height_points_ = 0;  // PDF only
  bool sheet_started_ = false;
  DcObjectTable objects_;
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

  struct RealisedFont {
    DcFontRequest request;
    std::shared_ptr<const DcFontData> data;
    bool same_request(const DcFontRequest& other) const;
  };
  static constexpr size_t kRealisedFontsKept = 32;
  std::vector<RealisedFont> realised_;  // oldest first
};
