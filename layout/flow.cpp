// The flow of one sibling sequence: lines, floats, rules and tables placed
// from the top of the target down, drawn as they are placed unless measuring.
//
// Short names: W and H are the width and height in pixels of the flow's
// rectangle and y the pixel row being filled; w and h are a float's box; for a
// rule P is the page width, s its scaled thickness, s1 the scaled thickness of
// one unit less and x0 its left edge.
#include "layout/flow.h"

#include <algorithm>
#include <cstdio>
#include <new>

#include "layout/fonts.h"
#include "layout/layout_limits.h"
#include "layout/left_out.h"
#include "layout/trace.h"
#include "layout/paint.h"
#include "layout/render_target.h"
#include "layout/table_layout.h"
#include "layout/table_size.h"

namespace {

bool is_float(const pdoc_element* e) {
  return e && e->type == ELE_IMAGE && e->image.align != 0;
}

bool is_rule(const pdoc_element* e) {
  return e && e->type == ELE_HRULE;
}

bool is_table_or_row(const pdoc_element* e) {
  return e && (e->type == ELE_TABLE || e->type == ELE_ROW);
}

bool is_p_run(const pdoc_element* e) {
  return e && e->type == ELE_TEXT && e->tag == PDOC_TAG_P;
}

struct Line {
  int units = 0;
  int width = 0;
  int height = 0;
  int descent = 0;
};

Line measure(LayoutJob& job, RenderTarget* target, pdoc_element* element, int offset, int avail) {
  Line line;
  RtSize size{};
  line.units = measure_line(job, target, element, offset, avail, &size, &line.descent, nullptr);
  line.width = size.width;
  line.height = size.height;
  return line;
}

int span_width(const RowSpans& spans, int y) {
  RowSpan span = spans[y];
  return span.right - span.left;
}

}  // namespace

int min_span(const RowSpans& spans, int y, int n) {
  int rows = spans.size();
  if (y < 0 || y >= rows) return 0;
  int narrowest = span_width(spans, y);
  int end = std::min(rows, y + std::max(n, 1));
  for (int i = y + 1; i < end; i++) narrowest = std::min(narrowest, span_width(spans, i));
  return narrowest;
}

int effective_align(const pdoc_element* element) {
  for (const pdoc_element* e = element; e; e = e->parent) {
    int align = 0;
    switch (e->type) {
      case ELE_TEXT: align = e->style.align; break;
      case ELE_IMAGE: align = e->image.align; break;
      case ELE_ROW: align = e->row.align; break;
      case ELE_CELL: align = e->cell.align; break;
      case ELE_HRULE: align = e->rule.align; break;
      default: return 0;  // tables, THEAD groups and the rest carry none
    }
    if (align) return align;
  }
  return 0;
}

pdoc_element* place_floats(RenderTarget* target, pdoc_element* element, RowSpans& spans, int H, int y, int flags) {
  H = std::min(H, spans.size());
  while (is_float(element)) {
    int w = 0, h = 0;
    image_box(target, element, &w, &h);
    int row = y;
    bool placed = false;
    while (row < H && row >= 0) {
      if (row + h > H) return element;
      bool fits = true;
      for (int i = row; i <= row + h - 2; i++) {
        if (span_width(spans, i) < w) {
          fits = false;
          break;
        }
      }
      if (!fits) {
        row++;
        continue;
      }
      bool right = element->image.align == ALIGN_RIGHT;
      int left_edge = spans[row].left, right_edge = spans[row].right;
      if (!(flags & LAYOUT_MEASURE)) draw_image_box(target, element, right ? right_edge - w : left_edge, row);
      for (int i = row; i <= row + h - 2; i++) {
        if (right)
          spans.at(i).right = right_edge - w;
        else
          spans.at(i).left = left_edge + w;
      }
      placed = true;
      break;
    }
    if (!placed) return element;
    element = element->next;
  }
  return element;
}

pdoc_element* layout_rules(RenderTarget* target, pdoc_element* element, RowSpans&, int, int* y, int flags) {
  int gap = scale(target, 7);
  while (is_rule(element)) {
    const pdoc_rule_fields& rule = element->rule;
    int P = page_width(target);
    int s = scaled_length(target, rule.size);
    int s1 = scaled_length(target, std::max(rule.size - 1, 0));
    // Each rule may be as tall as the bound; a run of them must not wrap y.
    *y = add_lengths(*y, gap);
    int width = scaled_length(target, rule.width);
    if (width <= 0) width = fraction_of(P, rule.width_frac);
    // Without any width the rule spans the page; it must not reach past it
    // into the neighbouring cells of a table.
    if (width <= 0) width = P;
    int x0 = 0;
    if (width < P) {
      if (rule.align == ALIGN_RIGHT)
        x0 = P - width;
      else if (rule.align != ALIGN_LEFT)
        x0 = (P - width) / 2;
    }
    if (!(flags & LAYOUT_MEASURE)) paint_rule(target, x0, *y, x0 + width, s1, rule.size, rule.noshade != 0);
    *y = add_lengths(*y, add_lengths(s, gap));
    element = element->next;
  }
  return element;
}

namespace {

// Where one flow has got to: the row it is on, what it has used so far and
// the line measured to be placed next.
struct Flow {
  Flow(LayoutJob& job, RenderTarget* target, int W, int H, pdoc_element* element, int* offset, int flags)
      : job(job), target(target), W(W), H(H), flags(flags), offset(offset), element(element), spans(H, W) {}

  LayoutJob& job;
  RenderTarget* target;
  const int W;
  const int H;
  int flags;
  int* offset;
  pdoc_element* element;
  RowSpans spans;
  int y = 0;
  int used_width = 0;
  int used_height = 0;
  bool stop = false;
  int avail = 0;  // the free width the line was measured in
  Line line;
};

// Floats and rules at the start of the flow, then the first line measured.
void open_flow(Flow& f) {
  f.element = place_floats(f.target, f.element, f.spans, f.H, f.y, f.flags);
  if (is_float(f.element)) f.stop = true;
  if (f.element != nullptr && is_rule(f.element)) {
    // A flow that opens with rules lays them out and goes on with what
    // follows them, as after rules met later; the rules themselves are the
    // progress a page makes when nothing else fits.
    f.element = layout_rules(f.target, f.element, f.spans, f.H, &f.y, f.flags);
    f.used_height = f.y;
    *f.offset = 0;
    f.element = place_floats(f.target, f.element, f.spans, f.H, std::min(f.y, f.H), f.flags);
    if (is_float(f.element)) f.stop = true;
  }

  f.avail = f.y < f.H ? span_width(f.spans, f.y) : 0;
  if (f.y < f.H && f.element && !is_table_or_row(f.element))
    f.line = measure(f.job, f.target, f.element, *f.offset, f.avail);
}

// Places the measured line, which holds at least one unit, at row y and
// moves y down past it.
void place_line(Flow& f) {
  Line& line = f.line;
  const pdoc_element* line_start = f.element;
  if (line.width > 0) {
    int align = effective_align(f.element);
    int left = f.spans[f.y].left;
    int x = left;
    if (align == ALIGN_RIGHT)
      x = left + f.avail - line.width;
    else if (align == ALIGN_CENTER)
      x = left + (f.avail - line.width) / 2;
    if (!(f.flags & LAYOUT_MEASURE))
      paint_line(f.job, f.target, x, f.y, line.height, line.descent, f.element, *f.offset, line.units);
    f.used_width = std::max(f.used_width, x + line.width);
    f.used_height = f.y + line.height;
    f.element = advance_units(f.element, line.units, f.offset);
    skip_break_char(&f.element, f.offset);
  } else {
    line.height = f.target->font_height(f.target);
    f.used_height = f.y + line.height;
    f.element = advance_units(f.element, line.units, f.offset);
  }
  // Blank line above a paragraph: only when the line ran up to it, not
  // after every wrapped line inside the paragraph itself.
  if (is_p_run(f.element) && f.element != line_start) line.height += f.target->font_height(f.target);
  // Consecutive lines share one pixel row; a line without height (a
  // picture 0 pixels high) must not move the cursor back up.
  f.y += std::max(line.height - 1, 0);
}

// Places the table or row at the current element from row y; a table that
// does not fit stops the flow.
void place_table(Flow& f) {
  pdoc_element* table = f.element;
  int start_row = 0;
  if (f.element->type == ELE_ROW) {
    table = row_table(f.element);
    start_row = table ? table_row_index(table, f.element) : -1;
    if (!table || start_row < 0) {
      // A row outside any table cannot be placed; leave it to the
      // caller's skip.
      f.stop = true;
      return;
    }
  }
  int top = f.y;
  int table_width = 0;
  TableResult result = layout_table(f.job, f.target, &f.y, &table_width, table, start_row, f.flags);
  if (result.outcome == TABLE_DONE) {
    if (f.y < f.H) {
      f.used_height = f.y + 1;
    } else {
      f.used_height = f.H - 1;
      f.y = f.H - 1;
    }
    for (int i = std::max(top, 0); i < f.y && i < f.H; i++) f.spans.at(i).left = table_width;
    f.y += 1;
    f.element = table->next;
    *f.offset = 0;
  } else {
    f.stop = true;
    layout_trace(f.job, "Table can't fit: %s from line:%d,%d\n", table->name, table->line, table->col);
    // A table that cannot be laid out ends its sequence: it and what
    // follows it are not shown.
    if (result.outcome == TABLE_FAILED && !(f.flags & LAYOUT_MEASURE)) note_left_out(1 + count_shown(table->next));
    f.element = result.element;
    *f.offset = 0;
  }
}

// No unit of the current element fitted: skips empty text, then places a
// table or tries one row lower.
void place_no_line(Flow& f) {
  while (f.element && f.element->type == ELE_TEXT && f.element->data_len <= 0) {
    f.element = f.element->next;
    *f.offset = 0;
  }
  if (f.element && !is_table_or_row(f.element)) {
    f.y += 1;  // retry one row lower, where a float may have ended
  } else if (f.element) {
    place_table(f);
  }
}

// Rules and floats may follow each other in any order here; each run of
// rules is laid out before the next line is measured.
void place_rules_and_floats(Flow& f) {
  for (;;) {
    if (is_rule(f.element)) {
      f.element = layout_rules(f.target, f.element, f.spans, f.H, &f.y, f.flags);
      f.used_height = f.y;
      *f.offset = 0;
    } else if (is_float(f.element) && f.y < f.H) {
      f.element = place_floats(f.target, f.element, f.spans, f.H, f.y, f.flags);
      if (is_float(f.element)) {
        f.stop = true;
        return;
      }
    } else {
      return;
    }
  }
}

// Measures the line at row y; a line that fits nothing in the full width
// never will, and stops the flow.
void measure_next_line(Flow& f) {
  f.avail = span_width(f.spans, f.y);
  f.line = measure(f.job, f.target, f.element, *f.offset, f.avail);
  if (!is_table_or_row(f.element) && f.avail == f.W && f.line.units == 0) f.stop = true;
}

// Used height: the bottom of the last line, or of a float reaching lower;
// used width: the widest line, float or table placed.
void used_extent(const Flow& f, int* width, int* height) {
  const RowSpans& spans = f.spans;
  int used_height = f.used_height;
  int row = f.H - 1;
  // Rows never stored are untouched: start at the last stored row.
  if (row > used_height) row = std::max(used_height, std::min(row, spans.stored() - 1));
  while (row > used_height && spans[row].left == 0 && spans[row].right == f.W) row--;
  if (row != used_height) used_height = row + 1;
  used_height -= 1;

  int used_width = std::min(f.used_width, f.W);
  for (int r = 0; r <= used_height && r < f.H; r++) {
    if (spans[r].left != 0) used_width = std::max(used_width, spans[r].left);
    if (spans[r].right != f.W) {
      used_width = f.W;
      break;
    }
  }
  *width = used_width;
  *height = used_height;
}

pdoc_element* flow(LayoutJob& job, RenderTarget* target, int* width, int* height, pdoc_element* element, int* offset,
                   int flags) {
  const int W = *width ? *width : page_width(target);
  const int H = *height ? *height : page_height(target);
  if (W <= 0 || H <= 0) return nullptr;
  Flow f(job, target, W, H, element, offset, flags);

  open_flow(f);
  while (f.element && !f.stop && f.y < f.H && f.y + f.line.height <= f.H) {
    int narrowest = min_span(f.spans, f.y, f.line.height);
    if (narrowest < f.line.width) {
      f.avail = narrowest;
      f.line = measure(f.job, f.target, f.element, *f.offset, f.avail);
    }

    if (f.line.units > 0)
      place_line(f);
    else
      place_no_line(f);

    if (f.element && !f.stop) {
      place_rules_and_floats(f);
      if (f.element && !f.stop && f.y < f.H) measure_next_line(f);
    }
    f.flags &= ~LAYOUT_PAGE_TOP;
  }

  used_extent(f, width, height);
  return f.element;
}

}  // namespace

pdoc_element* layout_flow(LayoutJob& job, RenderTarget* target, int* width, int* height, pdoc_element* element,
                          int* offset, int flags) {
  try {
    return flow(job, target, width, height, element, offset, flags);
  } catch (const std::bad_alloc&) {
    // The span map of a huge rectangle could not be stored: nothing of the
    // sequence is shown.
    if (!(flags & LAYOUT_MEASURE)) note_left_out(count_shown(element));
    return nullptr;
  }
}
