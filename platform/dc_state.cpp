// State shared by the drawing contexts; see dc_state.h.
#include "platform/dc_state.h"

#include <algorithm>
#include <climits>
#include <utility>

DcRect dc_intersect(const DcRect& a, const DcRect& b) {
  DcRect r{std::max(a.left, b.left), std::max(a.top, b.top), std::min(a.right, b.right), std::min(a.bottom, b.bottom)};
  if (r.right < r.left) r.right = r.left;
  if (r.bottom < r.top) r.bottom = r.top;
  return r;
}

DcRect dc_box(int64_t x, int64_t y, int64_t w, int64_t h) {
  auto held = [](int64_t v) { return static_cast<int>(std::clamp<int64_t>(v, INT_MIN, INT_MAX)); };
  return {held(x), held(y), held(x + w), held(y + h)};
}

DcState::DcState(int width, int height, int dpi)
    : width_(width),
      height_(height),
      dpi_(dpi),
      // The stock font is realised when text first uses it: most drawing
      // selects its own fonts, and matching one costs milliseconds.
      objects_(dc_stock_font_request(), nullptr),
      fonts_(dpi),
      clip_{0, 0, width, height} {}

DcObject DcState::create_font(const DcFontRequest& wanted) {
  const DcFontRequest stored = dc_stored_request(wanted);
  std::shared_ptr<const DcFont> font = fonts_.realise(stored);
  if (!font) return 0;
  ++fonts_created_;
  return objects_.add_font(stored, std::move(font));
}

DcObject DcState::create_pen(int width, DcColor color) {
  return objects_.add_pen(std::max(width, 1), color & 0xFFFFFF);
}

DcObject DcState::create_solid_brush(DcColor color) {
  return objects_.add_brush(color & 0xFFFFFF);
}

const DcFont& DcState::selected_font() {
  const DcObjectEntry& entry = objects_.selected_entry(DcObjectKind::Font);
  if (!entry.font_data) objects_.set_font_data(objects_.selected(DcObjectKind::Font), dc_stock_font(dpi_));
  return static_cast<const DcFont&>(*entry.font_data);
}

bool DcState::text_metrics(DcTextMetrics* metrics) {
  const DcFont& font = selected_font();
  metrics->ascent = font.ascent;
  metrics->descent = font.descent;
  metrics->height = font.ascent + font.descent;
  return true;
}

bool DcState::text_extent(const char* text, int length, DcSize* size) {
  if (!text || length < 0 || !size) return false;
  const DcFont& font = selected_font();
  size->cx = font.width(text, length);
  size->cy = font.ascent + font.descent;
  return true;
}

DcColor DcState::set_text_color(DcColor color) {
  return std::exchange(text_color_, color & 0xFFFFFF);
}
DcColor DcState::set_bk_color(DcColor color) {
  return std::exchange(bk_color_, color & 0xFFFFFF);
}

int DcState::set_bk_mode(int mode) {
  if (mode != DC_TRANSPARENT && mode != DC_OPAQUE) return 0;
  return std::exchange(bk_mode_, mode);
}

bool DcState::move_to(int x, int y) {
  current_x_ = x;
  current_y_ = y;
  return true;
}

bool DcState::fill_rect(const DcRect& rect, DcObject brush) {
  const DcObjectEntry* entry = objects_.find(brush);
  if (!entry || entry->kind != DcObjectKind::Brush) return false;
  fill_pixels(rect, entry->color);
  return true;
}

bool DcState::open_stretch(int dest_x, int dest_y, int dest_width, int dest_height, int src_x, int src_y, int src_width,
                           int src_height, const void* bits, size_t bits_size, const DcBitmapInfoHeader* info,
                           DibReader* reader, DcRect* visible) const {
  if (dest_width <= 0 || dest_height <= 0 ||
      !dib_reader_open(bits, bits_size, info, src_x, src_y, src_width, src_height, reader))
    return false;
  *visible = dc_intersect(dc_box(dest_x, dest_y, dest_width, dest_height), clip_);
  return true;
}

int DcState::set_stretch_mode(int mode) {
  if (mode < DC_BLACKONWHITE || mode > DC_COLORONCOLOR) return 0;
  return std::exchange(stretch_mode_, mode);
}

int DcState::save_dc() {
  saved_clips_.push_back(clip_);
  return static_cast<int>(saved_clips_.size());
}

bool DcState::restore_dc(int level) {
  const int depth = static_cast<int>(saved_clips_.size());
  if (level < 0) level = depth + 1 + level;  // -1 is the last save
  if (level < 1 || level > depth) return false;
  clip_ = saved_clips_[level - 1];
  saved_clips_.resize(level - 1);
  clip_changed();
  return true;
}

bool DcState::intersect_clip_rect(const DcRect& rect) {
  clip_ = dc_intersect(clip_, rect);
  clip_changed();
  return true;
}
