// Both lists change only at their ends, so every step is constant time.
#include "document/pdocopen.h"

#include <cassert>

void pdoc_open_elements::opened(pdoc_element* element) {
  assert(element->parent == innermost());
  if (element->tag >= 0 && element->tag < PDOC_TAG_UNKNOWN)
    by_tag_[element->tag].push_back(static_cast<uint32_t>(chain_.size()));
  chain_.push_back(element);
}

void pdoc_open_elements::closed(pdoc_element* element) {
  assert(element == innermost());
  if (chain_.empty() || chain_.back() != element) return;
  chain_.pop_back();
  if (element->tag >= 0 && element->tag < PDOC_TAG_UNKNOWN) by_tag_[element->tag].pop_back();
}

void pdoc_open_elements::clear() {
  chain_.clear();
  for (std::vector<uint32_t>& positions : by_tag_) positions.clear();
}

bool pdoc_open_elements::nearer(int tag, uint32_t than) const {
  return !by_tag_[tag].empty() && by_tag_[tag].back() > than;
}

pdoc_element* pdoc_open_elements::find(int tag) const {
  if (tag < 0 || tag >= PDOC_TAG_UNKNOWN || by_tag_[tag].empty()) return nullptr;
  const uint32_t at = by_tag_[tag].back();
  if ((tag == PDOC_TAG_TR || tag == PDOC_TAG_THEAD) && nearer(PDOC_TAG_TABLE, at)) return nullptr;
  if (tag == PDOC_TAG_TD && nearer(PDOC_TAG_TR, at)) return nullptr;
  return chain_[at];
}
