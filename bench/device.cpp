// The device transfer's own cost per page, without the USB link: converting a
// page bitmap to the 5-6-5 image, and a whole page cut into blocks and
// reports handed to a writeData that takes them at once.
#include <benchmark/benchmark.h>

#include <vector>

#include "device/hid_library.h"
#include "device/page_image.h"
#include "device/page_transfer.h"

namespace {

std::vector<unsigned char> test_bitmap() {
  std::vector<unsigned char> bitmap(DEVICE_BITMAP_SIZE);
  for (size_t i = 0; i < bitmap.size(); ++i) bitmap[i] = static_cast<unsigned char>(i * 31 + (i >> 7));
  return bitmap;
}

unsigned char take_report(unsigned char* report) {
  benchmark::DoNotOptimize(report[5]);
  return 1;
}

void BM_PageImageConversion(benchmark::State& state) {
  const std::vector<unsigned char> bitmap = test_bitmap();
  std::vector<unsigned char> image(DEVICE_PAGE_IMAGE_SIZE);
  for (auto _ : state) {
    page_image_from_bitmap(bitmap.data(), image.data());
    benchmark::DoNotOptimize(image.data());
  }
  state.SetBytesProcessed(int64_t(state.iterations()) * int64_t(DEVICE_BITMAP_SIZE));
}
BENCHMARK(BM_PageImageConversion);

void BM_SendPageReports(benchmark::State& state) {
  const std::vector<unsigned char> bitmap = test_bitmap();
  g_hid.writeData = take_report;
  std::FILE* sink = std::fopen("/dev/null", "w");
  for (auto _ : state) {
    g_device_link = DeviceLinkState{};
    directory_reset();
    benchmark::DoNotOptimize(SendPage(bitmap.data(), 0, sink));
  }
  std::fclose(sink);
  state.counters["reports/page"] = 1630;
  state.SetItemsProcessed(int64_t(state.iterations()));
}
BENCHMARK(BM_SendPageReports);

}  // namespace

BENCHMARK_MAIN();
