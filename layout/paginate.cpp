// The page loop: layout_page from the root until no element is left, with
// the "no progress, skip the element" rule.
#include "layout/paginate.h"

#include "layout/left_out.h"
#include "layout/measure_memo.h"
#include "layout/page.h"

pdoc_element* paginate_skip(pdoc_element* element) { return next_after(element); }

namespace {

// One step of the loop; false when the document is finished.
bool next_page(RenderTarget* target, pdoc_element** element, int* offset, bool* skipped) {
  pdoc_element* start = *element;
  int start_offset = *offset;
  *element = layout_page(target, *element, offset);
  *skipped = false;
  if (*element == start && *offset == start_offset) {
    note_left_out(1);
    *skipped = true;
    *element = paginate_skip(start);
    *offset = 0;
  }
  return *element != nullptr;
}

}  // namespace

PaginateResult paginate_document(RenderTarget* target, pdoc_element* root,
                                 const PaginateHooks* hooks, int max_pages) {
  LayoutMemoScope memo;
  PaginateResult result;
  pdoc_element* element = root;
  int offset = 0;
  while (element) {
    if (max_pages > 0 && result.pages >= max_pages) return result;
    int page = result.pages + 1;
    if (hooks && hooks->begin_page) hooks->begin_page(hooks->user, page);
    pdoc_element* start = element;
    int start_offset = offset;
    bool skipped = false;
    left_out_page(page);
    next_page(target, &element, &offset, &skipped);
    result.pages = page;
    if (skipped) {
      result.skipped++;
      if (hooks && hooks->no_progress) hooks->no_progress(hooks->user, page, start);
    }
    if (hooks && hooks->end_page) hooks->end_page(hooks->user, page, start, start_offset);
  }
  result.finished = true;
  return result;
}

pdoc_element* paginate_find_page(RenderTarget* target, pdoc_element* root, int page,
                                 int* offset) {
  LayoutMemoScope memo;
  pdoc_element* element = root;
  *offset = 0;
  for (int n = 1; n < page && element; n++) {
    bool skipped = false;
    next_page(target, &element, offset, &skipped);
  }
  return element;
}
