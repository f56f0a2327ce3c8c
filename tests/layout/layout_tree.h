// Hand-built document trees for layout tests: elements, tables with their
// grid, and a recording target with fixed text metrics.
#pragma once

#include <cstring>
#include <deque>
#include <memory>
#include <string>
#include <vector>

#include "document/pdoc.h"
#include "document/pdoctree.h"
#include "layout/layout_job.h"
#include "layout/render_target.h"
#include "platform/dc_recording.h"

class LayoutTree {
 public:
  pdoc_element* add(pdoc_element* parent, int type, int tag, const char* name) {
    pdoc_element& e = elements_.emplace_back();
    std::memset(&e, 0, sizeof e);
    e.type = type;
    e.tag = tag;
    std::strncpy(e.name, name, sizeof e.name - 1);
    e.line = 1;
    e.col = 1;
    e.parent = parent;
    pdoc_element** link = parent ? &parent->child : &root_;
    pdoc_element* prev = nullptr;
    while (*link) {
      prev = *link;
      link = &(*link)->next;
    }
    *link = &e;
    e.prev = prev;
    return &e;
  }
  pdoc_element* root() { return root_; }

  pdoc_element* body() {
    pdoc_element* html = add(nullptr, ELE_HTML, PDOC_TAG_HTML, "HTML");
    return add(html, ELE_BODY, PDOC_TAG_BODY, "BODY");
  }
  pdoc_element* text(pdoc_element* parent, const std::string& data, int tag = PDOC_TAG_TEXT, int size = 3) {
    pdoc_element* e = add(parent, ELE_TEXT, tag, tag == PDOC_TAG_P ? "P" : tag == PDOC_TAG_BR ? "BR" : "TEXT");
    e->style.face = "Times";
    e->style.size = size;
    e->style.color = -1;
    e->style.outline_color = -1;
    if (!data.empty()) {
      std::string& s = strings_.emplace_back(data);
      e->data = s.data();
      e->data_len = static_cast<int>(s.size());
    }
    return e;
  }
  pdoc_element* br(pdoc_element* parent) { return text(parent, " ", PDOC_TAG_BR); }
  pdoc_element* image(pdoc_element* parent, int w, int h, int align = 0, int border = 0) {
    pdoc_element* e = add(parent, ELE_IMAGE, PDOC_TAG_IMG, "IMG");
    e->image.width = w;
    e->image.height = h;
    e->image.align = align;
    e->image.border = border;
    return e;
  }
  pdoc_element* rule(pdoc_element* parent, int size = 2, int width = 0, bool noshade = false) {
    pdoc_element* e = add(parent, ELE_HRULE, PDOC_TAG_HR, "HR");
    e->rule.align = ALIGN_CENTER;
    e->rule.size = size;
    e->rule.width = width;
    e->rule.width_frac = 1.0;
    e->rule.noshade = noshade;
    return e;
  }
  pdoc_element* table(pdoc_element* parent, int border = 0, int padding = 1, int spacing = 2) {
    pdoc_element* e = add(parent, ELE_TABLE, PDOC_TAG_TABLE, "TABLE");
    e->table.border = border;
    e->table.cellpadding = padding;
    e->table.cellspacing = spacing;
    e->table.bgcolor = -1;
    e->table.forcedisplay = 'B';
    return e;
  }
  pdoc_element* thead(pdoc_element* table) { return add(table, ELE_THEAD, PDOC_TAG_THEAD, "THEAD"); }
  pdoc_element* row(pdoc_element* parent) {
    pdoc_element* e = add(parent, ELE_ROW, PDOC_TAG_TR, "TR");
    e->row.bgcolor = -1;
    pdoc_element* t = parent->type == ELE_THEAD ? parent->parent : parent;
    t->table.rows++;
    return e;
  }
  pdoc_element* cell(pdoc_element* row, int colspan = 1, int rowspan = 1) {
    pdoc_element* e = add(row, ELE_CELL, PDOC_TAG_TD, "TD");
    e->cell.colspan = colspan;
    e->cell.rowspan = rowspan;
    e->cell.bgcolor = -1;
    return e;
  }
  // A cell holding one text run.
  pdoc_element* cell_text(pdoc_element* row, const std::string& data, int colspan = 1, int rowspan = 1) {
    pdoc_element* c = cell(row, colspan, rowspan);
    text(c, data);
    return c;
  }

  // Places the cells of a finished table in its grid, left to right, skipping
  // slots that spanning cells above already cover.
  void grid(pdoc_element* table) {
    std::vector<pdoc_element*> rows;
    for (pdoc_element* r = pdoc_first_row(table); r; r = pdoc_next_row(r)) rows.push_back(r);
    int R = static_cast<int>(rows.size());
    std::vector<std::vector<pdoc_element*>> slots(R);
    int C = 0;
    for (int r = 0; r < R; r++) {
      int c = 0;
      for (pdoc_element* cell = rows[r]->child; cell; cell = cell->next) {
        while (c < static_cast<int>(slots[r].size()) && slots[r][c]) c++;
        for (int dr = 0; dr < cell->cell.rowspan && r + dr < R; dr++)
          for (int dc = 0; dc < cell->cell.colspan; dc++) {
            auto& line = slots[r + dr];
            if (static_cast<int>(line.size()) <= c + dc) line.resize(c + dc + 1);
            line[c + dc] = cell;
          }
        c += cell->cell.colspan;
      }
    }
    for (auto& line : slots) C = std::max(C, static_cast<int>(line.size()));
    table->table.rows = R;
    table->table.cols = C;
    auto& matrix = matrices_.emplace_back(C);
    auto& pointers = pointer_sets_.emplace_back(C);
    for (int c = 0; c < C; c++) {
      matrix[c].resize(R);
      for (int r = 0; r < R; r++) matrix[c][r] = c < static_cast<int>(slots[r].size()) ? slots[r][c] : nullptr;
      pointers[c] = matrix[c].data();
    }
    table->table.matrix = pointers.data();
    auto& columns = columns_.emplace_back(C);
    std::memset(columns.data(), 0, sizeof(pdoc_column) * C);
    table->table.columns = columns.data();
    auto& heights = heights_.emplace_back(R);
    table->table.row_heights = heights.data();
  }

 private:
  pdoc_element* root_ = nullptr;
  std::deque<pdoc_element> elements_;
  std::deque<std::string> strings_;
  std::deque<std::vector<std::vector<pdoc_element*>>> matrices_;
  std::deque<std::vector<pdoc_element**>> pointer_sets_;
  std::deque<std::vector<pdoc_column>> columns_;
  std::deque<std::vector<int32_t>> heights_;
};

// A recording device context and a page target over it.
struct RecordingPage {
  RecordingDc dc;
  RenderTarget* target;
  LayoutJob job;  // keeps no measurements
  RecordingPage(int width, int height, int dpi = 96) : dc(dpi, width, height) {
    target = rt_create(&dc, {0, 0, width - 1, height - 1}, 100);
  }
  ~RecordingPage() {
    if (target) target->destroy(target);
  }
  RecordingPage(const RecordingPage&) = delete;
  RecordingPage& operator=(const RecordingPage&) = delete;
};
