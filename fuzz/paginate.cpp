// Arbitrary bytes built into a document tree and paginated on recording
// targets at the screen's and at a printer's resolution: pagination must
// end, every page making progress or skipping what it cannot place, and
// what it leaves out must belong to a page it made.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "document/pdocbuild.h"
#include "document/qelhtmlparser.h"
#include "layout/left_out.h"
#include "layout/paginate.h"
#include "layout/render_target.h"
#include "platform/dc_recording.h"

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
};

void feed(qelhtmlparser* p, void* user) {
  const Input& in = *static_cast<const Input*>(user);
  qelhtmlparser_parse(p, reinterpret_cast<const char*>(in.data), in.size);
}

// Positions a page can start at: one per element and one per data byte.
// Pages only move forward, so pagination takes at most this many pages.
long positions(const pdoc_element* root) {
  long n = 2;
  const pdoc_element* e = root;
  while (e) {
    n += 1 + e->data_len;
    if (e->child) {
      e = e->child;
      continue;
    }
    while (e && !e->next) e = e->parent;
    if (e) e = e->next;
  }
  return n;
}

void paginate_on(pdoc_element* root, int width, int height, int dpi, long bound) {
  RecordingDc dc(dpi, width, height);
  // Only the layout's arithmetic is under test here, not the record.
  dc.set_recording(false);
  RenderTarget* target = rt_create(&dc, {0, 0, width - 1, height - 1}, 100);
  if (!target) abort();
  LeftOutScope left_out;
  PaginateResult r = paginate_document(target, root, nullptr, static_cast<int>(bound));
  if (!r.finished) abort();                            // a page loop that does not end
  if (target->get_resolution(target) != dpi) abort();  // fitting must restore it
  const LeftOutReport& lost = left_out.report();
  if (lost.elements < 0 || (lost.elements > 0 && (lost.first_page < 1 || lost.first_page > r.pages))) abort();
  target->destroy(target);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!freopen("/dev/null", "w", stdout)) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 4096) return 0;  // layout of nested tables grows fast with size
  Input in{data, size};
  pdoc_document* doc = pdocbuild_feed(feed, &in, nullptr, nullptr);
  if (!doc) abort();
  long bound = positions(doc->root);
  paginate_on(doc->root, 200, 150, 96, bound);
  paginate_on(doc->root, 20, 20, 96, bound);
  // A printer's resolution: document lengths scale by 6.25 and can pass
  // what an int holds.
  paginate_on(doc->root, 1250, 940, 600, bound);
  pdocbuild_free(doc);
  return 0;
}
