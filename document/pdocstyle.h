// The builder's style stack: the font state that start tags push and end
// tags pop, copied whole into every text run.
#pragma once

#include <cstdint>

#include "document/pdoc.h"

// Times, size 3, no alignment, no flags, colours not given.
void pdoc_default_style(pdoc_style* style);

// The style in force: the top entry's, or the default on an empty stack.
void pdoc_current_style(const pdoc_builder* builder, pdoc_style* style);

// Pushes a copy of style (null: of the style in force) under the tag index.
// Answers 0 when memory runs out; the stack is then unchanged.
int pdoc_push_style(pdoc_builder* builder, int tag, const pdoc_style* style);

// For PDOC_TAG_TD: removes entries down to and including the nearest cell
// barrier. For any other tag: removes the top entry when it carries that tag
// or is not a cell barrier.
void pdoc_pop_style(pdoc_builder* builder, int tag);

// The top of the stack as it stands. A push always changes it, so marks
// taken before and after a step tell whether the step pushed (and popped
// nothing).
struct pdoc_style_mark {
  uint64_t entries;
  uint32_t top_count;
  bool operator==(const pdoc_style_mark&) const = default;
};
pdoc_style_mark pdoc_style_top(const pdoc_builder* builder);

// Frees every entry.
void pdoc_clear_styles(pdoc_builder* builder);
