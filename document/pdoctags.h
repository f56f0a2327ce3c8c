// The element table: canonical names and classes of the tags the builder
// turns into elements.
#pragma once

// Tag and attribute names are equal ignoring ASCII case (what strcasecmp
// does in the C locale). Inline: the builder compares names on every tag,
// and most comparisons end at the first byte.
inline bool pdoc_same_name(const char* a, const char* b) {
  for (;; ++a, ++b) {
    unsigned char x = static_cast<unsigned char>(*a), y = static_cast<unsigned char>(*b);
    if (x >= 'A' && x <= 'Z') x = static_cast<unsigned char>(x + ('a' - 'A'));
    if (y >= 'A' && y <= 'Z') y = static_cast<unsigned char>(y + ('a' - 'A'));
    if (x != y) return false;
    if (x == 0) return true;
  }
}

// PDOC_TAG_* index of a tag name (case-insensitive), PDOC_TAG_UNKNOWN when
// the table does not hold it.
int pdoc_tag_index(const char* name);

// Canonical name and ELE_* class of an index below PDOC_TAG_UNKNOWN.
const char* pdoc_tag_name(int tag);
int pdoc_tag_class(int tag);
