// Attribute reading for new elements. For now only the name attribute is
// read; every other field keeps the class defaults set at creation.
#include "document/pdocattr.h"

#include <strings.h>

#include "support/qelstring.h"

namespace {

bool has_name_attr(int type) {
  return type == ELE_TEXT || type == ELE_IMAGE || type == ELE_TABLE || type == ELE_ROW ||
         type == ELE_CELL;
}

}  // namespace

void pdoc_read_attributes(pdoc_builder*, pdoc_element* element, const char** attributes) {
  if (!element || !attributes || !has_name_attr(element->type)) return;
  for (const char** a = attributes; a[0] && a[1]; a += 2) {
    if (strcasecmp(a[0], "name") == 0) qel_strlcpy(element->name_attr, a[1], sizeof element->name_attr);
  }
}
