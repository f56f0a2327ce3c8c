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

DcObjectTable::DcObjectTable(const DcFontRequest& stock_font, std::shared_ptr<const DcFontData> stock_font_data) {
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

namespace {

size_t home(DcObject handle, size_t mask) {
  return (static_cast<size_t>(handle) * 0x9E3779B97F4A7C15ull >> 20) & mask;
}

}  // namespace

size_t DcObjectTable::position(DcObject handle) const {
  if (index_handles_.empty()) return SIZE_MAX;
  const size_t mask = index_handles_.size() - 1;
  for (size_t i = home(handle, mask);; i = (i + 1) & mask) {
    if (index_handles_[i] == handle) return i;
    if (index_handles_[i] == 0) return SIZE_MAX;
  }
}

void DcObjectTable::grow() {
  std::vector<DcObject> handles = std::move(index_handles_);
  std::vector<uint32_t> slots = std::move(index_slots_);
  const size_t size = handles.empty() ? 64 : 2 * handles.size();
  index_handles_.assign(size, 0);
  index_slots_.assign(size, 0);
  const size_t mask = size - 1;
  for (size_t j = 0; j < handles.size(); ++j) {
    if (handles[j] == 0) continue;
    size_t i = home(handles[j], mask);
    while (index_handles_[i] != 0) i = (i + 1) & mask;
    index_handles_[i] = handles[j];
    index_slots_[i] = slots[j];
  }
}

DcObject DcObjectTable::add(DcObjectEntry entry) {
  // Handles are never given twice; 0 is no object.
  if (last_handle_ == UINT32_MAX) return 0;
  const DcObject handle = ++last_handle_;
  uint32_t slot;
  if (!free_slots_.empty()) {
    slot = free_slots_.back();
    free_slots_.pop_back();
    entries_[slot] = std::move(entry);
  } else {
    slot = static_cast<uint32_t>(entries_.size());
    entries_.push_back(std::move(entry));
  }
  if (2 * (indexed_ + 1) > index_handles_.size()) grow();
  const size_t mask = index_handles_.size() - 1;
  size_t i = home(handle, mask);
  while (index_handles_[i] != 0) i = (i + 1) & mask;
  index_handles_[i] = handle;
  index_slots_[i] = slot;
  ++indexed_;
  if (!entries_[slot].stock) ++live_;
  ++created_;
  return handle;
}

DcObject DcObjectTable::add_font(const DcFontRequest& wanted, std::shared_ptr<const DcFontData> data) {
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
    case DcStockObject::SystemFont: return stock_font_;
    case DcStockObject::BlackPen: return stock_pen_;
    case DcStockObject::WhiteBrush: return stock_brush_;
  }
  return 0;
}

const DcObjectEntry* DcObjectTable::find(DcObject object) const {
  const size_t at = position(object);
  return at == SIZE_MAX ? nullptr : &entries_[index_slots_[at]];
}

void DcObjectTable::set_font_data(DcObject font, std::shared_ptr<const DcFontData> data) {
  const size_t at = position(font);
  if (at == SIZE_MAX) return;
  DcObjectEntry& entry = entries_[index_slots_[at]];
  if (entry.kind == DcObjectKind::Font) entry.font_data = std::move(data);
}

DcObject DcObjectTable::select(DcObject object) {
  const DcObjectEntry* entry = find(object);
  if (!entry) return 0;
  DcObject* slot = entry->kind == DcObjectKind::Font ? &font_ : entry->kind == DcObjectKind::Pen ? &pen_ : &brush_;
  return std::exchange(*slot, object);
}

bool DcObjectTable::remove(DcObject object) {
  size_t i = position(object);
  if (i == SIZE_MAX) return false;
  const uint32_t slot = index_slots_[i];
  if (entries_[slot].stock) return true;
  if (object == font_ || object == pen_ || object == brush_) return false;
  entries_[slot] = DcObjectEntry{};
  free_slots_.push_back(slot);
  --live_;
  --indexed_;
  // Backward-shift deletion: later entries of the probe run move up into
  // the gap unless their home lies between the gap and where they are.
  const size_t mask = index_handles_.size() - 1;
  for (size_t j = (i + 1) & mask; index_handles_[j] != 0; j = (j + 1) & mask) {
    const size_t k = home(index_handles_[j], mask);
    const bool stays = i <= j ? (i < k && k <= j) : (i < k || k <= j);
    if (stays) continue;
    index_handles_[i] = index_handles_[j];
    index_slots_[i] = index_slots_[j];
    i = j;
  }
  index_handles_[i] = 0;
  return true;
}

DcObject DcObjectTable::selected(DcObjectKind kind) const {
  switch (kind) {
    case DcObjectKind::Font: return font_;
    case DcObjectKind::Pen: return pen_;
    case DcObjectKind::Brush: return brush_;
    case DcObjectKind::None: break;
  }
  return 0;
}

const DcObjectEntry& DcObjectTable::selected_entry(DcObjectKind kind) const {
  return *find(selected(kind));
}

size_t DcObjectTable::live_count() const {
  return live_;
}
