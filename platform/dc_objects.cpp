// Object table of a device context; see dc_objects.h.
#include "platform/dc_objects.h"

#include <cstdint>
#include <cstdio>
#include <utility>

DcFontRequest dc_stock_font_request() {
  DcFontRequest wanted{};
  snprintf(wanted.face, sizeof wanted.face, "System");
  wanted.height = 16;
  wanted.weight = DC_WEIGHT_BOLD;
  return wanted;
}

DcObjectTable::DcObjectTable(const DcFontRequest& stock_font,
                             std::shared_ptr<const DcFontData> stock_font_data) {
  DcObjectEntry font;
  font.kind = DcObjectKind::Font;
  font.stock = true;
  font.font = stock_font;
  font.font_data = std::move(stock_font_data);
  stock_font_ = add(std::move(font));
  DcObjectEntry pen;
  pen.kind = DcObjectKind::Pen;
  pen.stock = true;
  pen.pen_width = 1;
  stock_pen_ = add(std::move(pen));
  DcObjectEntry brush;
  brush.kind = DcObjectKind::Brush;
  brush.stock = true;
  brush.color = dc_rgb(255, 255, 255);
  stock_brush_ = add(std::move(brush));
  font_ = stock_font_;
  pen_ = stock_pen_;
  brush_ = stock_brush_;
  created_ = 0;
}

DcObject DcObjectTable::add(DcObjectEntry entry) {
  // Handles are never given twice; 0 is no object.
  if (last_handle_ == UINT32_MAX) return 0;
  const DcObject handle = ++last_handle_;
  entries_.emplace(handle, std::move(entry));
  ++created_;
  return handle;
}

DcObject DcObjectTable::add_font(const DcFontRequest& wanted,
                                 std::shared_ptr<const DcFontData> data) {
  DcObjectEntry entry;
  entry.kind = DcObjectKind::Font;
  entry.font = wanted;
  entry.font_data = std::move(data);
  return add(std::move(entry));
}

DcObject DcObjectTable::add_pen(int width, DcColor color) {
  DcObjectEntry entry;
  entry.kind = DcObjectKind::Pen;
  entry.pen_width = width;
  entry.color = color;
  return add(std::move(entry));
}

DcObject DcObjectTable::add_brush(DcColor color) {
  DcObjectEntry entry;
  entry.kind = DcObjectKind::Brush;
  entry.color = color;
  return add(std::move(entry));
}

DcObject DcObjectTable::stock(DcStockObject which) const {
  switch (which) {
    case DcStockObject::SystemFont:
      return stock_font_;
    case DcStockObject::BlackPen:
      return stock_pen_;
    case DcStockObject::WhiteBrush:
      return stock_brush_;
  }
  return 0;
}

const DcObjectEntry* DcObjectTable::find(DcObject object) const {
  auto found = entries_.find(object);
  return found != entries_.end() ? &found->second : nullptr;
}

void DcObjectTable::set_font_data(DcObject font, std::shared_ptr<const DcFontData> data) {
  auto found = entries_.find(font);
  if (found != entries_.end() && found->second.kind == DcObjectKind::Font)
    found->second.font_data = std::move(data);
}

DcObject DcObjectTable::select(DcObject object) {
  const DcObjectEntry* entry = find(object);
  if (!entry) return 0;
  DcObject* slot = entry->kind == DcObjectKind::Font  ? &font_
                   : entry->kind == DcObjectKind::Pen ? &pen_
                                                      : &brush_;
  return std::exchange(*slot, object);
}

bool DcObjectTable::remove(DcObject object) {
  const DcObjectEntry* entry = find(object);
  if (!entry) return false;
  if (entry->stock) return true;
  if (object == font_ || object == pen_ || object == brush_) return false;
  entries_.erase(object);
  return true;
}

DcObject DcObjectTable::selected(DcObjectKind kind) const {
  switch (kind) {
    case DcObjectKind::Font:
      return font_;
    case DcObjectKind::Pen:
      return pen_;
    case DcObjectKind::Brush:
      return brush_;
    case DcObjectKind::None:
      break;
  }
  return 0;
}

const DcObjectEntry& DcObjectTable::selected_entry(DcObjectKind kind) const {
  return *find(selected(kind));
}

size_t DcObjectTable::live_count() const {
  size_t count = 0;
  for (const auto& [handle, entry] : entries_)
    if (!entry.stock) ++count;
  return count;
}
