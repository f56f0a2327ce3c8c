// Repair reports carry the tokenizer position so a document's author can
// find what was fixed.
#include "document/pdocreport.h"

#include <cstdarg>
#include <cstdio>

#include "document/pdocbuilder.h"
#include "document/qelhtmlparser.h"

int pdoc_verbose_trace = 0;

void pdoc_report(const pdoc_builder* builder, const char* format, ...) {
  if (builder && builder->parser)
    printf("PDOC_BUILDER ERROR at (line,col) (%d,%d): ", qelhtmlparser_line(builder->parser),
           qelhtmlparser_column(builder->parser));
  else
    printf("PDOC_BUILDER ERROR: ");
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
  printf("\n");
}

void pdoc_trace(const char* format, ...) {
  if (!pdoc_verbose_trace) return;
  va_list args;
  va_start(args, format);
  vprintf(format, args);
  va_end(args);
}
