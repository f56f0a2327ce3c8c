// Arbitrary bytes through the builder; every normalised table must be a
// consistent grid: rows as wide as the table, matrix entries that are cells
// of that table, spans that stay inside it. The same bytes cut at points taken
// from the input must build the same tree.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unordered_set>
#include <vector>

#include "document/pdocbuild.h"
#include "fuzz/html_pieces.h"

namespace {

void check_table(pdoc_element* table) {
  const pdoc_table_fields& t = table->table;
  std::unordered_set<const pdoc_element*> cells;
  std::vector<pdoc_element*> rows;
  for (pdoc_element* r = pdoc_first_row(table); r; r = pdoc_next_row(r)) {
    rows.push_back(r);
    if (r->row.span_total != t.cols) abort();
    for (pdoc_element* c = r->child; c; c = c->next) cells.insert(c);
  }
  if (static_cast<int64_t>(rows.size()) != t.rows) abort();
  if (!t.matrix) return;
  for (int32_t c = 0; c < t.cols; ++c) {
    for (int32_t r = 0; r < t.rows; ++r) {
      const pdoc_element* cell = t.matrix[c][r];
      if (!cell) continue;
      if (!cells.count(cell)) abort();
      if (cell->cell.colspan < 0 || cell->cell.rowspan < 0) abort();
    }
  }
  // Each cell's span from the position where it was placed stays inside the
  // table. Later cells may overwrite parts of an earlier span, but never its
  // top-left corner, which is therefore where a row-major scan meets it first.
  std::unordered_set<const pdoc_element*> placed;
  for (int32_t r = 0; r < t.rows; ++r) {
    for (int32_t c = 0; c < t.cols; ++c) {
      const pdoc_element* cell = t.matrix[c][r];
      if (!cell || !placed.insert(cell).second) continue;
      if (c + int64_t{cell->cell.colspan} > t.cols || r + int64_t{cell->cell.rowspan} > t.rows) abort();
    }
  }
}

void walk(pdoc_element* e) {
  std::vector<pdoc_element*> stack;
  if (e) stack.push_back(e);
  while (!stack.empty()) {
    pdoc_element* x = stack.back();
    stack.pop_back();
    if (x->type == ELE_TABLE) check_table(x);
    if (x->next) stack.push_back(x->next);
    if (x->child) stack.push_back(x->child);
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  if (!freopen("/dev/null", "w", stdout)) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  pdoc_document* doc = pdocbuild_string(text.c_str(), nullptr, nullptr);
  if (doc) walk(doc->root);
  pdocbuild_free(doc);

  // Whole and in pieces, up to the first NUL as the string build reads it.
  const size_t length = strlen(text.c_str());
  const fuzz_html::Pieces whole{data, length, {}};
  const fuzz_html::Pieces cut{data, length, fuzz_html::random_cuts(data, length)};
  pdoc_document* a = fuzz_html::build(whole);
  pdoc_document* b = fuzz_html::build(cut);
  if (!a || !b || fuzz_html::dump(a) != fuzz_html::dump(b)) abort();
  pdocbuild_free(a);
  pdocbuild_free(b);
  return 0;
}
