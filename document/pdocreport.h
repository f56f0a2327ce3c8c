// The builder's diagnostics: repair reports and the verbose decision trace,
// all on standard output.
#pragma once

#include "document/pdoc.h"

// Verbose trace of the builder's decisions; nothing turns it on.
extern int pdoc_verbose_trace;

// One repair report and a line feed: "PDOC_BUILDER ERROR at (line,col)
// (%d,%d): " with the tokenizer position, or "PDOC_BUILDER ERROR: " when
// there is no builder or tokenizer at hand.
void pdoc_report(const pdoc_builder* builder, const char* format, ...) __attribute__((format(printf, 2, 3)));

// A verbose trace line, printed as given when pdoc_verbose_trace is on.
void pdoc_trace(const char* format, ...) __attribute__((format(printf, 1, 2)));
