#include "layout/trace.h"

#include <cstdarg>
#include <cstdio>

#include "layout/layout_job.h"

void layout_trace(LayoutJob& job, const char* format, ...) {
  ++job.diagnostics;
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
}
