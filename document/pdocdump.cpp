// The dump format: readable, byte-exact and stable, so later fields can be
// appended as key=value without breaking earlier readers.
#include "document/pdocdump.h"

#include <cstring>
#include <string>

#include "document/pdocdump_fields.h"

namespace {

void quoted(FILE* out, const char* bytes, int length) {
  fputc('"', out);
  for (int i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '"' || c == '\\') {
      fputc('\\', out);
      fputc(c, out);
    } else if (c >= 0x20 && c <= 0x7E) {
      fputc(c, out);
    } else {
      fprintf(out, "\\x%02x", c);
    }
  }
  fputc('"', out);
}

}  // namespace

void pdoc_dump_element(FILE* out, const pdoc_element* e, bool fields) {
  fputs(e->name, out);
  if (e->name_attr && e->name_attr[0]) {
    fputs(" name=", out);
    quoted(out, e->name_attr, static_cast<int>(strnlen(e->name_attr, PDOC_NAME_ATTR_MAX)));
  }
  if (e->data && e->data_len > 0) {
    fputs(" data=", out);
    quoted(out, e->data, e->data_len);
  }
  if (fields) {
    std::string text;
    pdoc_dump_fields(text, e);
    fputs(text.c_str(), out);
  }
}

void pdoc_dump(FILE* out, const pdoc_document* document, bool fields) {
  if (!document) return;
  // Walks with the parent links instead of recursing: documents may nest
  // tables very deeply.
  // A table's matrix lines follow its whole subtree.
  auto finished = [out, fields](const pdoc_element* done, int at) {
    if (!fields || done->type != ELE_TABLE) return;
    std::string lines;
    pdoc_dump_matrix(lines, done, at);
    fputs(lines.c_str(), out);
  };
  const pdoc_element* e = document->root;
  int depth = 0;
  while (e) {
    fputs(pdoc_dump_indent(depth).c_str(), out);
    pdoc_dump_element(out, e, fields);
    fputc('\n', out);
    if (e->child) {
      e = e->child;
      ++depth;
      continue;
    }
    finished(e, depth);
    while (e && !e->next) {
      e = e->parent;
      --depth;
      if (e) finished(e, depth);
    }
    if (e) e = e->next;
  }
}
