// The page view's cost by page number: a draw of page n lays out pages 1 ... n
// again on the control's area, so the time grows with n. Page 1, 10 and 50 of
// a generated report of about 60 pages, on a Letter-sized image surface; and
// the cost of writing a drawn page as PNG.
#include <benchmark/benchmark.h>
#include <cairo.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "bench/quiet_main.h"
#include "control/tessel_ctrl.h"
#include "document/pdocbuild.h"
#include "platform/dc_cairo.h"

namespace {

constexpr int kWidth = 816, kHeight = 1056;  // Letter at 96 per inch

// Text, a headed table and a rule per section; about two sections a page.
std::string make_report(int sections) {
  std::string d = "<html><body>\n";
  for (int n = 0; n < sections; ++n) {
    d += "<br><font face=\"Arial\" size=4 color=\"#9B2915\"><b>Section " + std::to_string(n) + "</b></font>\n<p>";
    for (int k = 0; k < 5; ++k)
      d += "Orders grew over the quarter, driven by the new depots, while the share of "
           "<b>late deliveries</b> fell again; returns stayed within the target band. ";
    d += "\n<table width=\"100%\" forcedisplay=\"W\" border=1 cellpadding=3 cellspacing=0><thead>"
         "<tr bgcolor=\"#DCE6F0\"><th>Depot</th><th>Orders</th><th>Late</th><th>Revenue</th></tr>"
         "</thead>\n";
    for (int r = 0; r < 12; ++r)
      d += "<tr><td>Depot " + std::to_string(r) + "</td><td align=right>" + std::to_string(1000 + r * 37) +
           "</td><td align=right>" + std::to_string(r * 3) + "</td><td align=right>" + std::to_string(40000 + r * 911) +
           "</td></tr>\n";
    d += "</table>\n<hr width=\"60%\">\n";
  }
  return d + "</body></html>\n";
}

CTesselCtrl& control() {
  static CTesselCtrl* instance = [] {
    auto* c = new CTesselCtrl;
    c->m_pDocument.reset(pdocbuild_string(make_report(120).c_str(), nullptr, nullptr));
    return c;
  }();
  return *instance;
}

void BM_DrawPage(benchmark::State& state) {
  CTesselCtrl& c = control();
  const int page = static_cast<int>(state.range(0));
  auto dc = CairoDc::create_screen(kWidth, kHeight);
  for (auto _ : state) {
    c.m_nCurrentPage = page;
    c.Draw(dc.get(), {0, 0, kWidth, kHeight});
  }
  if (c.m_nCurrentPage != page) state.SkipWithError("the document has fewer pages than asked for");
  state.counters["pages_laid_out"] = page;
  state.counters["pages_per_s"] = benchmark::Counter(
      static_cast<double>(page) * static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_DrawPage)->Arg(1)->Arg(10)->Arg(50)->Unit(benchmark::kMillisecond);

// A drawn page of the report as the PNG that `view` writes, and through
// Cairo's own PNG writer (its default effort) for comparison.
std::unique_ptr<CairoDc> drawn_page() {
  auto dc = CairoDc::create_screen(kWidth, kHeight);
  CTesselCtrl& c = control();
  c.m_nCurrentPage = 2;
  c.Draw(dc.get(), {0, 0, kWidth, kHeight});
  return dc;
}

cairo_status_t count_bytes(void* closure, const unsigned char*, unsigned int length) {
  *static_cast<size_t*>(closure) += length;
  return CAIRO_STATUS_SUCCESS;
}

void BM_EncodePagePng(benchmark::State& state) {
  auto dc = drawn_page();
  size_t bytes = 0;
  for (auto _ : state) {
    std::string png;
    if (!dc->encode_png(&png)) state.SkipWithError("the page could not be encoded");
    bytes = png.size();
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodePagePng)->Unit(benchmark::kMillisecond);

void BM_EncodePagePngCairoDefault(benchmark::State& state) {
  auto dc = drawn_page();
  size_t bytes = 0;
  for (auto _ : state) {
    bytes = 0;
    cairo_surface_write_to_png_stream(dc->surface(), count_bytes, &bytes);
  }
  state.counters["bytes"] = static_cast<double>(bytes);
}
BENCHMARK(BM_EncodePagePngCairoDefault)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return run_benchmarks_with_stdout_silenced(argc, argv);
}
