// What a layout job could not show. The layout keeps its pages as they are
// (a cell taller than the page is clipped, a table that cannot be fitted ends
// its sequence, an element that fits on no page is skipped) but counts each
// such loss, so that the job can say what its output lacks.
#pragma once

#include "document/pdoc.h"

// The losses of one job: a view draw, one printed copy, a device transfer.
struct LeftOutReport {
  int elements = 0;    // elements whose content is missing from the output
  int first_page = 0;  // page of the first of them (1-based); 0 when none
};

// While one lives, the losses of the layout on this thread are counted into
// it. One started inside another counts on its own until it ends.
class LeftOutScope {
 public:
  LeftOutScope();
  ~LeftOutScope();
  LeftOutScope(const LeftOutScope&) = delete;
  LeftOutScope& operator=(const LeftOutScope&) = delete;

  const LeftOutReport& report() const { return report_; }

 private:
  friend void left_out_page(int page);
  friend void note_left_out(int elements);

  LeftOutScope* outer_;
  LeftOutReport report_;
  int page_ = 0;
};

// The page loops: page `page` (1-based) is being laid out now.
void left_out_page(int page);
// The layout: `elements` more elements are missing on the current page.
void note_left_out(int elements);

// Whether the element, or anything below it, draws something: text other
// than blanks, a picture, a rule, a table.
bool shows_something(const pdoc_element* element);
// How many of the siblings from first on show something.
int count_shown(const pdoc_element* first);
