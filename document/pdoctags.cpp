// The fixed table of twenty element kinds, searched in index order.
#include "document/pdoctags.h"

#include "document/pdoc.h"

namespace {

struct TagEntry {
  const char* name;
  int type;
};

constexpr TagEntry kTags[PDOC_TAG_UNKNOWN] = {
    {"!DOCTYPE", ELE_DOCTYPE}, {"HTML", ELE_HTML}, {"TITLE", ELE_TEXT},  {"HEAD", ELE_HEAD}, {"BODY", ELE_BODY},
    {"TEXT", ELE_TEXT},        {"P", ELE_TEXT},    {"B", ELE_TEXT},      {"U", ELE_TEXT},    {"I", ELE_TEXT},
    {"BR", ELE_TEXT},          {"FONT", ELE_TEXT}, {"CENTER", ELE_TEXT}, {"PRE", ELE_TEXT},  {"IMG", ELE_IMAGE},
    {"TABLE", ELE_TABLE},      {"TR", ELE_ROW},    {"TD", ELE_CELL},     {"HR", ELE_HRULE},  {"THEAD", ELE_THEAD},
};

}  // namespace

int pdoc_tag_index(const char* name) {
  if (!name) return PDOC_TAG_UNKNOWN;
  // The table's names are upper case; most entries differ at the first byte.
  unsigned char first = static_cast<unsigned char>(name[0]);
  if (first >= 'a' && first <= 'z') first = static_cast<unsigned char>(first - ('a' - 'A'));
  for (int i = 0; i < PDOC_TAG_UNKNOWN; ++i)
    if (static_cast<unsigned char>(kTags[i].name[0]) == first && pdoc_same_name(kTags[i].name, name)) return i;
  return PDOC_TAG_UNKNOWN;
}

const char* pdoc_tag_name(int tag) {
  return tag >= 0 && tag < PDOC_TAG_UNKNOWN ? kTags[tag].name : "";
}

int pdoc_tag_class(int tag) {
  return tag >= 0 && tag < PDOC_TAG_UNKNOWN ? kTags[tag].type : 0;
}
