// What one layout job (a view pass, a printed copy, a device transfer)
// carries down through the layout: the measurement records it keeps, how
// deep the tables being laid out nest, and the diagnostics it printed.
#pragma once

#include <cstdint>
#include <memory>

#include "document/pdoc.h"

struct MeasureMemo;
struct MeasureMemoDeleter {
  void operator()(MeasureMemo* memo) const;
};
using MeasureMemoPtr = std::unique_ptr<MeasureMemo, MeasureMemoDeleter>;

// Empty records; null when there is no memory for them.
MeasureMemoPtr measure_memo_create();

struct LayoutJob {
  // Null: every measurement is made afresh.
  MeasureMemoPtr memo;
  // Tables being sized or placed, and the innermost of them.
  int table_depth = 0;
  const pdoc_element* innermost_table = nullptr;
  // Diagnostics the job printed, so that a measurement that printed one is
  // never replayed silently.
  uint64_t diagnostics = 0;
};

// A job that keeps its measurements (as far as memory allows).
inline LayoutJob layout_job_keeping_measurements() {
  LayoutJob job;
  job.memo = measure_memo_create();
  return job;
}
