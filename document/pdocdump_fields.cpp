// Field printing for the dump: numbers as decimal, colours in hex, strings
// quoted with the dump's escapes.
#include "document/pdocdump_fields.h"

#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <unordered_map>

#include "document/pdoctree.h"

namespace {

void add_quoted(std::string& out, const char* bytes, size_t length) {
  out += '"';
  for (size_t i = 0; i < length; ++i) {
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c <= 0x7E) {
      out += static_cast<char>(c);
    } else {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
    }
  }
  out += '"';
}

void add_int(std::string& out, const char* key, int32_t value) {
  char buf[48];
  std::snprintf(buf, sizeof buf, " %s=%" PRId32, key, value);
  out += buf;
}

void add_frac(std::string& out, const char* key, double value) {
  char buf[64];
  std::snprintf(buf, sizeof buf, " %s=%g", key, value);
  out += buf;
}

void add_color(std::string& out, const char* key, int32_t value) {
  char buf[48];
  if (value == -1)
    std::snprintf(buf, sizeof buf, " %s=-1", key);
  else
    std::snprintf(buf, sizeof buf, " %s=0x%08X", key, static_cast<uint32_t>(value));
  out += buf;
}

void add_string(std::string& out, const char* key, const char* value, size_t capacity) {
  out += ' ';
  out += key;
  out += '=';
  if (!value) {
    out += '-';
    return;
  }
  add_quoted(out, value, strnlen(value, capacity));
}

}  // namespace

void pdoc_dump_fields(std::string& out, const pdoc_element* e) {
  if (!e) return;
  switch (e->type) {
    case ELE_TEXT: {
      const pdoc_style& s = e->style;
      add_string(out, "face", s.face, PDOC_FACE_MAX);
      add_int(out, "size", s.size);
      add_int(out, "flags", s.flags);
      add_int(out, "align", s.align);
      add_color(out, "color", s.color);
      add_color(out, "outline_color", s.outline_color);
      break;
    }
    case ELE_IMAGE: {
      const pdoc_image_fields& i = e->image;
      add_int(out, "width", i.width);
      add_int(out, "height", i.height);
      add_int(out, "border", i.border);
      add_int(out, "align", i.align);
      add_string(out, "src", i.src, SIZE_MAX);
      break;
    }
    case ELE_TABLE: {
      const pdoc_table_fields& t = e->table;
      add_int(out, "width", t.width);
      add_frac(out, "width_frac", t.width_frac);
      add_int(out, "height", t.height);
      add_frac(out, "height_frac", t.height_frac);
      add_int(out, "border", t.border);
      add_int(out, "cellpadding", t.cellpadding);
      add_int(out, "cellspacing", t.cellspacing);
      add_int(out, "frame", t.frame);
      add_int(out, "rows", t.rows);
      add_int(out, "cols", t.cols);
      add_int(out, "align", t.align);
      add_color(out, "bgcolor", t.bgcolor);
      out += " forcedisplay=";
      out += t.forcedisplay ? t.forcedisplay : '-';
      break;
    }
    case ELE_ROW: {
      const pdoc_row_fields& r = e->row;
      add_int(out, "align", r.align);
      add_int(out, "valign", r.valign);
      add_int(out, "height", r.height);
      add_int(out, "span_total", r.span_total);
      add_color(out, "bgcolor", r.bgcolor);
      break;
    }
    case ELE_CELL: {
      const pdoc_cell_fields& c = e->cell;
      add_int(out, "width", c.width);
      add_frac(out, "width_frac", c.width_frac);
      add_int(out, "height", c.height);
      add_frac(out, "height_frac", c.height_frac);
      add_int(out, "colspan", c.colspan);
      add_int(out, "rowspan", c.rowspan);
      add_int(out, "align", c.align);
      add_int(out, "valign", c.valign);
      add_color(out, "bgcolor", c.bgcolor);
      break;
    }
    case ELE_HRULE: {
      const pdoc_rule_fields& r = e->rule;
      add_int(out, "align", r.align);
      add_int(out, "noshade", r.noshade);
      add_int(out, "size", r.size);
      add_int(out, "width", r.width);
      add_frac(out, "width_frac", r.width_frac);
      break;
    }
    default: break;
  }
}

std::string pdoc_dump_indent(int depth) {
  if (depth <= PDOC_DUMP_MAX_INDENT) return std::string(static_cast<size_t>(depth > 0 ? depth : 0) * 2, ' ');
  return std::string(PDOC_DUMP_MAX_INDENT * 2, ' ') + "[" + std::to_string(depth) + "] ";
}

void pdoc_dump_matrix(std::string& out, const pdoc_element* table, int depth) {
  if (!table || table->type != ELE_TABLE || !table->table.matrix) return;
  const pdoc_table_fields& t = table->table;
  std::unordered_map<const pdoc_element*, long> index;
  long next = 0;
  // Row iteration takes a mutable table; it does not change it.
  auto* mutable_table = const_cast<pdoc_element*>(table);
  for (pdoc_element* r = pdoc_first_row(mutable_table); r; r = pdoc_next_row(r)) {
    for (const pdoc_element* c = r->child; c; c = c->next) {
      if (c->type == ELE_CELL) index.emplace(c, next++);
    }
  }
  const std::string indent = pdoc_dump_indent(depth + 1);
  for (int32_t r = 0; r < t.rows; ++r) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "matrix r=%" PRId32 ":", r);
    out += indent;
    out += buf;
    for (int32_t c = 0; c < t.cols; ++c) {
      const pdoc_element* cell = t.matrix[c][r];
      const auto found = cell ? index.find(cell) : index.end();
      if (found == index.end()) {
        out += " -";
      } else {
        std::snprintf(buf, sizeof buf, " %ld", found->second);
        out += buf;
      }
    }
    out += '\n';
  }
}
