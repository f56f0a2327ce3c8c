// Pagination speed: pages per second of a generated mixed document of about
// 500 pages on the recording context and on Cairo image surfaces at 96 and
// 600 per inch, and the cost of showing page n (pages 1 ... n laid out).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <iostream>
#include <memory>
#include <string>

#include "bench/quiet_main.h"
#include "document/pdocbuild.h"
#include "layout/page.h"
#include "layout/paginate.h"
#include "layout/render_target.h"
#include "platform/dc_cairo.h"
#include "platform/dc_recording.h"

namespace {

// Letter paper at 96 per inch.
constexpr int kPageW = 816, kPageH = 1056;

std::string make_document(int sections) {
  std::string d = "<html><body>\n";
  for (int n = 0; n < sections; ++n) {
    d += "<center><font size=+2>Section " + std::to_string(n) + "</font></center>\n<p>";
    for (int k = 0; k < 6; ++k)
      d += "Lorem ipsum dolor sit amet, consectetur adipiscing elit, sed do eiusmod tempor "
           "<b>incididunt</b> ut labore et dolore magna aliqua. ";
    d += "</p>\n<table border=1 cellpadding=2 width=\"100%\"><thead><tr><td>Item</td><td>Qty</td>"
         "<td>Price</td></tr></thead>\n";
    for (int r = 0; r < 10; ++r)
      d += "<tr><td>Article " + std::to_string(r) + "</td><td align=right>" + std::to_string(r * 3) +
           "</td><td align=right>" + std::to_string(r * 7) + ".50</td></tr>\n";
    d += "</table><hr>\n";
  }
  return d + "</body></html>\n";
}

struct Document {
  pdoc_document_ptr doc;
  Document() {
    // Grow the document until it paginates to about 500 pages.
    int sections = 256;
    for (;;) {
      doc.reset(pdocbuild_string(make_document(sections).c_str(), nullptr, nullptr));
      RecordingDc dc(96, kPageW, kPageH);
      RenderTargetPtr t(rt_create(&dc, {0, 0, kPageW - 1, kPageH - 1}, 100));
      PaginateHooks hooks;
      hooks.user = &dc;
      hooks.begin_page = [](void* u, int) { static_cast<RecordingDc*>(u)->clear(); };
      int pages = paginate_document(t.get(), doc->root, &hooks).pages;
      if (pages >= 500 || sections > 100000) break;
      sections = sections * 500 / (pages > 0 ? pages : 1) + 1;
    }
  }
};

pdoc_element* root() {
  static Document document;
  return document.doc->root;
}

void run_pages(benchmark::State& state, DeviceContext& dc, RenderTarget* target, void (*clear)(void*), void* user) {
  long pages = 0;
  for (auto _ : state) {
    PaginateHooks hooks;
    hooks.user = user;
    hooks.begin_page = [](void* u, int) {
      auto* pair = static_cast<std::pair<void (*)(void*), void*>*>(u);
      if (pair->first) pair->first(pair->second);
    };
    std::pair<void (*)(void*), void*> pair{clear, user};
    hooks.user = &pair;
    pages += paginate_document(target, root(), &hooks).pages;
  }
  (void)dc;
  state.counters["pages"] = benchmark::Counter(static_cast<double>(pages) / state.iterations());
  state.counters["pages_per_s"] = benchmark::Counter(static_cast<double>(pages), benchmark::Counter::kIsRate);
}

void BM_PaginateRecording(benchmark::State& state) {
  root();
  RecordingDc dc(96, kPageW, kPageH);
  RenderTarget* t = rt_create(&dc, {0, 0, kPageW - 1, kPageH - 1}, 100);
  run_pages(
      state, dc, t, [](void* u) { static_cast<RecordingDc*>(u)->clear(); }, &dc);
  t->destroy(t);
}
BENCHMARK(BM_PaginateRecording)->Unit(benchmark::kMillisecond);

void BM_PaginateCairo(benchmark::State& state) {
  root();
  const int dpi = static_cast<int>(state.range(0));
  const int w = kPageW * dpi / 96, h = kPageH * dpi / 96;
  std::unique_ptr<CairoDc> dc = CairoDc::create_screen(w, h);
  RenderTarget* t = rt_create(dc.get(), {0, 0, w - 1, h - 1}, 100);
  t->set_resolution(t, dpi);
  run_pages(state, *dc, t, nullptr, nullptr);
  t->destroy(t);
}
BENCHMARK(BM_PaginateCairo)->Arg(96)->Arg(600)->Unit(benchmark::kMillisecond)->Iterations(1);

// Showing page n lays out pages 1 ... n - 1 to find where it starts.
void BM_ShowPageN(benchmark::State& state) {
  root();
  RecordingDc dc(96, kPageW, kPageH);
  RenderTarget* t = rt_create(&dc, {0, 0, kPageW - 1, kPageH - 1}, 100);
  const int n = static_cast<int>(state.range(0));
  for (auto _ : state) {
    int offset = 0;
    pdoc_element* start = paginate_find_page(t, root(), n, &offset);
    LayoutJob job;
    if (start) layout_page(job, t, start, &offset);
    dc.clear();
  }
  t->destroy(t);
}
BENCHMARK(BM_ShowPageN)->Arg(1)->Arg(10)->Arg(100)->Arg(500)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return run_benchmarks_with_stdout_silenced(argc, argv);
}
