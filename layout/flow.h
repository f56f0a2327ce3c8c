// The flow: places lines of inline content, floating pictures, rules and
// tables of one sibling sequence from the top of a target downwards.
#pragma once

#include <cstddef>
#include <vector>

#include "document/pdoc.h"
#include "layout/layout_job.h"

struct RenderTarget;

// Flags of a flow and of table placement.
inline constexpr int LAYOUT_MEASURE = 0x10;   // size only, draw nothing
inline constexpr int LAYOUT_PAGE_TOP = 0x20;  // the flow starts at the top of a page

// The free horizontal span of one pixel row of a flow rectangle.
struct RowSpan {
  int left;
  int right;
};

// The free spans of every row of a flow rectangle, all of its width at first.
// Rows are stored only up to the last one changed: a cell measured in a
// rectangle thousands of rows high mostly holds text, which changes none.
class RowSpans {
 public:
  RowSpans(int rows, int width) : rows_(rows), width_(width) {}
  int size() const { return rows_; }
  RowSpan operator[](int y) const {
    return y >= 0 && y < stored() ? stored_[static_cast<size_t>(y)] : RowSpan{0, width_};
  }
  // Row y (0 <= y < size()) for changing it.
  RowSpan& at(int y) {
    if (y >= stored()) stored_.resize(static_cast<size_t>(y) + 1, RowSpan{0, width_});
    return stored_[static_cast<size_t>(y)];
  }
  // Rows from here on have never been changed.
  int stored() const { return static_cast<int>(stored_.size()); }

 private:
  int rows_;
  int width_;
  std::vector<RowSpan> stored_;
};

// Lays out the sequence from (element, offset) into the target. width and
// height of 0 mean the whole target; on return they hold the used width and
// the last pixel row used. Returns where the flow stopped, null when the
// sequence was finished.
pdoc_element* layout_flow(LayoutJob& job, RenderTarget* target, int* width, int* height, pdoc_element* element,
                          int* offset, int flags);

// Places consecutive floating pictures searching from row y; returns the
// first element that is not a float, or the float that found no room.
pdoc_element* place_floats(RenderTarget* target, pdoc_element* element, RowSpans& spans, int H, int y, int flags);

// Lays out consecutive rules from row y, which advances past them.
pdoc_element* layout_rules(RenderTarget* target, pdoc_element* element, RowSpans& spans, int H, int* y, int flags);

// The alignment of an element, inherited from its ancestors when not set.
int effective_align(const pdoc_element* element);

// The narrowest free span over rows y ... y + n - 1 (row y alone when n is
// 0); rows outside the map are not read.
int min_span(const RowSpans& spans, int y, int n);
