// The element table: canonical names and classes of the tags the builder
// turns into elements.
#pragma once

// PDOC_TAG_* index of a tag name (case-insensitive), PDOC_TAG_UNKNOWN when
// the table does not hold it.
int pdoc_tag_index(const char* name);

// Canonical name and ELE_* class of an index below PDOC_TAG_UNKNOWN.
const char* pdoc_tag_name(int tag);
int pdoc_tag_class(int tag);
