// Element records: creation with class defaults, sibling links, row
// iteration and freeing. Freeing and linking never recurse, so arbitrarily
// deep documents cannot exhaust the stack.
#include "document/pdoctree.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <cstring>

#include "document/pdocattr.h"
#include "document/pdocbuilder.h"
#include "document/pdocimage.h"
#include "document/pdocreport.h"
#include "document/pdocstyle.h"
#include "document/pdoctags.h"
#include "document/pdoctext.h"
#include "document/qelhtmlparser.h"
#include "support/qelstring.h"

// Every element has this record, so its size is the tree's size: keep it
// from growing unnoticed.
static_assert(sizeof(pdoc_element) <= 168, "pdoc_element grew");

namespace {

// Colspans come from the document unchecked; keep the row's sum defined.
int32_t saturating_add(int32_t a, int32_t b) {
  const long long sum = static_cast<long long>(a) + b;
  if (sum > INT32_MAX) return INT32_MAX;
  if (sum < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(sum);
}

// Last child of parent (or last top-level element for null), starting from
// the element linked most recently: its ancestor under parent is the newest
// child, normally the last one.
pdoc_element* last_child(const pdoc_builder* builder, pdoc_element* parent) {
  constexpr int kMaxClimb = 64;  // beyond that, walking the children is as cheap
  pdoc_element* e = builder->last_linked;
  if (parent && e == parent) {
    e = parent->child;
  } else {
    int climb = 0;
    while (e && e->parent != parent && climb++ < kMaxClimb) e = e->parent;
    if (e && e->parent != parent) e = nullptr;
  }
  if (!e) e = parent ? parent->child : builder->root;
  if (!e) return nullptr;
  while (e->next) e = e->next;
  return e;
}

void link_element(pdoc_builder* builder, pdoc_element* parent, pdoc_element* element) {
  pdoc_element* last = last_child(builder, parent);
  element->parent = parent;
  element->prev = last;
  if (last)
    last->next = element;
  else if (parent)
    parent->child = element;
  else
    builder->root = element;
  builder->last_linked = element;
}

void set_defaults(pdoc_element* e) {
  switch (e->type) {
    case ELE_TABLE:
      e->table.cellpadding = 1;
      e->table.cellspacing = 2;
      e->table.forcedisplay = 'B';
      e->table.bgcolor = -1;
      break;
    case ELE_ROW: e->row.bgcolor = -1; break;
    case ELE_CELL:
      e->cell.colspan = 1;
      e->cell.rowspan = 1;
      e->cell.bgcolor = -1;
      break;
    case ELE_HRULE:
      e->rule.align = ALIGN_CENTER;
      e->rule.size = 1;
      e->rule.width_frac = 1.0;
      break;
    default: break;
  }
}

void free_one(pdoc_element* e) {
  free(e->data);
  if (e->type == ELE_TABLE) pdoc_table_free_matrix(e);
  if (e->type == ELE_IMAGE) {
    pdoc_image_drop_side_file(e);
    if (e->image.src && e->image.temp_file) unlink(e->image.src);
    free(e->image.src);
  }
  free(e);
}

}  // namespace

pdoc_element* pdoc_create_element(pdoc_builder* builder, pdoc_element* parent, int tag, const char** attributes) {
  auto* e = static_cast<pdoc_element*>(calloc(1, sizeof(pdoc_element)));
  if (!e) {
    pdoc_report(builder, "malloc");
    return nullptr;
  }
  e->type = pdoc_tag_class(tag);
  qel_strlcpy(e->name, pdoc_tag_name(tag), sizeof e->name);
  e->tag = tag;
  if (builder->parser) {
    e->line = qelhtmlparser_line(builder->parser);
    e->col = qelhtmlparser_column(builder->parser);
  }
  set_defaults(e);

  switch (e->type) {
    case ELE_TEXT:
      pdoc_current_style(builder, &e->style);
      if (tag == PDOC_TAG_B) e->style.flags |= STYLE_BOLD;
      if (tag == PDOC_TAG_I) e->style.flags |= STYLE_ITALIC;
      if (tag == PDOC_TAG_U) e->style.flags |= STYLE_UNDERLINE;
      if (tag == PDOC_TAG_BR) {
        // A line break is a run holding one space; it takes no attributes.
        e->data = static_cast<char*>(malloc(pdoc_data_capacity(1)));
        if (e->data) {
          e->data[0] = ' ';
          e->data_len = 1;
        }
      } else {
        pdoc_read_attributes(builder, e, attributes);
        if (tag == PDOC_TAG_CENTER) e->style.align = ALIGN_CENTER;
      }
      pdoc_push_style(builder, tag, &e->style);
      break;
    case ELE_TABLE:
      pdoc_read_attributes(builder, e, attributes);
      pdoc_push_style(builder, PDOC_TAG_TABLE, nullptr);
      break;
    case ELE_ROW:
      pdoc_read_attributes(builder, e, attributes);
      if (parent && parent->type == ELE_TABLE) {
        parent->table.rows += 1;
      } else if (parent && parent->type == ELE_THEAD) {
        if (parent->parent && parent->parent->type == ELE_TABLE) parent->parent->table.rows += 1;
      } else {
        pdoc_report(builder, "Attempted Row on a %s... That is not right.", parent ? parent->name : "no parent");
      }
      break;
    case ELE_CELL:
      pdoc_read_attributes(builder, e, attributes);
      if (parent && parent->type == ELE_ROW) {
        parent->row.span_total = saturating_add(parent->row.span_total, e->cell.colspan);
        pdoc_push_style(builder, PDOC_TAG_TD, nullptr);
      } else {
        pdoc_report(builder, "Attempted Cell on a %s... That is not right.", parent ? parent->name : "no parent");
      }
      break;
    case ELE_IMAGE:
    case ELE_HRULE: pdoc_read_attributes(builder, e, attributes); break;
    default: break;
  }

  link_element(builder, parent, e);
  return e;
}

void pdoc_unlink_element(pdoc_builder* builder, pdoc_element* element) {
  if (!element) return;
  if (element->prev)
    element->prev->next = element->next;
  else if (element->parent)
    element->parent->child = element->next;
  else if (builder && builder->root == element)
    builder->root = element->next;
  if (element->next) element->next->prev = element->prev;
  if (builder) builder->last_linked = element->prev ? element->prev : element->parent;
  element->next = element->prev = nullptr;
}

void pdoc_free_elements(pdoc_element* first) {
  pdoc_element* e = first;
  while (e) {
    if (e->child) {
      // Splice the children in before the next sibling; each element is
      // spliced once, so the walk stays linear.
      pdoc_element* last = e->child;
      while (last->next) last = last->next;
      last->next = e->next;
      e->next = e->child;
      e->child = nullptr;
    }
    pdoc_element* next = e->next;
    free_one(e);
    e = next;
  }
}

void pdoc_free_element(pdoc_element* element) {
  if (!element) return;
  element->next = nullptr;
  pdoc_free_elements(element);
}

void pdoc_table_free_matrix(pdoc_element* table) {
  if (!table || table->type != ELE_TABLE) return;
  if (table->table.matrix) {
    for (int c = 0; c < table->table.cols; ++c) free(table->table.matrix[c]);
    free(table->table.matrix);
  }
  free(table->table.columns);
  free(table->table.row_heights);
  table->table.matrix = nullptr;
  table->table.columns = nullptr;
  table->table.row_heights = nullptr;
}

namespace {

// Steps into THEAD groups until a row (or nothing) is left.
pdoc_element* enter_groups(pdoc_element* e) {
  while (e && e->type == ELE_THEAD) e = e->child ? e->child : e->next;
  return e;
}

}  // namespace

pdoc_element* pdoc_first_row(pdoc_element* table) {
  return table ? enter_groups(table->child) : nullptr;
}

pdoc_element* pdoc_next_row(pdoc_element* row) {
  if (!row) return nullptr;
  if (row->next) return enter_groups(row->next);
  if (row->parent && row->parent->type == ELE_THEAD) return enter_groups(row->parent->next);
  return nullptr;
}

pdoc_element* pdoc_find_open(pdoc_element* element, int tag) {
  for (pdoc_element* e = element; e; e = e->parent) {
    if (e->tag == tag) return e;
    if ((tag == PDOC_TAG_TR || tag == PDOC_TAG_THEAD) && e->tag == PDOC_TAG_TABLE) return nullptr;
    if (tag == PDOC_TAG_TD && e->tag == PDOC_TAG_TR) return nullptr;
  }
  return nullptr;
}
