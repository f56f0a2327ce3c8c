// Bulleted lists, emulated by borderless two-column tables: a bullet cell
// and a content cell per item.
#pragma once

#include "document/pdoc.h"

// Start tag LI, UL or OL (tag as written).
void pdoc_list_start(pdoc_builder* builder, const char* tag);
