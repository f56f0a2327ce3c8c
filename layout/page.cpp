// Page entry: descends through html and body elements and hands the first
// sibling sequence with content to the flow.
#include "layout/page.h"

#include "layout/flow.h"

namespace {

bool is_container(const pdoc_element* e) {
  return e->type == ELE_HTML || e->type == ELE_HEAD || e->type == ELE_BODY;
}

bool is_flow_content(const pdoc_element* e) {
  switch (e->type) {
    case ELE_TEXT:
    case ELE_IMAGE:
    case ELE_TABLE:
    case ELE_ROW:
    case ELE_HRULE: return true;
    default: return false;
  }
}

// The html or body element around a sibling sequence, past any table.
pdoc_element* enclosing_container(const pdoc_element* e) {
  for (pdoc_element* p = e->parent; p; p = p->parent)
    if (is_container(p)) return p;
  return nullptr;
}

}  // namespace

pdoc_element* next_after(pdoc_element* element) {
  for (pdoc_element* e = element; e; e = e->parent)
    if (e->next) return e->next;
  return nullptr;
}

pdoc_element* layout_page(LayoutJob& job, RenderTarget* target, pdoc_element* element, int* offset) {
  while (element) {
    if (is_container(element)) {
      // Nothing has been laid out on this page yet, so a body met here (also
      // one that follows a doctype or an empty body) starts on this page
      // rather than leaving it blank. Bodies that the flow meets further
      // down a page still start a new page.
      *offset = 0;
      element = element->type != ELE_HEAD && element->child ? element->child : next_after(element);
      continue;
    }
    if (is_flow_content(element)) {
      int width = 0, height = 0;
      pdoc_element* result = layout_flow(job, target, &width, &height, element, offset, LAYOUT_PAGE_TOP);
      if (result) return result;
      // The body is finished: the next page starts with what follows it,
      // also when that is the next sibling of the html element around it.
      *offset = 0;
      pdoc_element* container = enclosing_container(element);
      return container ? next_after(container) : nullptr;
    }
    // Doctypes, stray cells and THEAD groups hold nothing of a page's own.
    *offset = 0;
    element = element->next ? element->next : next_after(element->parent);
  }
  return nullptr;
}
