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
    case ELE_HRULE:
      return true;
    default:
      return false;
  }
}

pdoc_element* enclosing_body(pdoc_element* e) {
  for (; e; e = e->parent)
    if (e->type == ELE_BODY) return e;
  return nullptr;
}

}  // namespace

pdoc_element* layout_page(RenderTarget* target, pdoc_element* element, int* offset) {
  int flags = LAYOUT_PAGE_TOP;
  pdoc_element* body = nullptr;
  while (element && is_container(element)) {
    if (element->type == ELE_HEAD) {
      element = element->next;
    } else {
      if (element->type == ELE_BODY) body = element;
      element = element->child;
    }
    *offset = 0;
  }
  // A page that starts inside a body (a continuation) still belongs to it.
  if (!body) body = enclosing_body(element);

  for (; element; element = element->next) {
    if (is_container(element)) {
      *offset = 0;
      return element;  // every body starts a new page
    }
    if (is_flow_content(element)) {
      int width = 0, height = 0;
      pdoc_element* result = layout_flow(target, &width, &height, element, offset, flags);
      if (!result && body) {
        *offset = 0;
        return body->next;
      }
      return result;
    }
    *offset = 0;
  }
  return nullptr;
}
