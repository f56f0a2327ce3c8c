// The page loop: layout_page from the root until no element is left, with
// the "no progress, skip the element" rule.
#include "layout/paginate.h"

#include "layout/left_out.h"
#include "layout/page.h"

pdoc_element* paginate_skip(pdoc_element* element) {
  return next_after(element);
}

PaginateResult paginate(PageSink& sink, pdoc_element* root, int max_pages) {
  // The pages of one job share their measurements of the document.
  LayoutJob job = layout_job_keeping_measurements();
  return paginate(job, sink, root, max_pages);
}

PaginateResult paginate(LayoutJob& job, PageSink& sink, pdoc_element* root, int max_pages) {
  PaginateResult result;
  PagePosition at{root, 0};
  while (at.element) {
    if (max_pages > 0 && result.pages >= max_pages) {
      result.next = at;
      return result;
    }
    const int page = result.pages + 1;
    RenderTarget* target = sink.begin_page(page);
    if (!target) {
      result.next = at;
      return result;
    }
    const PagePosition start = at;
    left_out_page(page);
    at.element = layout_page(job, target, at.element, &at.offset);
    result.pages = page;
    if (at.element == start.element && at.offset == start.offset) {
      note_left_out(1);
      result.skipped++;
      at = {paginate_skip(start.element), 0};
      sink.no_progress(page, start.element);
    }
    if (!sink.end_page(page, start)) {
      result.next = at;
      return result;
    }
  }
  result.finished = true;
  return result;
}

namespace {

// Every page on the same target, the hooks called as they come.
class HooksSink : public PageSink {
 public:
  HooksSink(RenderTarget* target, const PaginateHooks* hooks)
      : target_(target), hooks_(hooks ? *hooks : PaginateHooks{}) {}
  RenderTarget* begin_page(int page) override {
    if (hooks_.begin_page) hooks_.begin_page(hooks_.user, page);
    return target_;
  }
  void no_progress(int page, pdoc_element* element) override {
    if (hooks_.no_progress) hooks_.no_progress(hooks_.user, page, element);
  }
  bool end_page(int page, const PagePosition& start) override {
    if (hooks_.end_page) hooks_.end_page(hooks_.user, page, start.element, start.offset);
    return true;
  }

 private:
  RenderTarget* target_;
  PaginateHooks hooks_;
};

}  // namespace

PaginateResult paginate_document(RenderTarget* target, pdoc_element* root, const PaginateHooks* hooks, int max_pages) {
  if (!target) return {};
  HooksSink sink(target, hooks);
  return paginate(sink, root, max_pages);
}

pdoc_element* paginate_find_page(RenderTarget* target, pdoc_element* root, int page, int* offset) {
  *offset = 0;
  if (page <= 1) return root;
  if (!target) return nullptr;
  HooksSink sink(target, nullptr);
  const PagePosition start = paginate(sink, root, page - 1).next;
  *offset = start.offset;
  return start.element;
}
