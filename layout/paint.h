// Drawing of what the flow and table placement have placed: text lines,
// pictures with their frames, rules, cell backgrounds and bevelled frames.
#pragma once

#include <cstdint>

#include "document/pdoc.h"
#include "layout/layout_job.h"

struct RenderTarget;

// Fixed colours (0x00BBGGRR).
inline constexpr int32_t PAINT_BLACK = 0x000000;
inline constexpr int32_t PAINT_GREY = 0x808080;
inline constexpr int32_t PAINT_SILVER = 0xC0C0C0;
inline constexpr int32_t PAINT_LIGHT = 0xC8D0D4;  // red 212, green 208, blue 200

// Edge colours of a frame: top and left, then bottom and right.
struct BevelStyle {
  int32_t top_left;
  int32_t bottom_right;
};
inline constexpr BevelStyle BEVEL_RAISED{PAINT_SILVER, PAINT_GREY};
inline constexpr BevelStyle BEVEL_SUNKEN{PAINT_GREY, PAINT_SILVER};
constexpr BevelStyle bevel_flat(int32_t colour) {
  return BevelStyle{colour, colour};
}

// Frame thickness of a picture in pixels: the scaled border, at least 1 when
// a border is given at all.
int image_border(RenderTarget* target, const pdoc_element* image);

// Outer size of a picture with its frame.
void image_box(RenderTarget* target, const pdoc_element* image, int* width, int* height);

// Draws `units` units of a measured line from (element, offset), left edge at
// x and top at y; every run stands on the baseline y + line_height - descent.
void paint_line(LayoutJob& job, RenderTarget* target, int x, int y, int line_height, int descent, pdoc_element* element,
                int offset, int units);

// The picture and its black frame, frame's outer top-left corner at (x, y).
void draw_image_box(RenderTarget* target, const pdoc_element* image, int x, int y);

// Decodes a picture file and stretches it into the box. False when the file
// is missing or unreadable; nothing is drawn then.
bool draw_image_file(RenderTarget* target, const char* path, int x, int y, int w, int h);

// An n-pixel frame around the w x h box whose outer top-left corner is (x, y).
void draw_bevel(RenderTarget* target, int x, int y, int w, int h, int n, BevelStyle style);

// A rule from (x0, y) to (x1, y + bar): a solid black bar when noshade, else a
// sunken line whose side and bottom edges appear only when size is above 1.
void paint_rule(RenderTarget* target, int x0, int y, int x1, int bar, int size, bool noshade);

// Background of a placed cell: covers x ... x + w and y ... y + h.
void paint_cell_background(RenderTarget* target, int x, int y, int w, int h, int32_t colour);
