// The layout engine's diagnostics on standard output, each counted in its
// job.
#pragma once

struct LayoutJob;

void layout_trace(LayoutJob& job, const char* format, ...) __attribute__((format(printf, 2, 3)));
