// Image completion hook. Until pictures are fetched and measured here an
// image keeps its source as written and the size its attributes gave.
#include "document/pdocimage.h"

void pdoc_image_finish(pdoc_builder*, pdoc_element*) {}
