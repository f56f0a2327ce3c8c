// Download throughput from a local nginx: the client's GET into a file
// beside curl -o of the same 200 MB file, and their ratio. Not run by CI.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <string>

#include "common/http_fixture.h"
#include "common/nginx_server.h"
#include "net/qelhttp.h"

namespace {

constexpr long long kFileSize = 200ll << 20;

struct Setup {
  tessel_testing::NoSystemProxy no_proxy;
  tessel_testing::NginxServer nginx;
  tessel_testing::TempDir out;
  std::string url;
  std::string curl;
  Setup() {
    if (!nginx.error().empty()) return;
    tessel_testing::make_pattern_file(nginx.root() + "/big.bin", kFileSize);
    url = nginx.http_url("/big.bin");
    curl = tessel_testing::find_program("curl", {"/usr/bin", "/bin"});
  }
};

Setup& setup() {
  static Setup s;
  return s;
}

double g_client_mbps = 0;
double g_curl_mbps = 0;

template <typename Download>
void measure(benchmark::State& state, double* best, Download download) {
  Setup& s = setup();
  if (!s.nginx.error().empty()) {
    state.SkipWithError(s.nginx.error().c_str());
    return;
  }
  for (auto _ : state) {
    const auto start = std::chrono::steady_clock::now();
    if (!download(s)) {
      state.SkipWithError("download failed");
      return;
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetIterationTime(seconds);
    const double mbps = kFileSize / 1048576.0 / seconds;
    if (mbps > *best) *best = mbps;
  }
  state.SetBytesProcessed(state.iterations() * kFileSize);
  state.counters["best_MB/s"] = *best;
}

void BM_DownloadQELHTTP(benchmark::State& state) {
  measure(state, &g_client_mbps, [](Setup& s) {
    const std::string file = s.out.file("client.bin");
    return QELHTTPDownload(s.url.c_str(), file.c_str(), nullptr, nullptr, nullptr, nullptr, nullptr) == kFileSize;
  });
}

void BM_DownloadCurl(benchmark::State& state) {
  measure(state, &g_curl_mbps, [](Setup& s) {
    if (s.curl.empty()) return false;
    return tessel_testing::run_command({s.curl, "-s", "-o", s.out.file("curl.bin"), s.url}, s.out.file("curl.log"));
  });
}

BENCHMARK(BM_DownloadQELHTTP)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DownloadCurl)->Iterations(5)->UseManualTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  if (g_client_mbps > 0 && g_curl_mbps > 0)
    std::printf("best MB/s: client %.0f, curl %.0f, ratio %.2f\n", g_client_mbps, g_curl_mbps,
                g_client_mbps / g_curl_mbps);
  return 0;
}
