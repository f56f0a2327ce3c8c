// Throughput of the tokenizer alone and of tokenizer plus builder on a
// generated print document of about 20 MB (text, tables, lists).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "document/pdocbuild.h"
#include "document/qelhtmlparser.h"

namespace {

const std::string& document() {
  static const std::string doc = [] {
    std::string d = "<!DOCTYPE html><html><head><title>Statement</title></head><body>\n";
    int n = 0;
    while (d.size() < 20u * 1024 * 1024) {
      ++n;
      d += "<center><font face=\"Arial\" size=+2 color=\"#003366\">Section " + std::to_string(n) +
           "</font></center>\n<p align=left>Lorem ipsum dolor sit amet, consectetur adipiscing elit, "
           "sed do eiusmod tempor incididunt ut labore et dolore magna aliqua &amp; more. Ut enim ad "
           "minim veniam, <b>quis nostrud</b> exercitation <i>ullamco</i> laboris nisi.</p>\n"
           "<table border=1 cellpadding=2 width=\"100%\"><thead><tr><th>Item</th><th>Qty</th>"
           "<th>Price</th></tr></thead>\n";
      for (int r = 0; r < 12; ++r)
        d += "<tr><td>Article " + std::to_string(r) + "</td><td align=right>" + std::to_string(r * 3) +
             "</td><td align=right>&#36;" + std::to_string(r * 7) + ".50</td></tr>\n";
      d += "</table>\n<ul><li>First point<li>Second point with <b>bold</b><li>Third</ul><hr>\n";
    }
    d += "</body></html>\n";
    return d;
  }();
  return doc;
}

void on_chars(void*, const char*, int) {}
void on_start(void*, const char*, const char**) {}
void on_end(void*, const char*) {}

void BM_TokenizerOnly(benchmark::State& state) {
  const std::string& doc = document();
  for (auto _ : state) {
    qelhtmlparser* p = qelhtmlparser_create(4096);
    qelhtmlparser_set_characters_handler(p, on_chars);
    qelhtmlparser_set_start_element_handler(p, on_start);
    qelhtmlparser_set_end_element_handler(p, on_end);
    qelhtmlparser_parse(p, doc.data(), doc.size());
    qelhtmlparser_destroy(p);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_TokenizerOnly)->Unit(benchmark::kMillisecond);

void BM_TokenizerAndBuilder(benchmark::State& state) {
  const std::string& doc = document();
  // The builder reports its repairs on standard output; keep them out of the figures.
  fflush(stdout);
  const int saved = dup(1);
  const int null_fd = open("/dev/null", O_WRONLY);
  dup2(null_fd, 1);
  for (auto _ : state) {
    pdoc_document* tree = pdocbuild_string(doc.c_str(), nullptr, nullptr);
    benchmark::DoNotOptimize(tree);
    pdocbuild_free(tree);
  }
  fflush(stdout);
  dup2(saved, 1);
  close(saved);
  close(null_fd);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_TokenizerAndBuilder)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
