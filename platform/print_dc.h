// The printer device context: the printable area of one sheet of the chosen
// paper at 600 pixels per inch. A job writes its sheets into a PDF as they
// end, which the print spooler receives when the job ends.
#pragma once

#include <memory>
#include <string>

#include "platform/dc.h"
#include "platform/print_settings.h"

class PdfDc;

// The job description handed to start_doc.
inline constexpr uint32_t PRINT_DOCINFO_SIZE = 20;
struct PrintDocInfo {
  uint32_t struct_size = PRINT_DOCINFO_SIZE;
  const char* doc_name = nullptr;  // the job's name
  const char* output = nullptr;    // not used: the destination decides
  const char* datatype = nullptr;
  uint32_t type = 0;
};

class PrinterDc final : public DeviceContext {
 public:
  // A context for a destination with the given settings; paper 0 (or no
  // DM_PAPERSIZE flag) takes the destination's default, else Letter.
  // Null for an empty destination name.
  static std::unique_ptr<PrinterDc> create(const std::string& destination, const DevModeRecord& settings);
  ~PrinterDc() override;

  // Applies the settings whose flags are set; refused while a job is open.
  bool reset(const DevModeRecord& settings);

  // Starts a job: answers a value greater than 0, or 0 when a job is already
  // open or the PDF cannot be created (last_error says why).
  int start_doc(const PrintDocInfo& info);
  // The title the job's PDF carries (Windows-1252); set before end_doc.
  void set_document_title(const std::string& title) { title_ = title; }
  // Sheets of the open job; false outside a job, for a sheet already
  // started (start_page) or not started (end_page), and once the job's file
  // could not be written.
  bool start_page() override;
  bool end_page() override;
  // Ends the job and hands it to the spooler: answers greater than 0 when it
  // took the job, else 0 (last_error says why), also when the job's file
  // could not be written whole. An open sheet is ended first.
  int end_doc();
  // Drops the open job without sending anything.
  void abort_doc();

  const std::string& destination() const { return destination_; }
  int16_t orientation() const { return orientation_; }
  int16_t paper() const { return paper_; }
  int copies() const { return copies_; }
  // Sheets of the job so far (or of the last job once it ended).
  int pages() const { return pages_; }
  const std::string& last_error() const { return last_error_; }
  // The sheet in points and the printable area in pixels on it.
  double paper_width_points() const { return paper_width_; }
  double paper_height_points() const { return paper_height_; }
  DcRect printable() const { return printable_; }

  int logical_dpi_x() const override;
  int logical_dpi_y() const override;
  int device_width() const override { return printable_.right - printable_.left; }
  int device_height() const override { return printable_.bottom - printable_.top; }

  // Drawing works on an open sheet; outside one it is refused.
  DcObject create_font(const DcFontRequest& wanted) override;
  DcObject create_pen(int width, DcColor color) override;
  DcObject create_solid_brush(DcColor color) override;
  DcObject stock_object(DcStockObject which) override;
  DcObject select_object(DcObject object) override;
  bool delete_object(DcObject object) override;
  bool text_metrics(DcTextMetrics* metrics) override;
  bool text_out(int x, int y, const char* text, int length) override;
  bool text_extent(const char* text, int length, DcSize* size) override;
  DcColor set_text_color(DcColor color) override;
  DcColor set_bk_color(DcColor color) override;
  DcColor get_text_color() const override;
  DcColor get_bk_color() const override;
  int get_bk_mode() const override;
  int set_bk_mode(int mode) override;
  bool move_to(int x, int y) override;
  bool line_to(int x, int y) override;
  bool fill_rect(const DcRect& rect, DcObject brush) override;
  int set_stretch_mode(int mode) override;
  int stretch_dib(int dest_x, int dest_y, int dest_width, int dest_height, int src_x, int src_y, int src_width,
                  int src_height, const void* bits, size_t bits_size, const DcBitmapInfoHeader* info) override;
  int save_dc() override;
  bool restore_dc(int level) override;
  bool intersect_clip_rect(const DcRect& rect) override;
  DcColor get_pixel(int x, int y) override;

 private:
  PrinterDc() = default;
  void measure();
  void discard_job_file();
  DeviceContext* sheet() const;

  std::string destination_;
  int16_t orientation_ = DMORIENT_PORTRAIT;
  int16_t paper_ = DMPAPER_LETTER;
  int copies_ = 1;
  double margin_left_ = 0, margin_top_ = 0, margin_right_ = 0, margin_bottom_ = 0;  // points
  double paper_width_ = 0, paper_height_ = 0;
  DcRect printable_{};

  std::unique_ptr<PdfDc> surface_;  // the open job's PDF
  std::string job_file_;
  std::string job_name_;
  std::string title_;
  bool in_page_ = false;
  bool write_failed_ = false;
  int pages_ = 0;
  std::string last_error_;
};
