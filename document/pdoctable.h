// Table normalisation: turning a finished table into a rectangular grid.
#pragma once

#include "document/pdoc.h"

// Called when a TABLE element ends, before its parent becomes current. May
// unlink and free the table.
void pdoc_normalize_table(pdoc_builder* builder, pdoc_element* table);
