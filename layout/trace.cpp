#include "layout/trace.h"

#include <cstdarg>
#include <cstdio>

namespace {
thread_local uint64_t g_traces = 0;
}

void layout_trace(const char* format, ...) {
  ++g_traces;
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
}

uint64_t layout_trace_count() { return g_traces; }
