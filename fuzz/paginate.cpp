// Arbitrary bytes built into a document tree and paginated on small
// recording targets: pagination must end, every page making progress or
// skipping what it cannot place.
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "document/pdocbuild.h"
#include "document/qelhtmlparser.h"
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

void paginate_on(pdoc_element* root, int width, int height, long bound) {
  RecordingDc dc(96, width, height);
  RenderTarget* target = rt_create(&dc, {0, 0, width - 1, height - 1}, 100);
  if (!target) abort();
  PaginateResult r = paginate_document(target, root, nullptr, static_cast<int>(bound));
  if (!r.finished) abort();  // a page loop that does not end
  if (target->get_resolution(target) != 96) abort();  // fitting must restore it
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
  paginate_on(doc->root, 200, 150, bound);
  paginate_on(doc->root, 20, 20, bound);
  pdocbuild_free(doc);
  return 0;
}
