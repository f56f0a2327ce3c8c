// Benchmark: printing the sample report, from the document tree to a
// finished PDF job of sheets at 600 per inch (the spooler takes it and does
// nothing, so no CUPS and no disk copy are measured).
#include <benchmark/benchmark.h>

#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "control/tessel_ctrl.h"
#include "document/pdocbuild.h"
#include "platform/dc_pdf.h"
#include "platform/message_box.h"
#include "platform/print_dialog.h"
#include "platform/print_spooler.h"

namespace {

class CountingSpooler final : public PrintSpooler {
 public:
  bool media_default(const std::string&, PrintMedia*) override { return false; }
  int submit(const PrintSubmission& job, std::string*) override {
    sheets += job.pages;
    return 1;
  }
  long sheets = 0;
};

void BM_PrintSampleReport(benchmark::State& state) {
  // The sample beside this file's folder in the source tree.
  std::ifstream in(std::filesystem::path(__FILE__).parent_path().parent_path() / "samples" / "report.html");
  std::stringstream text;
  text << in.rdbuf();
  if (!in) {
    state.SkipWithError("samples/report.html not found");
    return;
  }
  CTesselCtrl control;
  control.m_pDocument.reset(pdocbuild_string(text.str().c_str(), nullptr, nullptr));
  control.m_nOrientation = static_cast<int32_t>(state.range(0));
  set_message_box_handler([](const char*, const char*, int) { return IDOK; });
  set_print_dialog_handler([](const PrintDialogRequest&, PrintDialogChoice* choice) {
    choice->printer = "bench-queue";
    return true;
  });
  CountingSpooler spooler;
  set_print_spooler(&spooler);
  for (auto _ : state) control.Print();
  set_print_spooler(nullptr);
  set_print_dialog_handler(nullptr);
  state.counters["sheets/s"] = benchmark::Counter(static_cast<double>(spooler.sheets), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PrintSampleReport)->Arg(1)->Arg(2)->ArgName("orientation")->Unit(benchmark::kMillisecond);

// Sheets of a long table straight on the PDF context: 45 rows of 4 cells,
// each a 6-pixel bevel drawn one ring at a time (dark on the top and left,
// light on the bottom and right) around a line of text; only the header
// row has a background.
void BM_PdfSheetsOfBevelledCells(benchmark::State& state) {
  const std::string path =
      std::filesystem::temp_directory_path() / ("bench-cells-" + std::to_string(getpid()) + ".pdf");
  const int sheets = static_cast<int>(state.range(0));
  for (auto _ : state) {
    std::string error;
    auto dc = PdfDc::create(path, 612, 792, {150, 150, 4950, 6450}, DC_PRINTER_DPI, &error);
    if (!dc) {
      state.SkipWithError(error.c_str());
      return;
    }
    DcObject background = dc->create_solid_brush(dc_rgb(220, 230, 240));
    DcObject dark = dc->create_solid_brush(dc_rgb(128, 128, 128));
    DcObject light = dc->create_solid_brush(dc_rgb(192, 192, 192));
    DcFontRequest wanted{};
    snprintf(wanted.face, sizeof wanted.face, "%s", "arial");
    wanted.height = -80;
    dc->select_object(dc->create_font(wanted));
    dc->set_bk_mode(DC_TRANSPARENT);
    for (int sheet = 0; sheet < sheets; ++sheet) {
      for (int row = 0; row < 45; ++row) {
        for (int column = 0; column < 4; ++column) {
          const int left = column * 1200, top = row * 140, right = left + 1190, bottom = top + 130;
          if (row == 0) dc->fill_rect({left, top, right, bottom}, background);
          for (int ring = 0; ring < 6; ++ring) {
            dc->fill_rect({left + ring, top + ring, left + ring + 1, bottom - ring}, dark);
            dc->fill_rect({left + ring, top + ring, right - ring, top + ring + 1}, dark);
            dc->fill_rect({right - ring - 1, top + ring, right - ring, bottom - ring}, light);
            dc->fill_rect({left + ring, bottom - ring - 1, right - ring, bottom - ring}, light);
          }
          const std::string text = "Row " + std::to_string(sheet * 45 + row) + std::string(column, '*');
          dc->text_out(left + 40, top + 30, text.c_str(), static_cast<int>(text.size()));
        }
      }
      dc->end_page();
    }
    if (!dc->finish()) {
      state.SkipWithError(dc->error().c_str());
      return;
    }
  }
  std::filesystem::remove(path);
  state.counters["sheets/s"] =
      benchmark::Counter(static_cast<double>(sheets) * state.iterations(), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PdfSheetsOfBevelledCells)->Arg(1)->Arg(10)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
