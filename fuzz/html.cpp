// Arbitrary bytes through the tokenizer and the document builder, whole, cut
// at points taken from the input and fed a byte at a time: the tree must keep
// its shape and be the same however the bytes were cut.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <string>

#include "fuzz/html_pieces.h"

namespace {

void check(bool ok) {
  if (!ok) abort();
}

// What each class may hold, and sound sibling/parent links, checked without
// recursion (the tree may be very deep).
void check_shape(const pdoc_element* root) {
  const pdoc_element* e = root;
  while (e) {
    for (const pdoc_element* c = e->child; c; c = c->next) {
      check(c->parent == e);
      check(c->next == nullptr || c->next->prev == c);
      switch (e->type) {
        case ELE_HTML: check(c->type == ELE_BODY); break;
        case ELE_TABLE: check(c->type == ELE_ROW || c->type == ELE_THEAD); break;
        case ELE_THEAD: check(c->type == ELE_ROW); break;
        case ELE_ROW: check(c->type == ELE_CELL); break;
        case ELE_TEXT:
        case ELE_HRULE: check(false); break;
        default: break;
      }
    }
    check(e->data_len >= 0 && (e->data_len == 0 || e->data));
    if (e->type == ELE_TABLE) {
      int rows = 0;
      for (const pdoc_element* r = pdoc_first_row(const_cast<pdoc_element*>(e)); r;
           r = pdoc_next_row(const_cast<pdoc_element*>(r)))
        check(r->type == ELE_ROW && ++rows <= e->table.rows);
    }
    if (e->child) {
      e = e->child;
      continue;
    }
    while (e && !e->next) e = e->parent;
    if (e) e = e->next;
  }
}

void on_start(void*, const char* name, const char** attrs) {
  check(name != nullptr);
  for (const char** a = attrs; *a; a += 2) check(a[1] != nullptr);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The builder reports every repair on standard output.
  if (!freopen("/dev/null", "w", stdout)) abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using fuzz_html::Pieces;
  const Pieces whole{data, size, {}};
  const Pieces cut{data, size, fuzz_html::random_cuts(data, size)};
  const Pieces bytes{data, size, fuzz_html::every_byte(size)};
  std::string first;
  for (const Pieces* in : {&whole, &cut, &bytes}) {
    pdoc_document* doc = fuzz_html::build(*in);
    check(doc != nullptr);
    check_shape(doc->root);
    const std::string tree = fuzz_html::dump(doc);
    pdocbuild_free(doc);
    if (in == &whole)
      first = tree;
    else
      check(tree == first);  // the pieces built another tree
  }

  // The tokenizer alone, with a small tag buffer so overflows happen often.
  qelhtmlparser* p = qelhtmlparser_create(16);
  qelhtmlparser_set_start_element_handler(p, on_start);
  fuzz_html::feed_pieces(p, const_cast<Pieces*>(&cut));
  qelhtmlparser_destroy(p);
  return 0;
}
