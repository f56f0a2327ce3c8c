// Drawing of placed lines, pictures, rules, cell backgrounds and frames
// through the render target's operations.
#include "layout/paint.h"

#include "layout/fonts.h"
#include "layout/layout_limits.h"
#include "layout/render_target.h"

int image_border(RenderTarget* target, const pdoc_element* image) {
  // A negative border is no border, like none at all.
  int border = image->image.border;
  if (border <= 0) return 0;
  int b = scaled_length(target, border);
  return b > 0 ? b : 1;
}

// The frame is drawn image_border pixels thick on every side, so the box
// reserves twice that even when the border scales below one pixel; lines
// are measured with this same box, so they are as wide as they are drawn.
void image_box(RenderTarget* target, const pdoc_element* image, int* width, int* height) {
  int b2 = 2 * image_border(target, image);
  *width = scaled_length(target, image->image.width) + b2;
  *height = scaled_length(target, image->image.height) + b2;
}

void paint_line(LayoutJob& job, RenderTarget* target, int x, int y, int line_height, int descent, pdoc_element* element,
                int offset, int units) {
  int baseline = y + (line_height - descent);
  while (element && units > 0) {
    if (element->type == ELE_TEXT) {
      if (element->data && element->data_len > offset) {
        select_element_font(job, target, element);
        int n = element->data_len - offset;
        if (units < n) n = units;
        RtSize drawn{};
        target->draw_text(target, x, baseline - target->font_ascent(target), element->data + offset, n, &drawn);
        x += drawn.width;
        units -= n;
      }
    } else if (element->type == ELE_IMAGE && element->image.align == 0) {
      int w = 0, h = 0;
      image_box(target, element, &w, &h);
      draw_image_box(target, element, x, baseline - h);
      x += w;
      units -= 1;
    } else if (element->type == ELE_HRULE) {
      units -= 1;  // rules are drawn by the rule step of the flow
    } else {
      break;
    }
    element = element->next;
    offset = 0;
  }
}

void draw_image_box(RenderTarget* target, const pdoc_element* image, int x, int y) {
  int b = image_border(target, image);
  int w = scaled_length(target, image->image.width);
  int h = scaled_length(target, image->image.height);
  draw_image_file(target, image->image.src, x + b, y + b, w, h);
  draw_bevel(target, x, y, w, h, b, bevel_flat(PAINT_BLACK));
}

void draw_bevel(RenderTarget* target, int x, int y, int w, int h, int n, BevelStyle style) {
  // A frame from the document may be far thicker than the target; rings
  // with no edge on it are not drawn at all.
  const int pw = page_width(target), ph = page_height(target);
  auto on = [](int64_t v, int size) { return v >= 0 && v < size; };
  for (int i = 0; i < n; i++) {
    const int64_t x0 = int64_t{x} + i, y0 = int64_t{y} + i;
    const int64_t x1 = int64_t{x} + w + 2 * int64_t{n} - 1 - i;
    const int64_t y1 = int64_t{y} + h + 2 * int64_t{n} - 1 - i;
    if (!on(x0, pw) && !on(x1, pw) && !on(y0, ph) && !on(y1, ph)) continue;
    target->draw_bevel_rect(target, clamp_length(x0), clamp_length(y0), clamp_length(x1), clamp_length(y1),
                            style.top_left, style.bottom_right);
  }
}

void paint_rule(RenderTarget* target, int x0, int y, int x1, int bar, int size, bool noshade) {
  if (bar < 0) bar = 0;
  if (noshade) {
    target->fill_rect(target, x0, y, x1, y + bar, PAINT_BLACK);
  } else {
    // draw_line works in device coordinates; the others add the origin.
    int dx = target->left, dy = target->top;
    target->set_pen(target, PAINT_GREY, 1);
    target->draw_line(target, dx + x0, dy + y, dx + x1, dy + y);
    if (size > 1) {
      target->draw_line(target, dx + x0, dy + y, dx + x0, dy + y + bar);
      target->set_pen(target, PAINT_LIGHT, 1);
      target->draw_line(target, dx + x0, dy + y + bar, dx + x1, dy + y + bar);
      target->draw_line(target, dx + x1, dy + y, dx + x1, dy + y + bar);
    }
  }
  target->set_pen(target, PAINT_BLACK, 1);
}

void paint_cell_background(RenderTarget* target, int x, int y, int w, int h, int32_t colour) {
  target->fill_rect(target, x, y, x + w + 1, y + h + 1, colour);
}
