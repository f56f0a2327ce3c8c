// Style stack entries are small heap records linked from the top down.
#include "document/pdocstyle.h"

#include <cstdlib>
#include <cstring>

#include "support/qelstring.h"

void pdoc_default_style(pdoc_style* style) {
  memset(style, 0, sizeof *style);
  qel_strlcpy(style->face, "Times", sizeof style->face);
  style->size = 3;
  style->color = -1;
  style->outline_color = -1;
}

void pdoc_current_style(const pdoc_builder* builder, pdoc_style* style) {
  if (builder->styles)
    *style = builder->styles->style;
  else
    pdoc_default_style(style);
}

int pdoc_push_style(pdoc_builder* builder, int tag, const pdoc_style* style) {
  auto* entry = static_cast<pdoc_style_entry*>(calloc(1, sizeof(pdoc_style_entry)));
  if (!entry) return 0;
  entry->tag = tag;
  if (style)
    entry->style = *style;
  else
    pdoc_current_style(builder, &entry->style);
  entry->below = builder->styles;
  builder->styles = entry;
  return 1;
}

namespace {

void remove_top(pdoc_builder* builder) {
  pdoc_style_entry* top = builder->styles;
  builder->styles = top->below;
  free(top);
}

}  // namespace

void pdoc_pop_style(pdoc_builder* builder, int tag) {
  if (tag == PDOC_TAG_TD) {
    while (builder->styles) {
      const bool barrier = builder->styles->tag == PDOC_TAG_TD;
      remove_top(builder);
      if (barrier) break;
    }
    return;
  }
  if (builder->styles && (builder->styles->tag == tag || builder->styles->tag != PDOC_TAG_TD))
    remove_top(builder);
}

void pdoc_clear_styles(pdoc_builder* builder) {
  while (builder->styles) remove_top(builder);
}
