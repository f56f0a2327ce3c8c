// Recording device context for tests; see dc_recording.h.
#include "platform/dc_recording.h"

#include <cctype>
#include <cstdio>
#include <utility>

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string hex_color(DcColor color) {
  char buffer[16];
  snprintf(buffer, sizeof buffer, "0x%06x", color & 0xFFFFFF);
  return buffer;
}

std::string format(const char* pattern, long a, long b, long c = 0, long d = 0) {
  char buffer[128];
  snprintf(buffer, sizeof buffer, pattern, a, b, c, d);
  return buffer;
}

}  // namespace

RecordingDc::RecordingDc(int dpi, int width, int height, RecordingMetrics metrics)
    : dpi_(dpi > 0 ? dpi : 96),
      width_(width),
      height_(height),
      metrics_(metrics),
      objects_(dc_stock_font_request(), nullptr) {}

void RecordingDc::refuse_face(const std::string& face) {
  refused_faces_.insert(lower(face));
}

DcObject RecordingDc::create_font(const DcFontRequest& wanted) {
  DcFontRequest stored = wanted;
  stored.face[DC_FACE_SIZE - 1] = '\0';
  char line[160];
  snprintf(line, sizeof line, "create_font(%s,%d,%d,%d,%d)", stored.face, stored.height,
           stored.weight ? stored.weight : DC_WEIGHT_NORMAL, stored.italic ? 1 : 0, stored.underline ? 1 : 0);
  if (refused_faces_.count(lower(stored.face))) {
    record([&] { return std::string(line) + "=0"; });
    return 0;
  }
  DcObject font = objects_.add_font(stored, nullptr);
  ++fonts_created_;
  record([&] { return std::string(line) + "=" + std::to_string(font); });
  return font;
}

DcObject RecordingDc::create_pen(int width, DcColor color) {
  DcObject pen = objects_.add_pen(width, color & 0xFFFFFF);
  record([&] { return "create_pen(" + std::to_string(width) + "," + hex_color(color) + ")=" + std::to_string(pen); });
  return pen;
}

DcObject RecordingDc::create_solid_brush(DcColor color) {
  DcObject brush = objects_.add_brush(color & 0xFFFFFF);
  record([&] { return "create_brush(" + hex_color(color) + ")=" + std::to_string(brush); });
  return brush;
}

DcObject RecordingDc::select_object(DcObject object) {
  DcObject previous = objects_.select(object);
  record([&] { return format("select(%ld)=%ld", object, previous); });
  return previous;
}

bool RecordingDc::delete_object(DcObject object) {
  bool deleted = objects_.remove(object);
  record([&] { return "delete(" + std::to_string(object) + (deleted ? ")" : ") refused"); });
  return deleted;
}

const DcFontRequest* RecordingDc::font_spec(DcObject font) const {
  const DcObjectEntry* entry = objects_.find(font);
  return entry && entry->kind == DcObjectKind::Font ? &entry->font : nullptr;
}

void RecordingDc::font_metrics(int* char_width, int* ascent, int* descent) const {
  if (metrics_.proportional) {
    // Scale the metrics of a 13-pixel font to the selected one's height.
    const DcFontRequest& wanted = objects_.selected_entry(DcObjectKind::Font).font;
    const int reference = metrics_.ascent + metrics_.descent;
    int em = wanted.height < 0 ? -wanted.height : wanted.height;
    if (em == 0) em = 16 * dpi_ / 96;
    *char_width = (metrics_.char_width * em + reference / 2) / reference;
    *ascent = (metrics_.ascent * em + reference / 2) / reference;
    *descent = em - *ascent;
    return;
  }
  *char_width = metrics_.char_width * dpi_ / 96;
  *ascent = metrics_.ascent * dpi_ / 96;
  *descent = metrics_.descent * dpi_ / 96;
}

bool RecordingDc::text_metrics(DcTextMetrics* metrics) {
  int width;
  font_metrics(&width, &metrics->ascent, &metrics->descent);
  metrics->height = metrics->ascent + metrics->descent;
  return true;
}

bool RecordingDc::text_out(int x, int y, const char* text, int length) {
  if (!text || length < 0) return false;
  record([&] { return format("text_out(%ld,%ld,", x, y) + "\"" + std::string(text, length) + "\")"; });
  return true;
}

bool RecordingDc::text_extent(const char* text, int length, DcSize* size) {
  if (!text || length < 0 || !size) return false;
  int width, ascent, descent;
  font_metrics(&width, &ascent, &descent);
  size->cx = width * length;
  size->cy = ascent + descent;
  return true;
}

DcColor RecordingDc::set_text_color(DcColor color) {
  record([&] { return "text_color(" + hex_color(color) + ")"; });
  return std::exchange(text_color_, color & 0xFFFFFF);
}

DcColor RecordingDc::set_bk_color(DcColor color) {
  record([&] { return "bk_color(" + hex_color(color) + ")"; });
  return std::exchange(bk_color_, color & 0xFFFFFF);
}

int RecordingDc::set_bk_mode(int mode) {
  if (mode != DC_TRANSPARENT && mode != DC_OPAQUE) return 0;
  record([&] { return mode == DC_TRANSPARENT ? "bk_mode(transparent)" : "bk_mode(opaque)"; });
  return std::exchange(bk_mode_, mode);
}

bool RecordingDc::move_to(int x, int y) {
  current_x_ = x;
  current_y_ = y;
  record([&] { return format("move_to(%ld,%ld)", x, y); });
  return true;
}

bool RecordingDc::line_to(int x, int y) {
  current_x_ = x;
  current_y_ = y;
  record([&] { return format("line_to(%ld,%ld)", x, y); });
  return true;
}

bool RecordingDc::fill_rect(const DcRect& rect, DcObject brush) {
  const DcObjectEntry* entry = objects_.find(brush);
  if (!entry || entry->kind != DcObjectKind::Brush) return false;
  record([&] {
    return format("fill_rect(%ld,%ld,%ld,%ld,", rect.left, rect.top, rect.right, rect.bottom) +
           hex_color(entry->color) + ")";
  });
  return true;
}

int RecordingDc::set_stretch_mode(int mode) {
  record([&] { return "stretch_mode(" + std::to_string(mode) + ")"; });
  return std::exchange(stretch_mode_, mode);
}

int RecordingDc::stretch_dib(int dest_x, int dest_y, int dest_width, int dest_height, int src_x, int src_y,
                             int src_width, int src_height, const void* bits, size_t, const DcBitmapInfoHeader* info) {
  if (!bits || !info) return 0;
  record([&] {
    return format("stretch_dib(%ld,%ld,%ld,%ld,", dest_x, dest_y, dest_width, dest_height) +
           format("%ld,%ld,%ld,%ld)", src_x, src_y, src_width, src_height);
  });
  return dest_width > 0 && dest_height > 0 ? src_height : 0;
}

int RecordingDc::save_dc() {
  ++saves_;
  record([&] { return "save_dc()=" + std::to_string(saves_); });
  return saves_;
}

bool RecordingDc::restore_dc(int level) {
  if (level < 0) level = saves_ + 1 + level;
  if (level < 1 || level > saves_) return false;
  saves_ = level - 1;
  record([&] { return "restore_dc(" + std::to_string(level) + ")"; });
  return true;
}

bool RecordingDc::intersect_clip_rect(const DcRect& rect) {
  record([&] { return format("clip(%ld,%ld,%ld,%ld)", rect.left, rect.top, rect.right, rect.bottom); });
  return true;
}

bool RecordingDc::start_page() {
  record([&] { return "start_page()"; });
  return true;
}

bool RecordingDc::end_page() {
  record([&] { return "end_page()"; });
  return true;
}

std::vector<std::string> RecordingDc::ops_starting(const std::string& prefix) const {
  std::vector<std::string> lines;
  for (const std::string& line : ops_)
    if (line.compare(0, prefix.size(), prefix) == 0) lines.push_back(line);
  return lines;
}
