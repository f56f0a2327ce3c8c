// Text primitives of the layout engine: a text run's font on a target, word
// fitting, measuring the next line from a position, stepping positions.
#pragma once

#include "document/pdoc.h"
#include "layout/layout_job.h"
#include "layout/render_target.h"

// v x resolution / 96, truncating: document lengths are in 1/96 inch. The
// product saturates at the ends of int instead of wrapping.
int scale(RenderTarget* t, int v);
// scale for a size from the document, bounded by document_length.
int scaled_length(RenderTarget* t, int v);

int size_code_points(int size_code);
void select_element_font(LayoutJob& job, RenderTarget* t, const pdoc_element* element);
int fit_text(RenderTarget* t, const char* text, int length, int max_width, RtSize* size, int* widest);
int measure_line(LayoutJob& job, RenderTarget* t, pdoc_element* element, int offset, int available_width, RtSize* size,
                 int* descent, int* widest);
pdoc_element* advance_units(pdoc_element* element, int units, int* offset);
int char_at(const pdoc_element* element, int offset);
void skip_break_char(pdoc_element** element, int* offset);
bool is_blank(int byte);
int word_length(const char* text, int n);
int last_break(const char* text, int n);
bool starts_with_break(const pdoc_element* element);
