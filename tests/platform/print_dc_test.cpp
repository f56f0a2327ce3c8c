// The printer context: the printable area of each paper and orientation,
// the job's life (sheets, reset, refusals) and what reaches the spooler and
// the pdf: files.
#include <cairo.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>

#include "common/dib_header.h"
#include "common/pdf_tools.h"
#include "platform/dc_pdf.h"
#include "platform/print_dc.h"
#include "platform/print_spooler.h"

namespace {

using tessel_testing::pdf_page_count;
using tessel_testing::pdf_page_size;

// Answers a fixed paper for every destination and keeps the jobs it gets,
// with the bytes of their PDF.
class RecordingSpooler final : public PrintSpooler {
 public:
  RecordingSpooler() : previous_(set_print_spooler(this)) {}
  ~RecordingSpooler() override { set_print_spooler(previous_); }

  bool media_default(const std::string&, PrintMedia* out) override {
    if (!reports_media) return false;
    *out = media;
    return true;
  }
  int submit(const PrintSubmission& job, std::string* error) override {
    jobs.push_back(job);
    std::ifstream in(job.pdf_path, std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    pdfs.push_back(bytes.str());
    if (refuse) *error = "queue stopped";
    return refuse ? 0 : 7;
  }

  bool reports_media = false;
  PrintMedia media;
  bool refuse = false;
  std::vector<PrintSubmission> jobs;
  std::vector<std::string> pdfs;

 private:
  PrintSpooler* previous_;
};

DevModeRecord settings(int16_t orientation, int16_t paper = 0, int16_t copies = 1) {
  DevModeRecord dm;
  dm.fields = DM_ORIENTATION | DM_COPIES | (paper ? DM_PAPERSIZE : 0);
  dm.orientation = orientation;
  dm.paper_size = paper;
  dm.copies = copies;
  return dm;
}

std::string scratch(const std::string& name) {
  const auto dir = std::filesystem::temp_directory_path() / ("tessel-printdc-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  return (dir / name).string();
}

struct SurfaceFree {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using Surface = std::unique_ptr<cairo_surface_t, SurfaceFree>;

// Page `page` of the PDF at dpi as an image surface (through the PNG file
// png_path); null when it cannot be rendered or read.
Surface rendered_sheet(const std::string& path, int page, int dpi, const std::string& png_path) {
  if (!tessel_testing::pdf_page_to_png(path, page, dpi, png_path)) return nullptr;
  Surface sheet(cairo_image_surface_create_from_png(png_path.c_str()));
  if (cairo_surface_status(sheet.get()) != CAIRO_STATUS_SUCCESS) return nullptr;
  return sheet;
}

TEST(PrinterDcGeometry, PaperOrientationAndMargins) {
  RecordingSpooler spooler;
  // Letter with the quarter-inch margins of a printer that reports none.
  auto letter = PrinterDc::create("office", settings(DMORIENT_PORTRAIT));
  ASSERT_NE(letter, nullptr);
  EXPECT_EQ(letter->paper(), DMPAPER_LETTER);
  EXPECT_EQ(letter->logical_dpi_x(), 600);
  EXPECT_EQ(letter->device_width(), 4800);   // 8.5 in less 1/2 in
  EXPECT_EQ(letter->device_height(), 6300);  // 11 in less 1/2 in
  EXPECT_EQ(letter->printable().left, 150);

  auto landscape = PrinterDc::create("office", settings(DMORIENT_LANDSCAPE));
  EXPECT_EQ(landscape->device_width(), 6300);
  EXPECT_EQ(landscape->device_height(), 4800);

  // The destination's own paper and margins (A4, 1/2 inch top and bottom).
  spooler.reports_media = true;
  spooler.media = {DMPAPER_A4, true, 18, 36, 18, 36};
  auto a4 = PrinterDc::create("office", settings(DMORIENT_PORTRAIT));
  EXPECT_EQ(a4->paper(), DMPAPER_A4);
  EXPECT_EQ(a4->device_width(), 4661);   // 8.27 in less 1/2 in
  EXPECT_EQ(a4->device_height(), 6416);  // 11.69 in less 1 in
  EXPECT_EQ(a4->printable().top, 300);
  auto a4_landscape = PrinterDc::create("office", settings(DMORIENT_LANDSCAPE));
  EXPECT_EQ(a4_landscape->printable().left, 300) << "the bottom edge turns to the left";
  EXPECT_EQ(a4_landscape->device_width(), 6416);
  EXPECT_EQ(a4_landscape->device_height(), 4661);

  // A paper chosen in the dialog wins; the margins that belong to another
  // paper do not carry over.
  auto chosen = PrinterDc::create("office", settings(DMORIENT_PORTRAIT, DMPAPER_LETTER));
  EXPECT_EQ(chosen->paper(), DMPAPER_LETTER);
  EXPECT_EQ(chosen->device_height(), 6300);

  EXPECT_EQ(PrinterDc::create("", settings(DMORIENT_PORTRAIT)), nullptr);
}

TEST(PrinterDcJob, ResetTurnsTheSheetOnlyOutsideAJob) {
  RecordingSpooler spooler;
  auto dc = PrinterDc::create("office", settings(DMORIENT_PORTRAIT));
  DevModeRecord turn;
  turn.fields = DM_ORIENTATION;  // only the orientation; copies untouched
  turn.orientation = DMORIENT_LANDSCAPE;
  ASSERT_TRUE(dc->reset(turn));
  EXPECT_GT(dc->device_width(), dc->device_height());
  DevModeRecord bogus;
  bogus.fields = DM_ORIENTATION;
  bogus.orientation = 7;
  EXPECT_FALSE(dc->reset(bogus));

  PrintDocInfo info;
  info.doc_name = "Job";
  ASSERT_GT(dc->start_doc(info), 0);
  EXPECT_EQ(dc->start_doc(info), 0) << "one job at a time";
  EXPECT_FALSE(dc->reset(turn));
  EXPECT_FALSE(dc->end_page()) << "no sheet started";
  EXPECT_EQ(dc->create_pen(1, 0), 0u) << "nothing is drawn between sheets";
  ASSERT_TRUE(dc->start_page());
  EXPECT_FALSE(dc->start_page());
  EXPECT_NE(dc->create_pen(1, 0), 0u);
  EXPECT_TRUE(dc->end_page());
  EXPECT_EQ(dc->end_doc(), 7);
  ASSERT_EQ(spooler.jobs.size(), 1u);
  EXPECT_EQ(spooler.jobs[0].pages, 1);
  EXPECT_EQ(spooler.jobs[0].job_name, "Job");
  EXPECT_FALSE(std::filesystem::exists(spooler.jobs[0].pdf_path)) << "the job file is removed";
  EXPECT_FALSE(dc->start_page()) << "the job is over";

  PrintDocInfo wrong;
  wrong.struct_size = 12;
  EXPECT_EQ(dc->start_doc(wrong), 0);
}

TEST(PrinterDcJob, RefusedJobIsReportedAndAbandonedJobSendsNothing) {
  RecordingSpooler spooler;
  spooler.refuse = true;
  auto dc = PrinterDc::create("office", settings(DMORIENT_PORTRAIT, 0, 3));
  PrintDocInfo info;
  info.doc_name = "ORV Printer";
  ASSERT_GT(dc->start_doc(info), 0);
  ASSERT_TRUE(dc->start_page());
  EXPECT_EQ(dc->end_doc(), 0);
  EXPECT_EQ(dc->last_error(), "queue stopped");
  ASSERT_EQ(spooler.jobs.size(), 1u);
  EXPECT_EQ(spooler.jobs[0].pages, 1) << "the open sheet is ended with the job";
  EXPECT_EQ(spooler.jobs[0].copies, 3);

  {
    auto abandoned = PrinterDc::create("office", settings(DMORIENT_PORTRAIT));
    ASSERT_GT(abandoned->start_doc(info), 0);
    abandoned->start_page();
  }
  EXPECT_EQ(spooler.jobs.size(), 1u);
}

TEST(PdfDestination, SheetsLandInTheFileAndAnEmptyJobWritesNothing) {
  const std::string path = scratch("sheets.pdf");
  auto dc = PrinterDc::create("pdf:" + path, settings(DMORIENT_LANDSCAPE));
  PrintDocInfo info;
  info.doc_name = "ORV Printer";
  ASSERT_GT(dc->start_doc(info), 0);
  for (int sheet = 0; sheet < 3; ++sheet) {
    ASSERT_TRUE(dc->start_page());
    DcObject brush = dc->create_solid_brush(dc_rgb(0, 0, 0));
    EXPECT_TRUE(dc->fill_rect({0, 0, 600, 600}, brush));
    dc->delete_object(brush);
    ASSERT_TRUE(dc->end_page());
  }
  ASSERT_GT(dc->end_doc(), 0) << dc->last_error();
  EXPECT_EQ(pdf_page_count(path), 3);
  double width = 0, height = 0;
  ASSERT_TRUE(pdf_page_size(path, 1, &width, &height));
  EXPECT_EQ(width, 792);
  EXPECT_EQ(height, 612);

  ASSERT_GT(dc->start_doc(info), 0);
  ASSERT_GT(dc->end_doc(), 0);
  EXPECT_EQ(pdf_page_count(path), 3) << "a job without sheets writes nothing";

  auto nowhere = PrinterDc::create("pdf:/nonexistent-dir/x.pdf", settings(DMORIENT_PORTRAIT));
  ASSERT_GT(nowhere->start_doc(info), 0);
  ASSERT_TRUE(nowhere->start_page());
  EXPECT_EQ(nowhere->end_doc(), 0);
  EXPECT_NE(nowhere->last_error().find("/nonexistent-dir/x.pdf"), std::string::npos);
  std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

std::unique_ptr<PdfDc> letter_sheets(const std::string& path, const DcRect& printable) {
  std::string error;
  auto dc = PdfDc::create(path, 612, 792, printable, DC_PRINTER_DPI, &error);
  EXPECT_NE(dc, nullptr) << error;
  return dc;
}

TEST(PdfSheets, DrawingStartsAtThePrintableCornerAndStaysInside) {
  const std::string path = scratch("clip.pdf");
  // Letter at 600 per inch, printable from (150, 300) to (4950, 6300).
  auto dc = letter_sheets(path, {150, 300, 4950, 6300});
  ASSERT_NE(dc, nullptr);
  EXPECT_EQ(dc->device_width(), 4800);
  EXPECT_EQ(dc->device_height(), 6000);
  DcObject black = dc->create_solid_brush(dc_rgb(0, 0, 0));
  dc->fill_rect({-600, -600, 300, 300}, black);  // reaches into the margins
  dc->delete_object(black);
  dc->end_page();
  ASSERT_TRUE(dc->finish()) << dc->error();
  std::string error;
  EXPECT_EQ(PdfDc::create(scratch("wide.pdf"), 612, 792, {0, 0, 6000, 100}, DC_PRINTER_DPI, &error), nullptr)
      << "a printable area wider than the sheet";
  EXPECT_FALSE(error.empty());

  // At 60 per inch a sheet pixel is ten device pixels.
  const Surface sheet = rendered_sheet(path, 1, 60, scratch("clip.png"));
  ASSERT_NE(sheet, nullptr);
  const unsigned char* data = cairo_image_surface_get_data(sheet.get());
  const int stride = cairo_image_surface_get_stride(sheet.get());
  auto pixel = [&](int x, int y) { return data[y * stride + x * 4 + 1]; };  // green
  EXPECT_EQ(pixel(5, 5), 255) << "the corner margin stays blank";
  EXPECT_EQ(pixel(14, 29), 255) << "left of the printable area";
  EXPECT_EQ(pixel(16, 31), 0) << "the printable corner is painted";
  EXPECT_EQ(pixel(44, 59), 0) << "the fill ends at its right and bottom edge";
  EXPECT_EQ(pixel(46, 61), 255);
  std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

TEST(PdfSheets, EachSheetShowsOnlyWhatWasDrawnWhateverDrawsFirst) {
  // Four sheets, each opened by a different kind of drawing in red inside
  // the device box (600, 600) - (1200, 1200); a finish after the last sheet.
  const std::string path = scratch("first.pdf");
  auto dc = letter_sheets(path, {150, 300, 4950, 6300});
  ASSERT_NE(dc, nullptr);
  const DcColor red = dc_rgb(255, 0, 0);
  DcObject brush = dc->create_solid_brush(red);
  dc->fill_rect({600, 600, 1200, 1200}, brush);
  dc->end_page();

  DcFontRequest wanted{};
  snprintf(wanted.face, sizeof wanted.face, "%s", "arial");
  wanted.height = -400;
  DcObject font = dc->create_font(wanted);
  DcObject old_font = dc->select_object(font);
  dc->set_bk_mode(DC_TRANSPARENT);
  dc->set_text_color(red);
  dc->text_out(600, 600, "HI", 2);
  dc->end_page();

  DcObject pen = dc->create_pen(60, red);
  DcObject old_pen = dc->select_object(pen);
  dc->move_to(630, 900);
  dc->line_to(1170, 900);
  dc->end_page();

  const DcBitmapInfoHeader info = tessel_testing::dib_header(2, 1, 24);
  const unsigned char bits[8] = {0, 0, 255, 0, 0, 255};
  EXPECT_EQ(dc->stretch_dib(600, 600, 600, 600, 0, 0, 2, 1, bits, sizeof bits, &info), 1);
  dc->end_page();
  dc->select_object(old_pen);
  dc->select_object(old_font);
  dc->delete_object(pen);
  dc->delete_object(font);
  dc->delete_object(brush);
  ASSERT_TRUE(dc->finish()) << dc->error();
  EXPECT_EQ(pdf_page_count(path), 4) << "finishing after the last sheet adds none";

  // At 60 per inch the box is (75, 90) - (135, 150) on the paper.
  for (int page = 1; page <= 4; ++page) {
    SCOPED_TRACE(page);
    const Surface sheet = rendered_sheet(path, page, 60, scratch("first-" + std::to_string(page) + ".png"));
    ASSERT_NE(sheet, nullptr);
    const unsigned char* data = cairo_image_surface_get_data(sheet.get());
    const int stride = cairo_image_surface_get_stride(sheet.get());
    int painted_outside = 0, red_inside = 0;
    for (int y = 0; y < cairo_image_surface_get_height(sheet.get()); ++y) {
      for (int x = 0; x < cairo_image_surface_get_width(sheet.get()); ++x) {
        const unsigned char* pixel = data + y * stride + x * 4;  // blue, green, red
        const bool white = pixel[0] == 255 && pixel[1] == 255 && pixel[2] == 255;
        const bool inside = x >= 74 && x <= 136 && y >= 89 && y <= 151;
        if (!inside && !white) ++painted_outside;
        if (inside && pixel[2] > 200 && pixel[1] < 80 && pixel[0] < 80) ++red_inside;
      }
    }
    EXPECT_EQ(painted_outside, 0);
    EXPECT_GT(red_inside, 20) << "the first drawing keeps its own colour";
  }
  std::filesystem::remove_all(std::filesystem::path(path).parent_path());
}

}  // namespace
