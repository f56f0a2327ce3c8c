// The flow: places lines of inline content, floating pictures, rules and
// tables of one sibling sequence from the top of a target downwards.
#pragma once

#include <vector>

#include "document/pdoc.h"

struct RenderTarget;

// Flags of a flow and of table placement.
inline constexpr int LAYOUT_MEASURE = 0x10;   // size only, draw nothing
inline constexpr int LAYOUT_PAGE_TOP = 0x20;  // the flow starts at the top of a page

// The free horizontal span of one pixel row of a flow rectangle.
struct RowSpan {
  int left;
  int right;
};
using RowSpans = std::vector<RowSpan>;

// Lays out the sequence from (element, offset) into the target. width and
// height of 0 mean the whole target; on return they hold the used width and
// the last pixel row used. Returns where the flow stopped, null when the
// sequence was finished.
pdoc_element* layout_flow(RenderTarget* target, int* width, int* height, pdoc_element* element,
                          int* offset, int flags);

// Places consecutive floating pictures searching from row y; returns the
// first element that is not a float, or the float that found no room.
pdoc_element* place_floats(RenderTarget* target, pdoc_element* element, RowSpans& spans, int H,
                           int y, int flags);

// Lays out consecutive rules from row y, which advances past them.
pdoc_element* layout_rules(RenderTarget* target, pdoc_element* element, RowSpans& spans, int H,
                           int* y, int flags);

// The alignment of an element, inherited from its ancestors when not set.
int effective_align(const pdoc_element* element);

// The narrowest free span over rows y ... y + n - 1 (row y alone when n is
// 0); rows outside the map are not read.
int min_span(const RowSpans& spans, int y, int n);
