// tessel-dump FILE: builds the document tree of an HTML file (or of standard
// input for "-") and prints it one element per line after the builder's own
// reports.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "document/pdocbuild.h"
#include "document/pdocdump.h"

namespace {

const char kUsage[] =
    "usage: tessel-dump FILE   (FILE may be - for standard input)\n"
    "Builds the document tree of an HTML file and prints the builder's reports, then one line per\n"
    "element with its fields (lines deeper than 40 levels show their depth as [N]).\n";

}  // namespace

int main(int argc, char** argv) {
  if (argc == 2 && (strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0)) {
    fputs(kUsage, stdout);
    return 0;
  }
  if (argc != 2) {
    fputs(kUsage, stderr);
    return 2;
  }
  const bool from_stdin = strcmp(argv[1], "-") == 0;
  FILE* in = from_stdin ? stdin : fopen(argv[1], "r");
  if (!in) {
    fprintf(stderr, "tessel-dump: cannot open %s: %s\n", argv[1], strerror(errno));
    return 1;
  }
  pdoc_document* document = pdocbuild_file(in, nullptr, nullptr);
  if (!from_stdin) fclose(in);
  if (!document) {
    fprintf(stderr, "tessel-dump: out of memory\n");
    return 1;
  }
  pdoc_dump(stdout, document, true);
  pdocbuild_free(document);
  return 0;
}
