// Compares the formatting engine's bounded form with the C library's on
// the header lines and numbers the HTTP client formats.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "support/qelformat.h"

namespace {

void BM_HostQEL(benchmark::State& state) {
  char buffer[256];
  for (auto _ : state) {
    benchmark::DoNotOptimize(QELSnprintf(buffer, sizeof buffer, "Host: %s:%s\r\n", "www.example.org", "8080"));
    benchmark::ClobberMemory();
  }
}
void BM_HostLibc(benchmark::State& state) {
  char buffer[256];
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, "Host: %s:%s\r\n", "www.example.org", "8080"));
    benchmark::ClobberMemory();
  }
}
void BM_LengthQEL(benchmark::State& state) {
  char buffer[256];
  int length = 1234567;
  for (auto _ : state) {
    benchmark::DoNotOptimize(QELSnprintf(buffer, sizeof buffer, "Content-Length: %d\r\n", length));
    benchmark::ClobberMemory();
  }
}
void BM_LengthLibc(benchmark::State& state) {
  char buffer[256];
  int length = 1234567;
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, "Content-Length: %d\r\n", length));
    benchmark::ClobberMemory();
  }
}
void BM_FloatQEL(benchmark::State& state) {
  char buffer[256];
  double value = 1234.5678;
  for (auto _ : state) {
    benchmark::DoNotOptimize(QELSnprintf(buffer, sizeof buffer, "%f", value));
    benchmark::ClobberMemory();
  }
}
void BM_FloatLibc(benchmark::State& state) {
  char buffer[256];
  double value = 1234.5678;
  for (auto _ : state) {
    benchmark::DoNotOptimize(std::snprintf(buffer, sizeof buffer, "%f", value));
    benchmark::ClobberMemory();
  }
}

}  // namespace

BENCHMARK(BM_HostQEL);
BENCHMARK(BM_HostLibc);
BENCHMARK(BM_LengthQEL);
BENCHMARK(BM_LengthLibc);
BENCHMARK(BM_FloatQEL);
BENCHMARK(BM_FloatLibc);
BENCHMARK_MAIN();
