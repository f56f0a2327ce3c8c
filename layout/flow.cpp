// The flow of one sibling sequence: lines, floats, rules and tables placed
// from the top of the target down, drawn as they are placed unless measuring.
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

bool is_rule(const pdoc_element* e) { return e && e->type == ELE_HRULE; }

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

pdoc_element* place_floats(RenderTarget* target, pdoc_element* element, RowSpans& spans, int H,
                           int y, int flags) {
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
      if (!(flags & LAYOUT_MEASURE))
        draw_image_box(target, element, right ? right_edge - w : left_edge, row);
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

pdoc_element* layout_rules(RenderTarget* target, pdoc_element* element, RowSpans&, int,
                           int* y, int flags) {
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
    if (!(flags & LAYOUT_MEASURE))
      paint_rule(target, x0, *y, x0 + width, s1, rule.size, rule.noshade != 0);
    *y = add_lengths(*y, add_lengths(s, gap));
    element = element->next;
  }
  return element;
}

namespace {

pdoc_element* flow(LayoutJob& job, RenderTarget* target, int* width, int* height, pdoc_element* element,
                   int* offset, int flags) {
  const int W = *width ? *width : page_width(target);
  const int H = *height ? *height : page_height(target);
  if (W <= 0 || H <= 0) return nullptr;
  RowSpans spans(H, W);

  int y = 0, used_width = 0, used_height = 0;
  bool stop = false;

  element = place_floats(target, element, spans, H, y, flags);
  if (is_float(element)) stop = true;
  if (element != nullptr && is_rule(element)) {
    // A flow that opens with rules lays them out and goes on with what
    // follows them, as after rules met later; the rules themselves are the
    // progress a page makes when nothing else fits.
    element = layout_rules(target, element, spans, H, &y, flags);
    used_height = y;
    *offset = 0;
    element = place_floats(target, element, spans, H, std::min(y, H), flags);
    if (is_float(element)) stop = true;
  }

  int avail = y < H ? span_width(spans, y) : 0;
  Line line;
  if (y < H && element && !is_table_or_row(element))
    line = measure(job, target, element, *offset, avail);

  while (element && !stop && y < H && y + line.height <= H) {
    int m = min_span(spans, y, line.height);
    if (m < line.width) {
      avail = m;
      line = measure(job, target, element, *offset, avail);
    }

    if (line.units > 0) {
      const pdoc_element* line_start = element;
      if (line.width > 0) {
        int align = effective_align(element);
        int L = spans[y].left;
        int x = L;
        if (align == ALIGN_RIGHT)
          x = L + avail - line.width;
        else if (align == ALIGN_CENTER)
          x = L + (avail - line.width) / 2;
        if (!(flags & LAYOUT_MEASURE))
          paint_line(job, target, x, y, line.height, line.descent, element, *offset, line.units);
        used_width = std::max(used_width, x + line.width);
        used_height = y + line.height;
        element = advance_units(element, line.units, offset);
        skip_break_char(&element, offset);
      } else {
        line.height = target->font_height(target);
        used_height = y + line.height;
        element = advance_units(element, line.units, offset);
      }
      // Blank line above a paragraph: only when the line ran up to it, not
      // after every wrapped line inside the paragraph itself.
      if (is_p_run(element) && element != line_start) line.height += target->font_height(target);
      // Consecutive lines share one pixel row; a line without height (a
      // picture 0 pixels high) must not move the cursor back up.
      y += std::max(line.height - 1, 0);
    } else {
      while (element && element->type == ELE_TEXT && element->data_len <= 0) {
        element = element->next;
        *offset = 0;
      }
      if (element && !is_table_or_row(element)) {
        y += 1;  // retry one row lower, where a float may have ended
      } else if (element) {
        pdoc_element* table = element;
        int start_row = 0;
        if (element->type == ELE_ROW) {
          table = row_table(element);
          start_row = table ? table_row_index(table, element) : -1;
          if (!table || start_row < 0) {
            // A row outside any table cannot be placed; leave it to the
            // caller's skip.
            stop = true;
            break;
          }
        }
        int top = y;
        int table_width = 0;
        TableResult result = layout_table(job, target, &y, &table_width, table, start_row, flags);
        if (result.outcome == TABLE_DONE) {
          if (y < H) {
            used_height = y + 1;
          } else {
            used_height = H - 1;
            y = H - 1;
          }
          for (int i = std::max(top, 0); i < y && i < H; i++) spans.at(i).left = table_width;
          y += 1;
          element = table->next;
          *offset = 0;
        } else {
          stop = true;
          layout_trace(job, "Table can't fit: %s from line:%d,%d\n", table->name, table->line, table->col);
          // A table that cannot be laid out ends its sequence: it and what
          // follows it are not shown.
          if (result.outcome == TABLE_FAILED && !(flags & LAYOUT_MEASURE))
            note_left_out(1 + count_shown(table->next));
          element = result.element;
          *offset = 0;
        }
      }
    }

    if (element && !stop) {
      // Rules and floats may follow each other in any order here; each run
      // of rules is laid out before the next line is measured.
      for (;;) {
        if (is_rule(element)) {
          element = layout_rules(target, element, spans, H, &y, flags);
          used_height = y;
          *offset = 0;
        } else if (is_float(element) && y < H) {
          element = place_floats(target, element, spans, H, y, flags);
          if (is_float(element)) {
            stop = true;
            break;
          }
        } else {
          break;
        }
      }
      if (element && !stop && y < H) {
        avail = span_width(spans, y);
        line = measure(job, target, element, *offset, avail);
        if (!is_table_or_row(element) && avail == W && line.units == 0) stop = true;
      }
    }
    flags &= ~LAYOUT_PAGE_TOP;
  }

  // Used height: the bottom of the last line, or of a float reaching lower.
  int i = H - 1;
  // Rows never stored are untouched: start at the last stored row.
  if (i > used_height) i = std::max(used_height, std::min(i, spans.stored() - 1));
  while (i > used_height && spans[i].left == 0 && spans[i].right == W) i--;
  if (i != used_height) used_height = i + 1;
  used_height -= 1;

  used_width = std::min(used_width, W);
  for (int r = 0; r <= used_height && r < H; r++) {
    if (spans[r].left != 0) used_width = std::max(used_width, spans[r].left);
    if (spans[r].right != W) {
      used_width = W;
      break;
    }
  }
  *width = used_width;
  *height = used_height;
  return element;
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
