// Measurement records of one layout job; see measure_memo.h.
#include "layout/measure_memo.h"

#include <cstring>
#include <functional>
#include <memory>
#include <new>
#include <tuple>
#include <unordered_map>

namespace {

// One hash over every field a key compares.
struct KeyHash {
  template <typename Key>
  size_t operator()(const Key& key) const {
    size_t seed = 0;
    std::apply([&seed](const auto&... field) { (mix(&seed, field), ...); }, key.fields());
    return seed;
  }

  template <typename T>
  static void mix(size_t* seed, const T& value) {
    *seed ^= std::hash<T>{}(value) + 0x9e3779b97f4a7c15ull + (*seed << 6) + (*seed >> 2);
  }
};

// Enough for documents of many thousand pages; past it, nothing more is kept
// and the rest is measured as it comes. Records are never dropped while the
// job runs: a caller up the stack may be reading one.
constexpr size_t kMaxHeightSlots = size_t{1} << 20;
constexpr size_t kMaxTableBounds = size_t{1} << 14;

}  // namespace

struct MeasureMemo {
  std::unordered_map<TableHeightsKey, std::vector<CellHeight>, KeyHash> table_heights;
  size_t height_slots = 0;
  std::unordered_map<TableBoundsKey, TableBounds, KeyHash> table_bounds;
  // Per table, the record whose bounds its cells hold.
  std::unordered_map<const pdoc_element*, TableBoundsKey> cell_bounds_from;
  std::unordered_map<const pdoc_element*, TableCells> table_cells;
};

void MeasureMemoDeleter::operator()(MeasureMemo* memo) const {
  delete memo;
}

MeasureMemoPtr measure_memo_create() {
  // Without room for the records the job simply measures everything.
  try {
    return MeasureMemoPtr(std::make_unique<MeasureMemo>().release());
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

MeasureAftermath capture_aftermath(RenderTarget* target, const RtDrawingState& before) {
  MeasureAftermath after;
  after.state = rt_save_state(target);
  after.selected_font = rt_font_changed(before, after.state);
  return after;
}

void replay_aftermath(RenderTarget* target, const MeasureAftermath& after) {
  rt_restore_state(target, after.state, after.selected_font);
}

std::vector<CellHeight>* memo_table_heights(MeasureMemo* memo, const TableHeightsKey& key, size_t slots) {
  if (!memo) return nullptr;
  try {
    auto found = memo->table_heights.find(key);
    if (found != memo->table_heights.end() && found->second.size() == slots) return &found->second;
    if (found != memo->table_heights.end() || slots > kMaxHeightSlots - memo->height_slots) return nullptr;
    std::vector<CellHeight> record(slots);
    auto placed = memo->table_heights.emplace(key, std::move(record)).first;
    memo->height_slots += slots;
    return &placed->second;
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
}

const TableBounds* memo_find_table_bounds(MeasureMemo* memo, const TableBoundsKey& key) {
  if (!memo) return nullptr;
  auto found = memo->table_bounds.find(key);
  return found != memo->table_bounds.end() ? &found->second : nullptr;
}

void memo_keep_table_bounds(MeasureMemo* memo, const TableBoundsKey& key, TableBounds value) {
  if (!memo) return;
  if (memo->table_bounds.size() >= kMaxTableBounds) return;
  try {
    memo->table_bounds.insert_or_assign(key, std::move(value));
  } catch (const std::bad_alloc&) {
    // Not kept: measured again next time.
  }
}

bool memo_cell_bounds_current(MeasureMemo* memo, const TableBoundsKey& key) {
  if (!memo) return false;
  auto found = memo->cell_bounds_from.find(key.table);
  return found != memo->cell_bounds_from.end() && found->second == key;
}

void memo_note_cell_bounds(MeasureMemo* memo, const TableBoundsKey& key) {
  if (!memo) return;
  try {
    memo->cell_bounds_from.insert_or_assign(key.table, key);
  } catch (const std::bad_alloc&) {
    // Without the note the cells count as not current: the next reuse
    // rewrites them, which is always right.
    memo->cell_bounds_from.erase(key.table);
  }
}

const TableCells* memo_find_table_cells(MeasureMemo* memo, const pdoc_element* table, int rows) {
  if (!memo) return nullptr;
  auto found = memo->table_cells.find(table);
  if (found == memo->table_cells.end() || found->second.rows != rows) return nullptr;
  return &found->second;
}

const TableCells* memo_keep_table_cells(MeasureMemo* memo, const pdoc_element* table, TableCells cells) {
  // Each cell counts against the same budget as a height slot.
  if (!memo || cells.cells.size() > kMaxHeightSlots - memo->height_slots) return nullptr;
  try {
    auto placed = memo->table_cells.try_emplace(table, std::move(cells));
    if (!placed.second) return nullptr;
    memo->height_slots += placed.first->second.cells.size();
    return &placed.first->second;
  } catch (const std::bad_alloc&) {
    return nullptr;
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
