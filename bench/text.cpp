// Text measurement speed on the Cairo context, and the font objects created
// while laying out a long text in one style.
#include <benchmark/benchmark.h>

#include <cstring>
#include <string>

#include "layout/fonts.h"
#include "platform/dc_cairo.h"

namespace {

void BM_MeasureText(benchmark::State& state) {
  auto dc = CairoDc::create_screen(800, 600);
  RenderTargetPtr t(rt_create(dc.get(), {0, 0, 799, 599}, RT_VERSION));
  t->select_font(t.get(), "Times", 12, 0, 0, RT_NO_COLOR);
  const char* text = "The quick brown fox jumps over the lazy dog";
  RtSize size{};
  for (auto _ : state) {
    t->measure_text(t.get(), text, static_cast<int>(strlen(text)), &size);
    benchmark::DoNotOptimize(size);
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_MeasureText);

void BM_FitText(benchmark::State& state) {
  auto dc = CairoDc::create_screen(800, 600);
  RenderTargetPtr t(rt_create(dc.get(), {0, 0, 799, 599}, RT_VERSION));
  t->select_font(t.get(), "Times", 12, 0, 0, RT_NO_COLOR);
  const char* text = "The quick brown fox jumps over the lazy dog and keeps on running far";
  RtSize size{};
  for (auto _ : state) {
    int widest = 0;
    benchmark::DoNotOptimize(fit_text(t.get(), text, static_cast<int>(strlen(text)), 300, &size, &widest));
  }
  state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_FitText);

// Measures every line of a long single-style text run; counts fonts created.
void BM_LongTextFonts(benchmark::State& state) {
  std::string text;
  for (int i = 0; i < 2000; ++i) text += "word ";
  pdoc_element run{};
  run.type = ELE_TEXT;
  run.tag = PDOC_TAG_TEXT;
  run.style.face = "Times";
  run.style.size = 3;
  run.style.color = -1;
  run.style.outline_color = -1;
  run.data = text.data();
  run.data_len = static_cast<int>(text.size());
  size_t fonts = 0;
  for (auto _ : state) {
    auto dc = CairoDc::create_screen(600, 100);
    RenderTargetPtr t(rt_create(dc.get(), {0, 0, 599, 99}, RT_VERSION));
    pdoc_element* e = &run;
    int offset = 0;
    LayoutJob job;
    while (e) {
      RtSize size{};
      int descent = 0;
      int units = measure_line(job, t.get(), e, offset, 600, &size, &descent, nullptr);
      if (units == 0) break;
      e = advance_units(e, units, &offset);
      if (e) skip_break_char(&e, &offset);
    }
    fonts = dc->fonts_created();
  }
  state.counters["fonts_created"] = static_cast<double>(fonts);
}
BENCHMARK(BM_LongTextFonts)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
