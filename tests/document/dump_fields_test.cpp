// Dump fields: record order, colour forms and quoting.
#include <gtest/gtest.h>

#include <string>

#include "document/pdocdump_fields.h"

TEST(DumpFields, TextImageAndRule) {
  pdoc_element text{};
  text.type = ELE_TEXT;
  text.style.face = "Ti\"mes";
  text.style.size = 3;
  text.style.flags = 9;
  text.style.color = 0xFF;
  text.style.outline_color = -1;
  std::string s;
  pdoc_dump_fields(s, &text);
  EXPECT_EQ(s, " face=\"Ti\\\"mes\" size=3 flags=9 align=0 color=0x000000FF outline_color=-1");

  pdoc_element img{};
  img.type = ELE_IMAGE;
  s.clear();
  pdoc_dump_fields(s, &img);
  EXPECT_EQ(s, " width=0 height=0 border=0 align=0 src=-");

  pdoc_element hr{};
  hr.type = ELE_HRULE;
  hr.rule.width_frac = 0.75;
  s.clear();
  pdoc_dump_fields(s, &hr);
  EXPECT_EQ(s, " align=0 noshade=0 size=0 width=0 width_frac=0.75");
}
