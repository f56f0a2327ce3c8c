// Measurements of table cells kept for the length of one layout job.
//
// Every page a table reaches measures the whole table again: the width
// bounds of all its cells and the heights of all rows still to come. Within
// one job (a print, a view pass, a device transfer) the document does not
// change, so a measurement made with the same inputs gives the same answer;
// these records let it be made once. A measurement that printed a diagnostic
// or that involves a nested table is never kept, so what a job prints and
// draws stays exactly what it would be without them.
#pragma once

#include <cstdint>
#include <vector>

#include "document/pdoc.h"
#include "platform/dc.h"

struct RenderTarget;

// While one is alive on a thread, measurements made on that thread are kept;
// the outermost one forgets them when it ends.
class LayoutMemoScope {
 public:
  LayoutMemoScope();
  ~LayoutMemoScope();
  LayoutMemoScope(const LayoutMemoScope&) = delete;
  LayoutMemoScope& operator=(const LayoutMemoScope&) = delete;

 private:
  bool outermost_;
};

// The drawing state a measurement leaves behind in the context and target:
// text and background colours and mode, and the target's font request.
struct MeasureAftermath {
  DcColor text_color = 0;
  DcColor bk_color = 0;
  int bk_mode = 0;
  bool selected_font = false;  // the target itself selected a font
  char face[256] = {};
  int32_t size = 0;
  int32_t style = 0;
  uint32_t target_text_color = 0;
  uint32_t target_outline_color = 0;
};

// The target's own font before a measurement on it.
struct TargetFont {
  DcObject font;
  int32_t size;
};
TargetFont target_font(const RenderTarget* target);

// Records what the measurement left behind; before is the target's font
// before a measurement made on the target itself, null for one made on a
// subtarget, which leaves the target's font alone.
MeasureAftermath capture_aftermath(RenderTarget* target, const TargetFont* before);
// Puts the target and its context into the recorded state.
void replay_aftermath(RenderTarget* target, const MeasureAftermath& after);

// The content height of one cell measured in a subtarget.
struct CellHeightKey {
  const pdoc_element* cell;
  const DeviceContext* dc;
  int32_t dpi;
  int64_t width;
  int32_t height;
  int32_t entry_ascent;  // the font a subtarget starts with
  int32_t entry_descent;
  bool operator==(const CellHeightKey&) const = default;
};
struct CellHeight {
  bool measured;  // the subtarget could be made
  int32_t height;
  MeasureAftermath after;
};
const CellHeight* memo_find_cell_height(const CellHeightKey& key);
void memo_keep_cell_height(const CellHeightKey& key, const CellHeight& value);

// The width bounds of a whole table.
struct TableBoundsKey {
  const pdoc_element* table;
  const DeviceContext* dc;
  int32_t dpi;
  int32_t page_width;
  bool operator==(const TableBoundsKey&) const = default;
};
struct ColumnBounds {
  int32_t max_width, min_width;
  double width_frac;
};
struct CellBounds {
  int32_t max_width, min_width;
};
struct TableBounds {
  std::vector<ColumnBounds> columns;
  std::vector<CellBounds> cells;  // in row order
  int32_t max_width = 0, min_width = 0;
  MeasureAftermath after;
};
const TableBounds* memo_find_table_bounds(const TableBoundsKey& key);
void memo_keep_table_bounds(const TableBoundsKey& key, TableBounds value);

// Whether measurements are being kept on this thread.
bool memo_active();

// Whether a table appears anywhere below element.
bool contains_table(const pdoc_element* element);
