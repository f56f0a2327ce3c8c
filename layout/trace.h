// The layout engine's diagnostics on standard output. Each one is counted, so
// that a measurement that printed something is never replayed silently.
#pragma once

#include <cstdint>

void layout_trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Diagnostics printed so far on this thread.
uint64_t layout_trace_count();
