// The style stack holds a run of identical pushes as one entry with a count:
// markup that opens runs without closing them (a text run ended by the next
// start tag keeps its entry) costs a counter, not an entry per tag.
#include "document/pdocstyle.h"

#include <cstring>
#include <new>

#include "document/pdocbuilder.h"

namespace {

bool same_style(const pdoc_style& a, const pdoc_style& b) {
  return a.align == b.align && a.size == b.size && a.flags == b.flags && a.color == b.color &&
         a.outline_color == b.outline_color && (a.face == b.face || strcmp(a.face, b.face) == 0);
}

void remove_top(pdoc_builder* builder) {
  pdoc_style_entry& top = builder->styles.back();
  if (--top.count == 0) builder->styles.pop_back();
}

}  // namespace

void pdoc_default_style(pdoc_style* style) {
  memset(style, 0, sizeof *style);
  style->face = "Times";
  style->size = 3;
  style->color = -1;
  style->outline_color = -1;
}

void pdoc_current_style(const pdoc_builder* builder, pdoc_style* style) {
  if (!builder->styles.empty())
    *style = builder->styles.back().style;
  else
    pdoc_default_style(style);
}

int pdoc_push_style(pdoc_builder* builder, int tag, const pdoc_style* style) {
  pdoc_style pushed;
  if (style)
    pushed = *style;
  else
    pdoc_current_style(builder, &pushed);
  if (!builder->styles.empty()) {
    pdoc_style_entry& top = builder->styles.back();
    if (top.tag == tag && top.count < UINT32_MAX && same_style(top.style, pushed)) {
      ++top.count;
      return 1;
    }
  }
  try {
    builder->styles.push_back(pdoc_style_entry{tag, 1, pushed});
  } catch (const std::bad_alloc&) {
    return 0;
  }
  return 1;
}

void pdoc_pop_style(pdoc_builder* builder, int tag) {
  if (tag == PDOC_TAG_TD) {
    while (!builder->styles.empty()) {
      const bool barrier = builder->styles.back().tag == PDOC_TAG_TD;
      if (barrier) {
        remove_top(builder);
        break;
      }
      builder->styles.pop_back();  // every push of a run above the barrier goes with it
    }
    return;
  }
  if (builder->styles.empty()) return;
  const int32_t top = builder->styles.back().tag;
  if (top == tag || top != PDOC_TAG_TD) remove_top(builder);
}

pdoc_style_mark pdoc_style_top(const pdoc_builder* builder) {
  if (builder->styles.empty()) return {0, 0};
  return {builder->styles.size(), builder->styles.back().count};
}

void pdoc_clear_styles(pdoc_builder* builder) {
  builder->styles.clear();
}
