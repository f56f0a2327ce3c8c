// The object table behind a device context: handles of fonts, pens and
// brushes, which of them are selected, and the stock objects.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <vector>

#include "platform/dc.h"

// What an implementation keeps for a realised font (glyphs, metrics). It is
// never changed once made, so several font objects may share one.
struct DcFontData {
  virtual ~DcFontData() = default;
};

struct DcObjectEntry {
  DcObjectKind kind = DcObjectKind::None;
  bool stock = false;
  DcFontRequest font{};
  std::shared_ptr<const DcFontData> font_data;
  int pen_width = 0;
  DcColor color = 0;
};

// The stock font every context starts with: the bold 16-pixel "System" face.
DcFontRequest dc_stock_font_request();

class DcObjectTable {
 public:
  // The stock font is described by the request and realised by data.
  DcObjectTable(const DcFontRequest& stock_font, std::shared_ptr<const DcFontData> stock_font_data);

  DcObject add_font(const DcFontRequest& wanted, std::shared_ptr<const DcFontData> data);
  DcObject add_pen(int width, DcColor color);
  DcObject add_brush(DcColor color);
  DcObject stock(DcStockObject which) const;

  // Answers the previously selected object of the same kind, 0 for a handle
  // that is not live.
  DcObject select(DcObject object);
  // Stock objects are accepted and kept; selected objects are refused.
  bool remove(DcObject object);

  const DcObjectEntry* find(DcObject object) const;
  // Gives a font object its realisation, for one realised only when needed.
  void set_font_data(DcObject font, std::shared_ptr<const DcFontData> data);
  DcObject selected(DcObjectKind kind) const;
  const DcObjectEntry& selected_entry(DcObjectKind kind) const;
  // Objects created and not deleted, stock objects not counted.
  size_t live_count() const;
  // Objects ever created, stock objects not counted.
  size_t created_count() const { return created_; }

 private:
  DcObject add(DcObjectEntry entry);

  size_t position(DcObject handle) const;
  void grow();

  // Live objects only: a job creates and deletes hundreds of thousands of
  // pens, brushes and fonts, and what it deleted takes no room. Entries stay
  // where they are while they live (a deque), and their slots are reused;
  // an open-addressing index from handles to slots needs no allocation per
  // object, which a drawing call that makes and drops a brush would pay.
  std::deque<DcObjectEntry> entries_;
  std::vector<uint32_t> free_slots_;
  std::vector<DcObject> index_handles_;  // 0: empty
  std::vector<uint32_t> index_slots_;
  size_t indexed_ = 0;
  size_t live_ = 0;
  DcObject last_handle_ = 0;
  DcObject font_ = 0, pen_ = 0, brush_ = 0;
  DcObject stock_font_ = 0, stock_pen_ = 0, stock_brush_ = 0;
  size_t created_ = 0;
};
