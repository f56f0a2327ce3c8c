// The printer device context; see print_dc.h.
#include "platform/print_dc.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/dc_pdf.h"
#include "platform/print_spooler.h"

namespace {

// A quarter inch, for printers that report no margins.
constexpr double kDefaultMargin = 18.0;

struct PaperSize {
  int16_t code;
  double width, height;  // points, portrait
};
constexpr PaperSize kPapers[] = {
    {DMPAPER_LETTER, 612.0, 792.0},
    {DMPAPER_A4, 210.0 * 72.0 / 25.4, 297.0 * 72.0 / 25.4},
};

const PaperSize& paper_size(int16_t code) {
  for (const PaperSize& p : kPapers)
    if (p.code == code) return p;
  return kPapers[0];
}

bool known_paper(int16_t code) {
  return std::any_of(std::begin(kPapers), std::end(kPapers), [code](const PaperSize& p) { return p.code == code; });
}

int to_pixels(double points) {
  return static_cast<int>(std::lround(points * DC_PRINTER_DPI / 72.0));
}

std::string temp_pdf_name() {
  const char* dir = std::getenv("TMPDIR");
  std::string pattern = std::string(dir && *dir ? dir : "/tmp") + "/tessel-print-XXXXXX";
  const int fd = mkstemp(pattern.data());
  if (fd < 0) return {};
  close(fd);
  return pattern;
}

}  // namespace

std::unique_ptr<PrinterDc> PrinterDc::create(const std::string& destination, const DevModeRecord& settings) {
  if (destination.empty()) return nullptr;
  std::unique_ptr<PrinterDc> dc(new PrinterDc());
  dc->destination_ = destination;
  PrintMedia media;
  const bool reported = print_spooler().media_default(destination, &media);
  const bool chosen = (settings.fields & DM_PAPERSIZE) && known_paper(settings.paper_size);
  dc->paper_ = chosen ? settings.paper_size : reported && known_paper(media.paper) ? media.paper : DMPAPER_LETTER;
  // The destination's margins belong to its own default paper.
  dc->margin_left_ = dc->margin_top_ = dc->margin_right_ = dc->margin_bottom_ = kDefaultMargin;
  if (reported && media.margins_known && media.paper == dc->paper_) {
    dc->margin_left_ = media.left;
    dc->margin_top_ = media.top;
    dc->margin_right_ = media.right;
    dc->margin_bottom_ = media.bottom;
  }
  if (settings.fields & DM_ORIENTATION) dc->orientation_ = settings.orientation;
  if (settings.fields & DM_COPIES) dc->copies_ = std::clamp<int>(settings.copies, 1, DM_MAX_COPIES);
  dc->measure();
  return dc;
}

PrinterDc::~PrinterDc() {
  abort_doc();
}

// Landscape turns the sheet a quarter to the left: the portrait bottom edge
// becomes the left one.
void PrinterDc::measure() {
  const PaperSize& p = paper_size(paper_);
  const bool landscape = orientation_ == DMORIENT_LANDSCAPE;
  paper_width_ = landscape ? p.height : p.width;
  paper_height_ = landscape ? p.width : p.height;
  const double left = landscape ? margin_bottom_ : margin_left_;
  const double top = landscape ? margin_left_ : margin_top_;
  const double right = landscape ? margin_top_ : margin_right_;
  const double bottom = landscape ? margin_right_ : margin_bottom_;
  printable_ = {to_pixels(left), to_pixels(top), to_pixels(paper_width_ - right), to_pixels(paper_height_ - bottom)};
  if (printable_.right <= printable_.left || printable_.bottom <= printable_.top)
    printable_ = {0, 0, to_pixels(paper_width_), to_pixels(paper_height_)};
}

bool PrinterDc::reset(const DevModeRecord& settings) {
  if (surface_) return false;
  if (settings.fields & DM_ORIENTATION) {
    if (settings.orientation != DMORIENT_PORTRAIT && settings.orientation != DMORIENT_LANDSCAPE) return false;
    orientation_ = settings.orientation;
  }
  if ((settings.fields & DM_PAPERSIZE) && known_paper(settings.paper_size)) paper_ = settings.paper_size;
  if (settings.fields & DM_COPIES) copies_ = std::clamp<int>(settings.copies, 1, DM_MAX_COPIES);
  measure();
  return true;
}

int PrinterDc::start_doc(const PrintDocInfo& info) {
  if (surface_ || info.struct_size != PRINT_DOCINFO_SIZE) return 0;
  last_error_.clear();
  job_file_ = temp_pdf_name();
  if (job_file_.empty()) {
    last_error_ = std::string("cannot create a temporary file: ") + std::strerror(errno);
    return 0;
  }
  std::string why;
  surface_ = PdfDc::create(job_file_, paper_width_, paper_height_, printable_, DC_PRINTER_DPI, &why);
  if (!surface_) {
    last_error_ = "cannot start a PDF: " + why;
    discard_job_file();
    return 0;
  }
  job_name_ = info.doc_name ? info.doc_name : "";
  pages_ = 0;
  in_page_ = false;
  write_failed_ = false;
  return 1;
}

bool PrinterDc::start_page() {
  if (!surface_ || in_page_ || write_failed_) return false;
  in_page_ = true;
  return true;
}

bool PrinterDc::end_page() {
  if (!surface_ || !in_page_) return false;
  in_page_ = false;
  if (!surface_->end_page()) {
    write_failed_ = true;
    return false;
  }
  ++pages_;
  return true;
}

int PrinterDc::end_doc() {
  if (!surface_) return 0;
  if (in_page_) end_page();
  surface_->set_title(title_);
  const bool whole = surface_->finish();
  const std::string why = surface_->error();
  surface_.reset();
  if (!whole) {
    // Nothing partial goes to the printer or the file.
    last_error_ = "the print job's PDF could not be written: " + why;
    discard_job_file();
    return 0;
  }
  PrintSubmission job{destination_, job_name_, job_file_, pages_, copies_};
  std::string error;
  const int result = print_spooler().submit(job, &error);
  if (result <= 0) last_error_ = error.empty() ? "the job was not taken" : error;
  discard_job_file();
  return result > 0 ? result : 0;
}

void PrinterDc::abort_doc() {
  surface_.reset();
  in_page_ = false;
  write_failed_ = false;
  discard_job_file();
}

void PrinterDc::discard_job_file() {
  if (!job_file_.empty()) std::remove(job_file_.c_str());
  job_file_.clear();
}

DeviceContext* PrinterDc::sheet() const {
  return in_page_ ? surface_.get() : nullptr;
}

int PrinterDc::logical_dpi_x() const {
  return DC_PRINTER_DPI;
}
int PrinterDc::logical_dpi_y() const {
  return DC_PRINTER_DPI;
}

DcObject PrinterDc::create_font(const DcFontRequest& wanted) {
  return sheet() ? sheet()->create_font(wanted) : 0;
}
DcObject PrinterDc::create_pen(int width, DcColor color) {
  return sheet() ? sheet()->create_pen(width, color) : 0;
}
DcObject PrinterDc::create_solid_brush(DcColor color) {
  return sheet() ? sheet()->create_solid_brush(color) : 0;
}
DcObject PrinterDc::stock_object(DcStockObject which) {
  return sheet() ? sheet()->stock_object(which) : 0;
}
DcObject PrinterDc::select_object(DcObject object) {
  return sheet() ? sheet()->select_object(object) : 0;
}
bool PrinterDc::delete_object(DcObject object) {
  return sheet() && sheet()->delete_object(object);
}
bool PrinterDc::text_metrics(DcTextMetrics* metrics) {
  return sheet() && sheet()->text_metrics(metrics);
}
bool PrinterDc::text_out(int x, int y, const char* text, int length) {
  return sheet() && sheet()->text_out(x, y, text, length);
}
bool PrinterDc::text_extent(const char* text, int length, DcSize* size) {
  return sheet() && sheet()->text_extent(text, length, size);
}
DcColor PrinterDc::set_text_color(DcColor color) {
  return sheet() ? sheet()->set_text_color(color) : DC_INVALID_COLOR;
}
DcColor PrinterDc::set_bk_color(DcColor color) {
  return sheet() ? sheet()->set_bk_color(color) : DC_INVALID_COLOR;
}
int PrinterDc::set_bk_mode(int mode) {
  return sheet() ? sheet()->set_bk_mode(mode) : 0;
}
DcColor PrinterDc::get_text_color() const {
  return sheet() ? sheet()->get_text_color() : DC_INVALID_COLOR;
}
DcColor PrinterDc::get_bk_color() const {
  return sheet() ? sheet()->get_bk_color() : DC_INVALID_COLOR;
}
int PrinterDc::get_bk_mode() const {
  return sheet() ? sheet()->get_bk_mode() : 0;
}
bool PrinterDc::move_to(int x, int y) {
  return sheet() && sheet()->move_to(x, y);
}
bool PrinterDc::line_to(int x, int y) {
  return sheet() && sheet()->line_to(x, y);
}
bool PrinterDc::fill_rect(const DcRect& rect, DcObject brush) {
  return sheet() && sheet()->fill_rect(rect, brush);
}
int PrinterDc::set_stretch_mode(int mode) {
  return sheet() ? sheet()->set_stretch_mode(mode) : 0;
}
int PrinterDc::stretch_dib(int dest_x, int dest_y, int dest_width, int dest_height, int src_x, int src_y, int src_width,
                           int src_height, const void* bits, size_t bits_size, const DcBitmapInfoHeader* info) {
  return sheet() ? sheet()->stretch_dib(dest_x, dest_y, dest_width, dest_height, src_x, src_y, src_width, src_height,
                                        bits, bits_size, info)
                 : 0;
}
int PrinterDc::save_dc() {
  return sheet() ? sheet()->save_dc() : 0;
}
bool PrinterDc::restore_dc(int level) {
  return sheet() && sheet()->restore_dc(level);
}
bool PrinterDc::intersect_clip_rect(const DcRect& rect) {
  return sheet() && sheet()->intersect_clip_rect(rect);
}
DcColor PrinterDc::get_pixel(int, int) {
  return DC_INVALID_COLOR;
}
