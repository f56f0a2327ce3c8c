// Table normalisation hook. Until the grid is built here a finished table
// keeps what the builder gave it: its rows, their span totals, no matrix.
#include "document/pdoctable.h"

void pdoc_normalize_table(pdoc_builder*, pdoc_element*) {}
