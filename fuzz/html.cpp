// Arbitrary bytes through the tokenizer and the document builder, whole and
// cut at points taken from the input; the tree must keep its shape.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>

#include "document/pdocbuild.h"
#include "document/qelhtmlparser.h"

namespace {

struct Input {
  const uint8_t* data;
  size_t size;
  size_t cut1, cut2;  // piece boundaries, 0 for none
};

void feed_pieces(qelhtmlparser* p, void* user) {
  const Input& in = *static_cast<const Input*>(user);
  const char* bytes = reinterpret_cast<const char*>(in.data);
  size_t from = 0;
  for (size_t cut : {in.cut1, in.cut2, in.size}) {
    if (cut < from || cut > in.size) continue;
    qelhtmlparser_parse(p, bytes + from, cut - from);
    from = cut;
  }
}

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
  size_t c1 = 0, c2 = 0;
  if (size >= 2) {
    c1 = data[0] % size;
    c2 = c1 + data[1] % (size - c1 + 1);
  }

  Input whole{data, size, 0, 0};
  Input split{data, size, c1, c2};
  for (Input* in : {&whole, &split}) {
    pdoc_document* doc = pdocbuild_feed(feed_pieces, in, nullptr, nullptr);
    check(doc != nullptr);
    check_shape(doc->root);
    pdocbuild_free(doc);
  }

  // The tokenizer alone, with a small tag buffer so overflows happen often.
  qelhtmlparser* p = qelhtmlparser_create(16);
  qelhtmlparser_set_start_element_handler(p, on_start);
  feed_pieces(p, &split);
  qelhtmlparser_destroy(p);
  return 0;
}
