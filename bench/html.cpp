// Throughput of the tokenizer alone and of tokenizer plus builder on a
// generated print document of about 20 MB (text, tables, lists); the cost
// of hostile markup (end tags that match nothing under deep nesting, megabytes
// of start tags that make no content); and the heap a long table's tree takes
// per element.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <algorithm>
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

// Standard output goes to /dev/null while it lives: the builder reports its
// repairs there, and hostile documents make many.
class QuietStdout {
 public:
  QuietStdout() {
    fflush(stdout);
    saved_ = dup(1);
    null_ = open("/dev/null", O_WRONLY);
    dup2(null_, 1);
  }
  ~QuietStdout() {
    fflush(stdout);
    dup2(saved_, 1);
    close(saved_);
    close(null_);
  }
  QuietStdout(const QuietStdout&) = delete;
  QuietStdout& operator=(const QuietStdout&) = delete;

 private:
  int saved_;
  int null_;
};

size_t heap_in_use() {
  const struct mallinfo2 m = mallinfo2();
  return m.uordblks + m.hblkhd;
}

// A build fed in pieces of 64 KB, with the most heap in use after any piece
// (above what was in use before) and what the finished tree holds.
struct Measured {
  pdoc_document* tree = nullptr;
  size_t peak = 0;
  size_t kept = 0;
};

Measured measured_build(const std::string& html) {
  struct Feed {
    const std::string* html;
    size_t base;
    size_t peak;
  } feed{&html, heap_in_use(), 0};
  auto pieces = [](qelhtmlparser* p, void* user) {
    Feed& f = *static_cast<Feed*>(user);
    constexpr size_t kPiece = 64 * 1024;
    for (size_t at = 0; at < f.html->size(); at += kPiece) {
      qelhtmlparser_parse(p, f.html->data() + at, std::min(kPiece, f.html->size() - at));
      f.peak = std::max(f.peak, heap_in_use() - f.base);
    }
  };
  Measured m;
  m.tree = pdocbuild_feed(pieces, &feed, nullptr, nullptr);
  const size_t after = heap_in_use();
  m.kept = after > feed.base ? after - feed.base : 0;
  m.peak = std::max(feed.peak, m.kept);
  return m;
}

long count_elements(const pdoc_element* e) {
  long n = 0;
  while (e) {
    ++n;
    if (e->child) {
      e = e->child;
      continue;
    }
    while (e && !e->next) e = e->parent;
    if (e) e = e->next;
  }
  return n;
}

// N start tags of one nesting kind, then N end tags that match nothing open.
std::string nested_unmatched(const std::string& open, const char* close, int n) {
  std::string d = "<html><body>";
  for (int i = 0; i < n; ++i) d += open;
  d += "x";
  for (int i = 0; i < n; ++i) d += close;
  return d;
}

void run_hostile(benchmark::State& state, const std::string& html, long tags) {
  QuietStdout quiet;
  size_t peak = 0;
  for (auto _ : state) {
    Measured m = measured_build(html);
    peak = std::max(peak, m.peak);
    pdocbuild_free(m.tree);
  }
  state.counters["input_MB"] = static_cast<double>(html.size()) / 1e6;
  state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
  state.counters["peak_bytes_per_tag"] = static_cast<double>(peak) / static_cast<double>(tags);
}

void BM_UnmatchedEndsUnderHeads(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  run_hostile(state, nested_unmatched("<head>", "</table>", n), 2L * n);
}
BENCHMARK(BM_UnmatchedEndsUnderHeads)->Arg(25000)->Arg(50000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_UnmatchedEndsUnderInlinePictures(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  run_hostile(state, nested_unmatched("<img embed-encoding>", "</tr>", n), 2L * n);
}
BENCHMARK(BM_UnmatchedEndsUnderInlinePictures)->Arg(25000)->Unit(benchmark::kMillisecond);

void BM_UnmatchedEndsUnderHtmlInBody(benchmark::State& state) {
  const int n = static_cast<int>(state.range(0));
  run_hostile(state, nested_unmatched("<html>", "</td>", n), 2L * n);
}
BENCHMARK(BM_UnmatchedEndsUnderHtmlInBody)->Arg(25000)->Unit(benchmark::kMillisecond);

// 10 MB of <b>: every run is ended empty by the next start tag.
void BM_RepeatedBold(benchmark::State& state) {
  std::string html;
  while (html.size() < 10u * 1024 * 1024) html += "<b>";
  run_hostile(state, html, static_cast<long>(html.size() / 3));
}
BENCHMARK(BM_RepeatedBold)->Unit(benchmark::kMillisecond);

// The end-to-end benchmark's 6000-row ledger: the heap its finished tree
// holds, per element.
std::string ledger(int rows) {
  std::string d =
      "<html><head><title>Ledger</title></head><body>\n<font face=\"Arial\" size=5><b>Ledger, all "
      "postings</b></font>\n<table width=\"100%\" forcedisplay=\"W\" border=1 cellpadding=1 "
      "cellspacing=0><thead><tr bgcolor=\"#DCE6F0\"><th>No.</th><th>Date</th><th>Account</th>"
      "<th>Text</th><th>Amount</th></tr></thead>\n";
  char line[512];
  for (int r = 1; r <= rows; ++r) {
    std::snprintf(line, sizeof line,
                  "<tr><td align=right>%d</td><td>2026-%02d-%02d</td><td>%d</td><td>Posting %d for "
                  "order %d</td><td align=right>%.2f</td></tr>\n",
                  r, r % 12 + 1, r % 28 + 1, 4000 + r % 97, r, r * 7 % 10007, (r * 131) % 100000 / 100.0);
    d += line;
  }
  return d + "</table></body></html>\n";
}

void BM_LedgerTree(benchmark::State& state) {
  const std::string html = ledger(6000);
  QuietStdout quiet;
  size_t kept = 0, peak = 0;
  long elements = 0;
  for (auto _ : state) {
    Measured m = measured_build(html);
    kept = m.kept;
    peak = m.peak;
    elements = count_elements(m.tree->root);
    pdocbuild_free(m.tree);
  }
  state.counters["elements"] = static_cast<double>(elements);
  state.counters["tree_MB"] = static_cast<double>(kept) / 1e6;
  state.counters["tree_bytes_per_element"] = static_cast<double>(kept) / static_cast<double>(elements);
  state.counters["peak_MB"] = static_cast<double>(peak) / 1e6;
}
BENCHMARK(BM_LedgerTree)->Unit(benchmark::kMillisecond);

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
  QuietStdout quiet;
  for (auto _ : state) {
    pdoc_document* tree = pdocbuild_string(doc.c_str(), nullptr, nullptr);
    benchmark::DoNotOptimize(tree);
    pdocbuild_free(tree);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(doc.size()));
}
BENCHMARK(BM_TokenizerAndBuilder)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
