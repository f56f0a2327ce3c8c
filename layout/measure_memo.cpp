// Measurement records of one layout job; see measure_memo.h.
#include "layout/measure_memo.h"

#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <unordered_map>

#include "layout/render_target.h"
#include "support/qelstring.h"

namespace {

template <typename T>
void mix(size_t* seed, const T& value) {
  *seed ^= std::hash<T>{}(value) + 0x9e3779b97f4a7c15ull + (*seed << 6) + (*seed >> 2);
}

struct CellHeightHash {
  size_t operator()(const CellHeightKey& k) const {
    size_t h = 0;
    mix(&h, k.cell);
    mix(&h, k.dc);
    mix(&h, k.dpi);
    mix(&h, k.width);
    mix(&h, k.height);
    mix(&h, k.entry_ascent);
    mix(&h, k.entry_descent);
    return h;
  }
};

struct TableBoundsHash {
  size_t operator()(const TableBoundsKey& k) const {
    size_t h = 0;
    mix(&h, k.table);
    mix(&h, k.dc);
    mix(&h, k.dpi);
    mix(&h, k.page_width);
    return h;
  }
};

// Enough for documents of many thousand pages; past it, records are
// dropped and measured again rather than let memory grow without end.
constexpr size_t kMaxCellHeights = 1u << 21;
constexpr size_t kMaxTableBounds = 1u << 14;

struct Memo {
  std::unordered_map<CellHeightKey, CellHeight, CellHeightHash> cell_heights;
  std::unordered_map<TableBoundsKey, TableBounds, TableBoundsHash> table_bounds;
};

thread_local Memo* g_memo = nullptr;

}  // namespace

LayoutMemoScope::LayoutMemoScope() : outermost_(g_memo == nullptr) {
  if (outermost_) g_memo = new (std::nothrow) Memo();
}

LayoutMemoScope::~LayoutMemoScope() {
  if (!outermost_) return;
  std::unique_ptr<Memo> memo(g_memo);
  g_memo = nullptr;
}

bool memo_active() { return g_memo != nullptr; }

TargetFont target_font(const RenderTarget* target) {
  return {target->gdi->font, target->gdi->size};
}

MeasureAftermath capture_aftermath(RenderTarget* target, const TargetFont* before) {
  const RenderTargetGdi* gdi = target->gdi;
  MeasureAftermath after;
  after.text_color = gdi->dc->get_text_color();
  after.bk_color = gdi->dc->get_bk_color();
  after.bk_mode = gdi->dc->get_bk_mode();
  if (before && (before->font != gdi->font || before->size != gdi->size)) {
    after.selected_font = true;
    qel_strlcpy(after.face, gdi->face, sizeof after.face);
    after.size = gdi->size;
    after.style = gdi->style;
    after.target_text_color = gdi->text_color;
    after.target_outline_color = gdi->outline_color;
  }
  return after;
}

void replay_aftermath(RenderTarget* target, const MeasureAftermath& after) {
  RenderTargetGdi* gdi = target->gdi;
  DeviceContext* dc = gdi->dc;
  if (after.selected_font) {
    target->select_font(target, after.face, after.size, after.style, after.target_text_color,
                        RT_NO_COLOR);
    gdi->outline_color = after.target_outline_color;
  }
  if (dc->get_text_color() != after.text_color) dc->set_text_color(after.text_color);
  if (dc->get_bk_color() != after.bk_color) dc->set_bk_color(after.bk_color);
  if (dc->get_bk_mode() != after.bk_mode) dc->set_bk_mode(after.bk_mode);
}

const CellHeight* memo_find_cell_height(const CellHeightKey& key) {
  if (!g_memo) return nullptr;
  auto found = g_memo->cell_heights.find(key);
  return found != g_memo->cell_heights.end() ? &found->second : nullptr;
}

void memo_keep_cell_height(const CellHeightKey& key, const CellHeight& value) {
  if (!g_memo) return;
  try {
    if (g_memo->cell_heights.size() >= kMaxCellHeights) g_memo->cell_heights.clear();
    g_memo->cell_heights.insert_or_assign(key, value);
  } catch (const std::bad_alloc&) {
    g_memo->cell_heights.clear();
  }
}

const TableBounds* memo_find_table_bounds(const TableBoundsKey& key) {
  if (!g_memo) return nullptr;
  auto found = g_memo->table_bounds.find(key);
  return found != g_memo->table_bounds.end() ? &found->second : nullptr;
}

void memo_keep_table_bounds(const TableBoundsKey& key, TableBounds value) {
  if (!g_memo) return;
  try {
    if (g_memo->table_bounds.size() >= kMaxTableBounds) g_memo->table_bounds.clear();
    g_memo->table_bounds.insert_or_assign(key, std::move(value));
  } catch (const std::bad_alloc&) {
    g_memo->table_bounds.clear();
  }
}

bool contains_table(const pdoc_element* root) {
  const pdoc_element* e = root ? root->child : nullptr;
  while (e) {
    if (e->type == ELE_TABLE) return true;
    if (e->child) {
      e = e->child;
      continue;
    }
    while (e && e != root && !e->next) e = e->parent;
    if (!e || e == root) return false;
    e = e->next;
  }
  return false;
}
