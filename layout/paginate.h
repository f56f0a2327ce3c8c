// The page loop shared by the outputs: lays out a whole document page by
// page and skips what cannot be placed on an empty page. Each output says
// through its sink where a page is drawn and what becomes of it.
#pragma once

#include "document/pdoc.h"
#include "layout/layout_job.h"

struct RenderTarget;

// Where a page starts: an element and a byte offset into its text.
struct PagePosition {
  pdoc_element* element = nullptr;
  int offset = 0;
};

// What one output does with the pages of the loop.
class PageSink {
 public:
  virtual ~PageSink() = default;
  // The target page `page` (1-based) is laid out on; null ends the loop,
  // for an output that cannot start the page.
  virtual RenderTarget* begin_page(int page) = 0;
  // Page `page`, laid out from start, made no progress: element is skipped.
  // Comes before the page's end_page.
  virtual void no_progress(int /*page*/, pdoc_element* /*element*/) {}
  // After the page was laid out; false ends the loop.
  virtual bool end_page(int /*page*/, const PagePosition& /*start*/) { return true; }
};

struct PaginateResult {
  int pages = 0;          // layout_page calls, skipped attempts included
  int skipped = 0;        // pages that made no progress
  bool finished = false;  // false when max_pages or the sink stopped the loop
  PagePosition next;      // where the loop would go on; null element when finished
};

// Where the page loop goes on after an element that cannot be placed: its
// next sibling, or the next sibling of the nearest ancestor that has one, so
// that a later body is not lost.
pdoc_element* paginate_skip(pdoc_element* element);

// The page loop: pages from root until the document is finished, the sink
// stops it or max_pages pages were made (0: no bound). The loop's own job
// keeps its measurements; a caller may give the job instead.
PaginateResult paginate(PageSink& sink, pdoc_element* root, int max_pages = 0);
PaginateResult paginate(LayoutJob& job, PageSink& sink, pdoc_element* root, int max_pages = 0);

// The loop on one target for every page, with plain callbacks.
struct PaginateHooks {
  void* user = nullptr;
  // Before each page is laid out (for example to clear the surface).
  void (*begin_page)(void* user, int page) = nullptr;
  // After each page, with the position where the page started.
  void (*end_page)(void* user, int page, pdoc_element* start, int start_offset) = nullptr;
  // A page made no progress; element is skipped.
  void (*no_progress)(void* user, int page, pdoc_element* element) = nullptr;
};
PaginateResult paginate_document(RenderTarget* target, pdoc_element* root, const PaginateHooks* hooks = nullptr,
                                 int max_pages = 0);

// Positions where pages start: pages 1 ... n are laid out to reach page n.
// Answers the start of page n (1-based) or null when the document has fewer
// pages.
pdoc_element* paginate_find_page(RenderTarget* target, pdoc_element* root, int page, int* offset);
