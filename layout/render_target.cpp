// Render targets over a device context; see render_target.h.
#include "layout/render_target.h"

#include <strings.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <new>

#include "image/imgfilter.h"
#include "layout/dib_block.h"
#include "support/qelstring.h"

namespace {

RenderTarget* subtarget_op(RenderTarget* t, int x0, int y0, int x1, int y1);
void destroy_op(RenderTarget* t);
int get_resolution_op(RenderTarget* t);
int set_resolution_op(RenderTarget* t, int dpi);
int select_font_op(RenderTarget* t, const char* face, int points, int style, RtColor color, RtColor second_color);
int font_height_op(RenderTarget* t);
int font_ascent_op(RenderTarget* t);
int font_descent_op(RenderTarget* t);
int draw_text_op(RenderTarget* t, int x, int y, const char* text, int length, RtSize* size);
int measure_text_op(RenderTarget* t, const char* text, int length, RtSize* size);
int set_pen_op(RenderTarget* t, RtColor color, int width);
int draw_line_op(RenderTarget* t, int x0, int y0, int x1, int y1);
int draw_rect_op(RenderTarget* t, int x0, int y0, int x1, int y1);
int fill_rect_op(RenderTarget* t, int x0, int y0, int x1, int y1, RtColor color);
int draw_bevel_rect_op(RenderTarget* t, int x0, int y0, int x1, int y1, RtColor first, RtColor second);
int draw_image_op(RenderTarget* t, imgfilter* image, int x, int y, int width, int height);

// The object of a kind selected in the context, read by swapping a stock
// object in and the previous one straight back.
DcObject current_object(DeviceContext* dc, DcStockObject stock) {
  DcObject previous = dc->select_object(dc->stock_object(stock));
  if (previous) dc->select_object(previous);
  return previous;
}

RenderTarget* make_target(DeviceContext* dc, int left, int top, int right, int bottom) {
  try {
    auto t = std::make_unique<RenderTarget>();
    auto gdi = std::make_unique<RenderTargetGdi>();
    t->version = RT_VERSION;
    t->left = left;
    t->top = top;
    t->right = right;
    t->bottom = bottom;
    gdi->dc = dc;
    gdi->entry_font = current_object(dc, DcStockObject::SystemFont);
    t->create_subtarget = subtarget_op;
    t->destroy = destroy_op;
    t->get_resolution = get_resolution_op;
    t->set_resolution = set_resolution_op;
    t->select_font = select_font_op;
    t->font_height = font_height_op;
    t->font_ascent = font_ascent_op;
    t->font_descent = font_descent_op;
    t->draw_text = draw_text_op;
    t->measure_text = measure_text_op;
    t->set_pen = set_pen_op;
    t->draw_line = draw_line_op;
    t->draw_rect = draw_rect_op;
    t->fill_rect = fill_rect_op;
    t->draw_bevel_rect = draw_bevel_rect_op;
    t->draw_image = draw_image_op;
    t->gdi = gdi.release();
    return t.release();
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

RenderTarget* subtarget_op(RenderTarget* t, int x0, int y0, int x1, int y1) {
  if (!t || x1 < x0 || y1 < y0) return nullptr;
  RenderTarget* child = make_target(t->gdi->dc, x0 + t->left, y0 + t->top, x1 + t->left, y1 + t->top);
  if (!child) return nullptr;
  child->gdi->forced_dpi = t->gdi->forced_dpi;
  // The child draws with the parent's font until its first select_font, but
  // that font stays the parent's: the child never deletes it.
  child->gdi->font = child->gdi->entry_font;
  child->gdi->owns_font = false;
  return child;
}

void destroy_op(RenderTarget* t) {
  if (!t) return;
  std::unique_ptr<RenderTarget> record(t);
  std::unique_ptr<RenderTargetGdi> gdi(t->gdi);
  DeviceContext* dc = gdi->dc;
  // Put back what was selected before this target changed it, then delete
  // only what this target created.
  if (gdi->owns_font && gdi->font) {
    if (current_object(dc, DcStockObject::SystemFont) == gdi->font && !dc->select_object(gdi->entry_font))
      dc->select_object(dc->stock_object(DcStockObject::SystemFont));
    dc->delete_object(gdi->font);
  }
  if (gdi->pen) {
    if (current_object(dc, DcStockObject::BlackPen) == gdi->pen && !dc->select_object(gdi->saved_pen))
      dc->select_object(dc->stock_object(DcStockObject::BlackPen));
    dc->delete_object(gdi->pen);
  }
}

int get_resolution_op(RenderTarget* t) {
  if (!t) return 0;
  return t->gdi->forced_dpi ? t->gdi->forced_dpi : t->gdi->dc->logical_dpi_x();
}

int set_resolution_op(RenderTarget* t, int dpi) {
  if (!t) return 0;
  int previous = t->gdi->forced_dpi;
  t->gdi->forced_dpi = dpi > 0 ? dpi : 0;
  t->gdi->size = 0;
  return previous;
}

void apply_colors(RenderTargetGdi* gdi, RtColor color, RtColor second_color) {
  DeviceContext* dc = gdi->dc;
  gdi->text_color = color;
  if (gdi->style & RT_STYLE_OUTLINE) {
    gdi->outline_color = second_color;
    dc->set_bk_mode(DC_TRANSPARENT);
  } else {
    gdi->outline_color = 0;
    if (second_color == RT_NO_COLOR)
      dc->set_bk_mode(DC_TRANSPARENT);
    else
      dc->set_bk_color(second_color);
  }
  if (color != RT_NO_COLOR) dc->set_text_color(color);
}

int select_font_op(RenderTarget* t, const char* face, int points, int style, RtColor color, RtColor second_color) {
  if (!t) return 0;
  RenderTargetGdi* gdi = t->gdi;
  char request[RT_FACE_SIZE];
  qel_strlcpy(request, face ? face : "", sizeof request);
  int result = 1;
  if (gdi->size != 0 && points == gdi->size && style == gdi->style && strcasecmp(request, gdi->face) == 0) {
    // The same request again: keep the font, or the failure, it gave.
    result = gdi->font_failed ? 0 : 1;
  } else {
    qel_strlcpy(gdi->face, request, sizeof gdi->face);
    gdi->size = points;
    gdi->style = style;
    DcFontRequest wanted{};
    qel_strlcpy(wanted.face, request, sizeof wanted.face);
    // A height of 0 would ask the context for its default size, full size
    // at any resolution: at the lowest resolutions of table fitting the text
    // would grow back instead of shrinking. Huge sizes stop at a bound far
    // past any page.
    wanted.height = -std::clamp(rt_points_to_pixels(points, get_resolution_op(t)), 1, RT_MAX_FONT_PIXELS);
    wanted.weight = (style & RT_STYLE_BOLD) ? DC_WEIGHT_BOLD : 0;
    wanted.italic = (style & RT_STYLE_ITALIC) != 0;
    wanted.underline = (style & RT_STYLE_UNDERLINE) != 0;
    DcObject font = gdi->dc->create_font(wanted);
    if (font) {
      gdi->dc->select_object(font);
      if (gdi->owns_font && gdi->font) gdi->dc->delete_object(gdi->font);
      gdi->font = font;
      gdi->owns_font = true;
      gdi->font_failed = false;
    } else {
      gdi->font_failed = true;
      result = 0;
    }
  }
  apply_colors(gdi, color, second_color);
  return result;
}

int font_height_op(RenderTarget* t) {
  if (!t) return 0;
  DcTextMetrics metrics{};
  return t->gdi->dc->text_metrics(&metrics) ? metrics.height : 0;
}

int font_ascent_op(RenderTarget* t) {
  if (!t) return 0;
  DcTextMetrics metrics{};
  return t->gdi->dc->text_metrics(&metrics) ? metrics.ascent : 0;
}

int font_descent_op(RenderTarget* t) {
  if (!t) return 0;
  DcTextMetrics metrics{};
  return t->gdi->dc->text_metrics(&metrics) ? metrics.descent : 0;
}

// The halo: six of the eight neighbours, in this order.
constexpr int kOutlineOffsets[6][2] = {{-1, 0}, {0, -1}, {-1, -1}, {1, 0}, {0, 1}, {1, 1}};

int draw_text_op(RenderTarget* t, int x, int y, const char* text, int length, RtSize* size) {
  if (!t || !text || length < 0) return 0;
  RenderTargetGdi* gdi = t->gdi;
  DeviceContext* dc = gdi->dc;
  const int dx = x + t->left, dy = y + t->top;
  if ((gdi->style & RT_STYLE_OUTLINE) && gdi->outline_color != RT_NO_COLOR) {
    DcColor before = dc->set_text_color(gdi->outline_color);
    for (const auto& offset : kOutlineOffsets) dc->text_out(dx + offset[0], dy + offset[1], text, length);
    // A request without a text colour keeps the colour the context had.
    dc->set_text_color(gdi->text_color != RT_NO_COLOR ? gdi->text_color : before);
  }
  dc->text_out(dx, dy, text, length);
  DcSize extent{};
  dc->text_extent(text, length, &extent);
  if (size) *size = {extent.cx, extent.cy};
  return 1;
}

int measure_text_op(RenderTarget* t, const char* text, int length, RtSize* size) {
  if (!t || !text || length < 0) return 0;
  DcSize extent{};
  if (!t->gdi->dc->text_extent(text, length, &extent)) return 0;
  if (size) *size = {extent.cx, extent.cy};
  return 1;
}

int set_pen_op(RenderTarget* t, RtColor color, int width) {
  if (!t) return 0;
  RenderTargetGdi* gdi = t->gdi;
  DcObject pen = gdi->dc->create_pen(width, color & 0xFFFFFF);
  if (!pen) return 0;
  DcObject previous = gdi->dc->select_object(pen);
  if (!gdi->pen)
    gdi->saved_pen = previous;  // not ours: selected back on destroy, never deleted
  else
    gdi->dc->delete_object(gdi->pen);
  gdi->pen = pen;
  return 1;
}

int draw_line_op(RenderTarget* t, int x0, int y0, int x1, int y1) {
  if (!t) return 0;
  t->gdi->dc->move_to(x0, y0);
  t->gdi->dc->line_to(x1, y1);
  return 1;
}

int draw_rect_op(RenderTarget* t, int x0, int y0, int x1, int y1) {
  if (!t) return 0;
  DeviceContext* dc = t->gdi->dc;
  x0 += t->left, x1 += t->left, y0 += t->top, y1 += t->top;
  dc->move_to(x0, y0);
  dc->line_to(x0, y1);
  dc->line_to(x1, y1);
  dc->line_to(x1, y0);
  dc->line_to(x0, y0);
  return 1;
}

int fill_rect_op(RenderTarget* t, int x0, int y0, int x1, int y1, RtColor color) {
  if (!t) return 0;
  DeviceContext* dc = t->gdi->dc;
  DcObject brush = dc->create_solid_brush(color & 0xFFFFFF);
  if (!brush) return 0;
  dc->fill_rect({x0 + t->left, y0 + t->top, x1 + t->left, y1 + t->top}, brush);
  dc->delete_object(brush);
  return 1;
}

int draw_bevel_rect_op(RenderTarget* t, int x0, int y0, int x1, int y1, RtColor first, RtColor second) {
  if (!t) return 0;
  DeviceContext* dc = t->gdi->dc;
  DcObject first_pen = dc->create_pen(1, first & 0xFFFFFF);
  DcObject second_pen = dc->create_pen(1, second & 0xFFFFFF);
  if (!first_pen || !second_pen) {
    if (first_pen) dc->delete_object(first_pen);
    if (second_pen) dc->delete_object(second_pen);
    return 0;
  }
  x0 += t->left, x1 += t->left, y0 += t->top, y1 += t->top;
  DcObject previous = dc->select_object(first_pen);
  dc->move_to(x0, y1);
  dc->line_to(x0, y0);
  dc->line_to(x1, y0);
  dc->select_object(second_pen);
  dc->line_to(x1, y1);
  dc->line_to(x0 - 1, y1);  // one past the corner, so (x0, y1) is painted
  dc->select_object(previous);
  dc->delete_object(first_pen);
  dc->delete_object(second_pen);
  return 1;
}

int draw_image_op(RenderTarget* t, imgfilter* image, int x, int y, int width, int height) {
  if (!t || !image) return 0;
  DibBlock dib;
  if (!write_dib_block(image, &dib)) return 0;
  int image_width = 0, image_height = 0;
  imf_get_size(image, &image_width, &image_height);
  DeviceContext* dc = t->gdi->dc;
  dc->set_stretch_mode(DC_COLORONCOLOR);
  // The colour table follows the header inside the block, which stays alive.
  dc->stretch_dib(x + t->left, y + t->top, width, height, 0, 0, image_width, image_height, dib.bits(), dib.bits_size(),
                  dib.header());
  return 1;
}

}  // namespace

RenderTarget* rt_create(DeviceContext* dc, const RtRect& rect, int32_t version) {
  if (!dc || rect.right < rect.left || rect.bottom < rect.top || version != RT_VERSION) return nullptr;
  return make_target(dc, rect.left, rect.top, rect.right, rect.bottom);
}

int page_width(const RenderTarget* t) {
  return t ? t->right - t->left + 1 : 0;
}
int page_height(const RenderTarget* t) {
  return t ? t->bottom - t->top + 1 : 0;
}

int rt_points_to_pixels(int points, int dpi) {
  const int64_t product = static_cast<int64_t>(points) * dpi;
  const int64_t rounded = product >= 0 ? (product + 36) / 72 : (product - 36) / 72;
  return static_cast<int>(rounded);
}

RtColors rt_save_colors(const RenderTarget* t) {
  const DeviceContext* dc = t->gdi->dc;
  return {dc->get_text_color(), dc->get_bk_color(), dc->get_bk_mode()};
}

void rt_restore_colors(RenderTarget* t, const RtColors& colors) {
  DeviceContext* dc = t->gdi->dc;
  if (dc->get_text_color() != colors.text_color) dc->set_text_color(colors.text_color);
  if (dc->get_bk_color() != colors.bk_color) dc->set_bk_color(colors.bk_color);
  if (dc->get_bk_mode() != colors.bk_mode) dc->set_bk_mode(colors.bk_mode);
}

RtDrawingState rt_save_state(const RenderTarget* t) {
  const RenderTargetGdi* gdi = t->gdi;
  RtDrawingState state;
  state.colors = rt_save_colors(t);
  state.font = gdi->font;
  qel_strlcpy(state.face, gdi->face, sizeof state.face);
  state.size = gdi->size;
  state.style = gdi->style;
  state.text_color = gdi->text_color;
  state.outline_color = gdi->outline_color;
  return state;
}

void rt_restore_state(RenderTarget* t, const RtDrawingState& state, bool with_font) {
  if (with_font) {
    t->select_font(t, state.face, state.size, state.style, state.text_color, RT_NO_COLOR);
    t->gdi->outline_color = state.outline_color;
  }
  rt_restore_colors(t, state.colors);
}

bool rt_font_changed(const RtDrawingState& a, const RtDrawingState& b) {
  return a.font != b.font || a.size != b.size;
}

const void* rt_surface(const RenderTarget* t) {
  return t->gdi->dc;
}
