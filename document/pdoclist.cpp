// List emulation drives the builder's own handlers, so a list gets exactly
// the repairs the equivalent table markup would get.
#include "document/pdoclist.h"

#include <strings.h>

#include "document/pdocbuild.h"
#include "document/pdocbuilder.h"

namespace {

const char* kListTable[] = {"name",        "LI", "forcedisplay", "w", "BORDER", "0",
                            "cellspacing", "0",  "cellpadding",  "0", nullptr};
const char* kListRow[] = {"name", "LI", nullptr};
const char* kBulletCell[] = {"name", "LI", "valign", "top", nullptr};
const char* kContentCell[] = {"name", "LI", nullptr};
const char* kBulletFont[] = {"face", "symbol", "size", "-1", nullptr};

// The bullet in the Symbol face, then a no-break space.
constexpr char kBullet[] = "\xB7";
constexpr char kNoBreakSpace[] = "\xA0";

// A row with its bullet cell, leaving the content cell open.
void bullet_item(pdoc_builder* b) {
  pdocbuild::startElement(b, "TR", kListRow);
  pdocbuild::startElement(b, "TD", kBulletCell);
  pdocbuild::startElement(b, "font", kBulletFont);
  pdocbuild::characters(b, kBullet, 1);
  pdocbuild::endElement(b, "font");
  pdocbuild::characters(b, kNoBreakSpace, 1);
  pdocbuild::startElement(b, "TD", kContentCell);
}

}  // namespace

void pdoc_list_start(pdoc_builder* b, const char* tag) {
  const bool item = strcasecmp(tag, "LI") == 0;
  if (!b->current || b->list_depth == 0) {
    const int depth = b->current ? b->list_depth + 1 : 1;
    pdocbuild::startElement(b, "TABLE", kListTable);
    if (item) bullet_item(b);
    b->list_depth = depth;
    return;
  }
  int depth = b->list_depth;
  b->list_depth = 0;
  if (item && !(b->current && b->current->type == ELE_TABLE)) {
    pdocbuild::endElement(b, "TD");
    pdocbuild::endElement(b, "TR");
  }
  if (item) {
    bullet_item(b);
  } else {
    pdocbuild::startElement(b, "TABLE", kListTable);
    depth += 1;
  }
  b->list_depth = depth;
}
