// The main of a benchmark whose code traces to standard output (layout
// traces such as "Table can't fit"): standard output is silenced and the
// results are reported on standard error.
#pragma once

#include <cstdio>
#include <iostream>

#include <benchmark/benchmark.h>

inline int run_benchmarks_with_stdout_silenced(int argc, char** argv) {
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  benchmark::Initialize(&argc, argv);
  benchmark::ConsoleReporter reporter;
  reporter.SetOutputStream(&std::cerr);
  reporter.SetErrorStream(&std::cerr);
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
