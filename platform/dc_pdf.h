// The printer's device context: a PDF file of sheets written by our own
// writer. Content streams are in whole device pixels with one transform per
// sheet from the sheet's resolution to points; fills, lines, text and
// pictures keep the pixel rules of the other contexts, and text measures
// with the same realised fonts as theirs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/dc_state.h"
#include "platform/pdf_fonts.h"
#include "platform/pdf_images.h"
#include "platform/pdf_syntax.h"

class PdfFile;

class PdfDc final : public DcState {
 public:
  // A file at path of sheets paper_width_points x paper_height_points (1/72
  // inch) drawn at dpi pixels per inch. Only `printable` (in pixels from the
  // sheet's top-left corner) is drawable: coordinates 0,0 are its top-left
  // corner and nothing is drawn outside it, as on a printer that cannot
  // print to the edge. Null with a reason in *error when the sizes are
  // unusable or the file cannot be created.
  static std::unique_ptr<PdfDc> create(const std::string& path, double paper_width_points, double paper_height_points,
                                       const DcRect& printable, int dpi, std::string* error);
  ~PdfDc() override;

  bool text_out(int x, int y, const char* text, int length) override;
  bool line_to(int x, int y) override;
  int stretch_dib(int dest_x, int dest_y, int dest_width, int dest_height, int src_x, int src_y, int src_width,
                  int src_height, const void* bits, size_t bits_size, const DcBitmapInfoHeader* info) override;

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
  PdfDc(int width, int height, int dpi);
  // Brings the clip of the content stream to clip_.
  void apply_clip();
  void set_fill(DcColor color);
  // The stroke colour of emboldened text; set each time, as text is rare.
  void set_stroke(DcColor color);
  void fill_pixels(const DcRect& rect, DcColor color) override;
  void begin_sheet();
  bool fail(const std::string& why);

  std::unique_ptr<PdfFile> file_;
  double paper_width_ = 0, paper_height_ = 0;
  DcRect printable_{};

  // The sheet being drawn and what its content stream has set so far.
  PdfBytes content_;
  std::vector<DcRect> squares_;  // of the line being drawn
  bool drawn_ = false;
  bool clip_open_ = false;  // a "q ... re W n" narrows the sheet's clip
  DcRect stream_clip_{};
  int64_t fill_ = -1;               // the fill colour in force, -1 before the first
  int64_t fill_outside_clip_ = -1;  // ... as it was when the clip was opened
  int font_ = 0;                    // the font resource in force, 0 before the first
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
