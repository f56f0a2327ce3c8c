// Fonts, word fitting and line measurement; see fonts.h.
#include "layout/fonts.h"

#include "layout/layout_limits.h"
#include "layout/paint.h"
#include "layout/trace.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>

namespace {

bool is_c_space(unsigned char c) {
  return std::isspace(c) != 0;
}

bool is_text(const pdoc_element* e) {
  return e && e->type == ELE_TEXT;
}

bool is_line_start_run(const pdoc_element* e) {
  return is_text(e) && (e->tag == PDOC_TAG_BR || e->tag == PDOC_TAG_P || e->tag == PDOC_TAG_CENTER);
}

pdoc_element* next_element(pdoc_element* e) {
  if (e->next) return e->next;
  return e->parent ? e->parent->next : nullptr;
}

}  // namespace

int scale(RenderTarget* t, int v) {
  const int64_t scaled = static_cast<int64_t>(v) * t->get_resolution(t) / 96;
  return static_cast<int>(std::clamp<int64_t>(scaled, INT32_MIN, INT32_MAX));
}

int scaled_length(RenderTarget* t, int v) {
  return document_length(scale(t, v));
}

int size_code_points(int code) {
  static constexpr int kPoints[8] = {7, 8, 10, 12, 14, 18, 24, 36};
  if (code == 0) return 12;
  if (code >= 1 && code <= 7) return kPoints[code];
  if (code > 7) return code > 100000 ? 500000 : code * 5;  // keeps the product in range
  return kPoints[std::max(0, code + 3)];
}

void select_element_font(LayoutJob& job, RenderTarget* t, const pdoc_element* element) {
  if (!t || !element) return;
  const pdoc_style& style = element->style;
  const int points = size_code_points(style.size);
  const bool fallback = style.face[0] == '\0';
  const char* face = fallback ? "times" : style.face;
  // Text without a colour of its own is black. Were it left to the target,
  // it would take the colour of whatever text the context drew last, and
  // since a line's fonts are all selected to measure it before it is drawn,
  // even the colour of text further along.
  const RtColor color = style.color == -1 ? PAINT_BLACK : static_cast<RtColor>(style.color);
  if (t->select_font(t, face, points, style.flags, color, static_cast<RtColor>(style.outline_color))) return;
  if (!fallback)
    layout_trace(job, "Error locating font %s with b: %d, i: %d size: %d, DPI:%d\n", face, style.flags & 1,
                 style.flags & 2, points, t->get_resolution(t));
  else
    layout_trace(job, "Error locating font %s with b: %d, i: %d, size: %d, DPI:%d\n", face, style.flags & 1,
                 style.flags & 2, points, t->get_resolution(t));
}

bool is_blank(int byte) {
  return byte == '\t' || byte == '\n' || byte == '\r' || byte == ' ';
}

int word_length(const char* text, int n) {
  int i = 0;
  while (i < n && !is_c_space(static_cast<unsigned char>(text[i]))) ++i;
  return i;
}

int last_break(const char* text, int n) {
  for (int i = n; i > 0; --i)
    if (is_blank(static_cast<unsigned char>(text[i - 1]))) return i;
  return 0;
}

int fit_text(RenderTarget* t, const char* text, int length, int max_width, RtSize* size, int* widest) {
  if (!t || !text || length <= 0) {
    if (size) *size = {0, t ? t->font_height(t) : 0};
    return 0;
  }
  int width = 0, consumed = 0, wide = widest ? *widest : 0;
  const int height = t->font_height(t);
  RtSize measured{};
  t->measure_text(t, " ", 1, &measured);
  const int space = measured.width;
  while (consumed < length) {
    auto c = static_cast<unsigned char>(text[consumed]);
    int w, step;
    if (!is_c_space(c)) {
      step = word_length(text + consumed, length - consumed);
      t->measure_text(t, text + consumed, step, &measured);
      w = measured.width;
    } else if (c == '\n' || c == '\r') {
      if (consumed == 0) {
        if (widest) *widest = 0;
        if (size) *size = {0, height};
        return 1;
      }
      break;
    } else {
      w = space;
      step = 1;
    }
    if (max_width != -1 && int64_t{width} + w > max_width) break;
    wide = std::max(wide, w);
    width = add_lengths(width, w);
    consumed += step;
  }
  while (consumed < length && (text[consumed] == ' ' || text[consumed] == '\t')) ++consumed;
  if (size) *size = {width, height};
  if (widest) *widest = wide;
  return consumed;
}

bool starts_with_break(const pdoc_element* e) {
  while (true) {
    if (!e) return true;
    if (e->type == ELE_TEXT) {
      if (e->data && e->data_len > 0) return is_blank(static_cast<unsigned char>(e->data[0]));
      if (e->tag == PDOC_TAG_P || e->tag == PDOC_TAG_BR) return true;
      e = e->next;
      continue;
    }
    return !(e->type == ELE_IMAGE || e->type == ELE_HRULE);
  }
}

namespace {

bool is_inline(const pdoc_element* e) {
  return e->type == ELE_TEXT || e->type == ELE_IMAGE || e->type == ELE_HRULE;
}

// What a line has taken so far, and the last point where it may break.
struct LineTally {
  bool limited = false;
  int remaining = 0;
  int units = 0, width = 0, ascent = 0, descent = 0, stretch = 0, wide = 0;
  struct {
    int units = 0, width = 0, ascent = 0, descent = 0;
  } rec;

  void record() { rec = {units, width, ascent, descent}; }
  // Takes k bytes of text measured as s with the font's descent fd.
  void add_text(int k, const RtSize& s, int fd) {
    units += k;
    width = add_lengths(width, s.width);
    ascent = std::max(ascent, s.height - fd);
    descent = std::max(descent, fd);
    if (limited) remaining -= s.width;
  }
};

// Adds what fits of the text run e from offset; answers whether the line
// ends inside it.
bool tally_text(LayoutJob& job, RenderTarget* t, pdoc_element* e, int offset, LineTally& line) {
  select_element_font(job, t, e);
  int n = e->data ? e->data_len - offset : 0;
  const char* text = e->data;
  while (n > 0) {
    RtSize s{};
    int w = 0;
    int k = fit_text(t, text + offset, n, line.limited ? line.remaining : -1, &s, &w);
    const int fd = t->font_descent(t);
    if (k == n && text[offset] != '\n') {
      int j = last_break(text + offset, n);
      if (j == 0) {
        line.add_text(k, s, fd);
        line.stretch = add_lengths(line.stretch, w);
        n = 0;
      } else {
        if (j != n) {
          w = 0;
          k = fit_text(t, text + offset, j, line.limited ? line.remaining : -1, &s, &w);
        }
        line.add_text(k, s, fd);
        line.record();
        line.wide = std::max(line.wide, add_lengths(line.stretch, w));
        line.stretch = 0;
        n -= j;
        offset += j;
      }
    } else {
      if (k > 0) {
        line.add_text(k, s, fd);
        line.stretch = add_lengths(line.stretch, w);
        line.record();
      }
      return true;
    }
  }
  return false;
}

}  // namespace

int measure_line(LayoutJob& job, RenderTarget* t, pdoc_element* element, int offset, int available, RtSize* size,
                 int* descent_out, int* widest) {
  if (size) *size = {0, 0};
  if (descent_out) *descent_out = 0;
  if (!t || !element) return 0;
  if (is_text(element) && element->tag == PDOC_TAG_BR) {
    if (size) *size = {0, t->font_height(t)};
    return 1;
  }
  if (element->type == ELE_HRULE) {
    if (size)
      *size = {std::max(3, scaled_length(t, element->rule.width)), scaled_length(t, element->rule.size) + scale(t, 14)};
    return 1;
  }
  LineTally line;
  line.limited = available != -1;
  line.remaining = available;
  line.wide = widest ? *widest : 0;
  pdoc_element* e = element;
  while (e && is_inline(e)) {
    if (e->type == ELE_IMAGE) {
      if (e->image.align) {
        line.record();
        break;
      }
      RtSize box{};
      image_box(t, e, &box.width, &box.height);
      if (line.limited && box.width > line.remaining) break;
      line.units += 1;
      line.width = add_lengths(line.width, box.width);
      line.stretch = line.width;
      line.wide = std::max(line.wide, line.stretch);
      line.ascent = std::max(line.ascent, box.height);
      if (line.limited) line.remaining -= box.width;
      if (starts_with_break(e->next)) line.record();
    } else if (e->type == ELE_HRULE) {
      line.record();
      break;
    } else if (tally_text(job, t, e, offset, line)) {
      break;
    }
    if (line.limited && line.remaining < 0) break;
    pdoc_element* next = e->next;
    offset = 0;
    if (!next || is_line_start_run(next) || !is_inline(next)) {
      line.record();
      break;
    }
    e = next;
  }
  if (e && !is_inline(e)) line.record();
  line.wide = std::max(line.wide, line.stretch);
  if (widest) *widest = line.wide;
  if (size) *size = {line.rec.width, line.rec.ascent + line.rec.descent};
  if (descent_out) *descent_out = line.rec.descent;
  return line.rec.units;
}

pdoc_element* advance_units(pdoc_element* element, int units, int* offset) {
  int start = offset ? *offset : 0;
  int pos = 0;
  if (element && units == 1 && is_text(element) && element->tag == PDOC_TAG_BR) {
    element = next_element(element);
    units = 0;
  }
  while (units > 0) {
    if (!element) {
      if (offset) *offset = 0;
      return nullptr;
    }
    if (element->type == ELE_TEXT) {
      if (element->data && element->data_len > 0) {
        int rest = element->data_len - start;
        if (units < rest) {
          pos = start + units;
          if (offset) *offset = pos;
          return element;
        }
        units -= rest;
      }
    } else if (element->type == ELE_IMAGE || element->type == ELE_HRULE) {
      units -= 1;
    } else {
      break;
    }
    element = next_element(element);
    start = 0;
  }
  if (offset) *offset = pos;
  return element;
}

int char_at(const pdoc_element* element, int offset) {
  if (!element || element->type != ELE_TEXT || !element->data || offset < 0 || offset >= element->data_len) return 0;
  return static_cast<unsigned char>(element->data[offset]);
}

void skip_break_char(pdoc_element** element, int* offset) {
  int c = char_at(*element, *offset);
  if (c == '\r' || c == '\n' || c == ' ') *element = advance_units(*element, 1, offset);
}
