// Attribute reading for new elements: which attributes each class
// understands and which field each one fills. Unknown attributes are ignored
// without a report; repeated ones are applied in order.
#include "document/pdocattr.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "document/pdocbuilder.h"
#include "document/pdoccolor.h"
#include "document/pdocreport.h"
#include "document/pdoctags.h"
#include "document/pdocvalues.h"
#include "support/qelfile.h"

namespace {

// Room for a temporary picture name: 254 characters and the NUL.
constexpr size_t kTempNameSize = 255;

bool is(const char* name, const char* wanted) {
  return pdoc_same_name(name, wanted);
}

// Calls fn(name, value) for every pair of a null-terminated list.
template <typename Fn>
void for_each_attribute(const char** attributes, Fn fn) {
  if (!attributes) return;
  for (const char** a = attributes; a[0]; a += 2) {
    // A list cut short after a name still ends here, with an empty value.
    const char* value = a[1] ? a[1] : "";
    fn(a[0], value);
    if (!a[1]) break;
  }
}

// A copy held by the build's string pool, cut to `max` characters; null
// without a builder or memory.
const char* held(pdoc_builder* builder, const char* value, size_t max) {
  pdoc_strings* strings = builder ? pdoc_builder_strings(builder) : nullptr;
  return strings ? strings->hold(value, max) : nullptr;
}

void read_name_attr(pdoc_builder* builder, pdoc_element* element, const char* value) {
  if (const char* name = held(builder, value, PDOC_NAME_ATTR_MAX)) element->name_attr = name;
}

// A span above the limit is cut to it, and the cut is reported.
int32_t read_span(pdoc_builder* builder, const char* attribute, const char* value, int32_t limit) {
  const int32_t span = pdoc_read_int(value);
  if (span < 0) return 1;
  if (span <= limit) return span;
  pdoc_report(builder, "WARNING %s %d is over the limit of %d. Using %d.", attribute, span, limit, limit);
  return limit;
}

int32_t read_frame(const char* value) {
  static const char* const kFrames[] = {"void", "above", "below", "hsides", "lhs", "rhs", "vsides"};
  for (int i = 0; i < 7; ++i) {
    if (is(value, kFrames[i])) return i + 1;
  }
  return 0;
}

char read_forcedisplay(const char* value) {
  const int first = std::tolower(static_cast<unsigned char>(value[0]));
  if (first == 'w') return 'W';
  if (first == 'h') return 'H';
  return 'B';
}

bool has_text_attributes(int tag) {
  return tag != PDOC_TAG_BR;
}

}  // namespace

void pdoc_apply_text_attributes(pdoc_builder* builder, pdoc_element* element, int tag, const char** attributes) {
  pdoc_style& style = element->style;
  for_each_attribute(attributes, [&](const char* name, const char* value) {
    if (is(name, "face")) {
      if (const char* face = held(builder, value, PDOC_FACE_MAX)) style.face = face;
    } else if (is(name, "size")) {
      style.size = pdoc_read_font_size(style.size, value);
    } else if (is(name, "align")) {
      pdoc_read_align(value, &style.align);
    } else if (is(name, "color")) {
      style.color = parse_color(value);
    } else if (is(name, "outline")) {
      style.outline_color = parse_color(value);
      style.flags |= STYLE_OUTLINE;
    } else if (is(name, "name")) {
      read_name_attr(builder, element, value);
    }
  });
  if (tag == PDOC_TAG_CENTER) style.align = ALIGN_CENTER;
}

void pdoc_apply_image_attributes(pdoc_builder* builder, pdoc_element* element, const char** attributes) {
  const char* temp_dir = builder ? builder->temp_dir : nullptr;
  pdoc_image_fields& image = element->image;
  std::free(image.src);
  image = pdoc_image_fields{};
  for_each_attribute(attributes, [&](const char* name, const char* value) {
    if (is(name, "width")) {
      image.width = pdoc_read_int(value);
    } else if (is(name, "height")) {
      image.height = pdoc_read_int(value);
    } else if (is(name, "border")) {
      image.border = pdoc_read_int(value);
    } else if (is(name, "align")) {
      pdoc_read_align(value, &image.align);
    } else if (is(name, "name")) {
      read_name_attr(builder, element, value);
    } else if (is(name, "src")) {
      // Keep the earlier source when the copy cannot be made.
      if (char* copy = strdup(value)) {
        std::free(image.src);
        image.src = copy;
      }
    } else if (is(name, "embed-encoding")) {
      if (image.src) return;
      char temp_name[kTempNameSize];
      qel_tempname(temp_name, sizeof temp_name, temp_dir, nullptr, "png");
      image.src = strdup(temp_name);
      if (image.src) image.embedded = 1;
    }
  });
}

void pdoc_apply_table_attributes(pdoc_builder* builder, pdoc_element* element, const char** attributes) {
  pdoc_table_fields& table = element->table;
  table.width = 0;
  table.width_frac = 0;
  table.height = 0;
  table.height_frac = 0;
  table.border = 0;
  table.cellpadding = 1;
  table.cellspacing = 2;
  table.frame = 0;
  table.align = 0;
  table.bgcolor = -1;
  table.forcedisplay = 'B';
  for_each_attribute(attributes, [&](const char* name, const char* value) {
    if (is(name, "width")) {
      pdoc_read_length(value, &table.width, &table.width_frac);
    } else if (is(name, "height")) {
      pdoc_read_length(value, &table.height, &table.height_frac);
    } else if (is(name, "border")) {
      table.border = pdoc_read_int(value);
    } else if (is(name, "cellspacing")) {
      table.cellspacing = pdoc_read_int(value);
    } else if (is(name, "cellpadding")) {
      table.cellpadding = pdoc_read_int(value);
    } else if (is(name, "align")) {
      pdoc_read_align(value, &table.align);
    } else if (is(name, "bgcolor")) {
      table.bgcolor = parse_color(value);
    } else if (is(name, "frame")) {
      table.frame = static_cast<int8_t>(read_frame(value));
    } else if (is(name, "forcedisplay")) {
      table.forcedisplay = read_forcedisplay(value);
    } else if (is(name, "name")) {
      read_name_attr(builder, element, value);
    }
  });
}

void pdoc_apply_row_attributes(pdoc_builder* builder, pdoc_element* element, const char** attributes) {
  pdoc_row_fields& row = element->row;
  row.align = 0;
  row.valign = 0;
  row.height = 0;
  row.bgcolor = -1;
  for_each_attribute(attributes, [&](const char* name, const char* value) {
    if (is(name, "height")) {
      row.height = pdoc_read_int(value);
    } else if (is(name, "align")) {
      pdoc_read_align(value, &row.align);
    } else if (is(name, "valign")) {
      pdoc_read_valign(value, &row.valign);
    } else if (is(name, "bgcolor")) {
      row.bgcolor = parse_color(value);
    } else if (is(name, "name")) {
      read_name_attr(builder, element, value);
    }
  });
}

void pdoc_apply_cell_attributes(pdoc_builder* builder, pdoc_element* element, const char** attributes) {
  pdoc_cell_fields& cell = element->cell;
  cell.width = 0;
  cell.width_frac = 0;
  cell.height = 0;
  cell.height_frac = 0;
  cell.colspan = 1;
  cell.rowspan = 1;
  cell.align = 0;
  cell.valign = 0;
  cell.bgcolor = -1;
  for_each_attribute(attributes, [&](const char* name, const char* value) {
    if (is(name, "width")) {
      pdoc_read_length(value, &cell.width, &cell.width_frac);
    } else if (is(name, "height")) {
      pdoc_read_length(value, &cell.height, &cell.height_frac);
    } else if (is(name, "colspan")) {
      cell.colspan = read_span(builder, "colspan", value, PDOC_MAX_COLSPAN);
    } else if (is(name, "rowspan")) {
      cell.rowspan = read_span(builder, "rowspan", value, PDOC_MAX_ROWSPAN);
    } else if (is(name, "align")) {
      pdoc_read_align(value, &cell.align);
    } else if (is(name, "valign")) {
      pdoc_read_valign(value, &cell.valign);
    } else if (is(name, "bgcolor")) {
      cell.bgcolor = parse_color(value);
    } else if (is(name, "name")) {
      read_name_attr(builder, element, value);
    }
  });
}

void pdoc_apply_rule_attributes(pdoc_element* element, const char** attributes) {
  pdoc_rule_fields& rule = element->rule;
  rule.align = ALIGN_CENTER;
  rule.noshade = 0;
  rule.size = 1;
  rule.width = 0;
  rule.width_frac = 1.0;
  for_each_attribute(attributes, [&](const char* name, const char* value) {
    if (is(name, "size")) {
      rule.size = pdoc_read_int(value);
      if (rule.size <= 0) rule.size = 1;
    } else if (is(name, "width")) {
      pdoc_read_length(value, &rule.width, &rule.width_frac);
    } else if (is(name, "align")) {
      pdoc_read_align(value, &rule.align);
    } else if (is(name, "noshade")) {
      rule.noshade = 1;
    }
  });
}

void pdoc_read_attributes(pdoc_builder* builder, pdoc_element* element, const char** attributes) {
  if (!element) return;
  switch (element->type) {
    case ELE_TEXT:
      if (has_text_attributes(element->tag)) pdoc_apply_text_attributes(builder, element, element->tag, attributes);
      break;
    case ELE_IMAGE: pdoc_apply_image_attributes(builder, element, attributes); break;
    case ELE_TABLE: pdoc_apply_table_attributes(builder, element, attributes); break;
    case ELE_ROW: pdoc_apply_row_attributes(builder, element, attributes); break;
    case ELE_CELL: pdoc_apply_cell_attributes(builder, element, attributes); break;
    case ELE_HRULE: pdoc_apply_rule_attributes(element, attributes); break;
    default:
      // HTML, HEAD, BODY, THEAD and !DOCTYPE take no attributes.
      break;
  }
}
