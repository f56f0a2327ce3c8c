// The builder's open elements: the chain from the outermost open element
// down to the current one, with the open elements of each tag, so that what
// an end tag matches is known without walking up the tree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "document/pdoc.h"

class pdoc_open_elements {
 public:
  // The element became current as a child of the current one.
  void opened(pdoc_element* element);
  // The current element was closed; its parent is current again.
  void closed(pdoc_element* element);
  // Nothing is open any more (current became null).
  void clear();

  // Open elements, the current one included.
  size_t depth() const { return chain_.size(); }
  pdoc_element* innermost() const { return chain_.empty() ? nullptr : chain_.back(); }

  // What pdoc_find_open(current, tag) answers: the innermost open element
  // of that tag, unless a TABLE is nearer for TR and THEAD or a TR is nearer
  // for TD.
  pdoc_element* find(int tag) const;

 private:
  bool nearer(int tag, uint32_t than) const;

  std::vector<pdoc_element*> chain_;
  std::vector<uint32_t> by_tag_[PDOC_TAG_UNKNOWN];  // positions in chain_, innermost last
};
