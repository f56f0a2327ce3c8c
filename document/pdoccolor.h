// Colour values of element attributes: "#RRGGBB" numbers, the named colour
// table and bare six-digit hex, all turned into 0x00BBGGRR.
#pragma once

#include <cstddef>
#include <cstdint>

// One entry of the named colour table; rgb is written 0xRRGGBB.
struct pdoc_named_color {
  const char* name;
  uint32_t rgb;
};

// The named colours, searched case-insensitively from first to last.
extern const pdoc_named_color pdoc_color_names[];
extern const size_t pdoc_color_name_count;

// Swaps a 0xRRGGBB number into 0x00BBGGRR, dropping bits above the 24th.
int32_t pdoc_rgb_to_color(unsigned long rgb);

// The colour a text names: "#" and hex digits, a colour name, or exactly six
// hex digits without "#". Anything else is 0 (black); never -1.
int32_t parse_color(const char* text);
