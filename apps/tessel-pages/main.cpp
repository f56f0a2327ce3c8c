// tessel-pages FILE: lays out an HTML file (pictures found beside it) on
// Letter pages at 96 pixels per inch on the recording context, which draws
// nothing and keeps no record of it, and prints the number of pages. It
// measures layout alone.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "document/pdocbuild.h"
#include "layout/paginate.h"
#include "layout/render_target.h"
#include "platform/dc_recording.h"
#include "platform/stdio_file.h"

namespace {

constexpr int kPageWidth = 816, kPageHeight = 1056;

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    fprintf(stderr, "usage: tessel-pages FILE\n");
    return 2;
  }
  FilePtr in(fopen(argv[1], "r"));
  if (!in) {
    fprintf(stderr, "tessel-pages: cannot open %s: %s\n", argv[1], strerror(errno));
    return 1;
  }
  std::string folder = argv[1];
  const size_t slash = folder.rfind('/');
  folder = slash == std::string::npos ? "." : folder.substr(0, slash == 0 ? 1 : slash);
  const pdoc_sources sources{folder.c_str(), nullptr};
  pdoc_document_ptr document(pdocbuild_file(in.get(), &sources, nullptr));
  if (!document) {
    fprintf(stderr, "tessel-pages: out of memory\n");
    return 1;
  }
  RecordingMetrics metrics;
  metrics.proportional = true;
  RecordingDc dc(96, kPageWidth, kPageHeight, metrics);
  dc.set_recording(false);
  RenderTargetPtr target(rt_create(&dc, {0, 0, kPageWidth - 1, kPageHeight - 1}, RT_VERSION));
  if (!target) {
    fprintf(stderr, "tessel-pages: no render target\n");
    return 1;
  }
  const PaginateResult result = paginate_document(target.get(), document->root, nullptr);
  printf("%d\n", result.pages);
  return 0;
}
