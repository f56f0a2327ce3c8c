// Reading a new element's start-tag attributes into its record.
#pragma once

#include "document/pdoc.h"

// Called once when an element is created, after its class defaults are set.
// `attributes` is name, value, ..., null (or null for no attributes).
void pdoc_read_attributes(pdoc_builder* builder, pdoc_element* element, const char** attributes);
