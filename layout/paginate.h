// The page loop shared by the outputs: lays out a whole document page by
// page on one target and skips what cannot be placed on an empty page.
#pragma once

#include "document/pdoc.h"

struct RenderTarget;

struct PaginateHooks {
  void* user = nullptr;
  // Before each page is laid out (for example to clear the surface).
  void (*begin_page)(void* user, int page) = nullptr;
  // After each page, with the position where the page started.
  void (*end_page)(void* user, int page, pdoc_element* start, int start_offset) = nullptr;
  // A page made no progress; element is skipped.
  void (*no_progress)(void* user, int page, pdoc_element* element) = nullptr;
};

struct PaginateResult {
  int pages = 0;       // layout_page calls, skipped attempts included
  int skipped = 0;     // pages that made no progress
  bool finished = false;  // false when max_pages stopped the loop
};

// Where the page loop goes on after an element that cannot be placed: its
// next sibling, or the next sibling of the nearest ancestor that has one, so
// that a later body is not lost.
pdoc_element* paginate_skip(pdoc_element* element);

// Lays out pages from the root until the document is finished or max_pages
// pages were made (0: no bound).
PaginateResult paginate_document(RenderTarget* target, pdoc_element* root,
                                 const PaginateHooks* hooks = nullptr, int max_pages = 0);

// Positions where pages start: pages 1 ... n are laid out to reach page n.
// Answers the start of page n (1-based) or null when the document has fewer
// pages.
pdoc_element* paginate_find_page(RenderTarget* target, pdoc_element* root, int page,
                                 int* offset);
