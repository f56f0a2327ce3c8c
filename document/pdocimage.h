// Completing an image element when it ends: its local file and its size.
#pragma once

#include "document/pdoc.h"

// Called when an IMG element ends (also when the input ends with it open).
void pdoc_image_finish(pdoc_builder* builder, pdoc_element* image);
