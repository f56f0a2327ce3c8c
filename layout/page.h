// One page of a document: finds where the page's content starts and lays it
// out with the flow.
#pragma once

#include "document/pdoc.h"
#include "layout/layout_job.h"

struct RenderTarget;

// Lays out and draws one page from (element, offset); returns where the next
// page starts (offset updated), null when the document is finished. An
// unchanged element and offset mean nothing could be placed.
pdoc_element* layout_page(LayoutJob& job, RenderTarget* target, pdoc_element* element, int* offset);

// What follows element and everything below it in the document: its next
// sibling, or the next sibling of the nearest ancestor that has one.
pdoc_element* next_after(pdoc_element* element);
