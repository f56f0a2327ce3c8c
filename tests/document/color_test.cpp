// Colour values: hex forms, names, the two deliberate table values, junk.
#include <gtest/gtest.h>

#include "document/pdoccolor.h"

TEST(Color, HexNamesAndJunk) {
  for (const char* red : {"#FF0000", "red", "RED", "ff0000"}) EXPECT_EQ(parse_color(red), 0x000000FF) << red;
  EXPECT_EQ(parse_color("#fff"), 0x00FF0F00);  // read as the number 0xFFF
  EXPECT_EQ(parse_color("bogus"), 0);
  EXPECT_EQ(parse_color("#"), 0);
  EXPECT_EQ(parse_color("#1FF0000"), 0x000000FF);  // bits above 24 dropped
  EXPECT_EQ(parse_color(nullptr), 0);
  EXPECT_EQ(parse_color("MediumPurple"), 0x00D87093);
  EXPECT_EQ(parse_color("palevioletred"), 0x009370D8);
  EXPECT_EQ(parse_color("Grey"), parse_color("gray"));
  EXPECT_EQ(parse_color("yellowgreen"), 0x0032CD9A);
  EXPECT_EQ(pdoc_color_name_count, 147u);
}
