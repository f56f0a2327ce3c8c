// Attribute reading through the builder: value syntaxes and per-class fields.
#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "document/pdocbuild.h"
#include "document/pdocvalues.h"

namespace {

pdoc_document_ptr build(const char* html) {
  testing::internal::CaptureStdout();
  pdoc_document_ptr d(pdocbuild_string(html, nullptr, nullptr));
  testing::internal::GetCapturedStdout();
  return d;
}

pdoc_element* first_of(pdoc_element* e, int type) {
  for (; e; e = e->next) {
    if (e->type == type) return e;
    if (pdoc_element* f = first_of(e->child, type)) return f;
  }
  return nullptr;
}

}  // namespace

TEST(Values, IntegersSaturateAndLengthsSplit) {
  EXPECT_EQ(pdoc_read_int("  -12px"), -12);
  EXPECT_EQ(pdoc_read_int("x"), 0);
  EXPECT_EQ(pdoc_read_int("99999999999"), INT32_MAX);
  EXPECT_EQ(pdoc_read_int("-99999999999"), INT32_MIN);
  int32_t px = 7;
  double frac = 0;
  pdoc_read_length("50%", &px, &frac);
  EXPECT_EQ(px, 7);
  EXPECT_DOUBLE_EQ(frac, 0.5);
  EXPECT_EQ(pdoc_read_font_size(INT32_MAX, "+5"), INT32_MAX);
}

TEST(Attributes, TextRunsModifyTheInheritedStyle) {
  pdoc_document_ptr d = build(
      "<font size=+2 color=red face=Arial>a</font><font size=-1>b</font>"
      "<font size=+1 size=+1 outline=#00FF00>c</font><center align=left>d</center>");
  pdoc_element* a = first_of(d->root, ELE_TEXT);
  ASSERT_TRUE(a);
  EXPECT_EQ(a->style.size, 5);
  EXPECT_EQ(a->style.color, 0xFF);
  EXPECT_STREQ(a->style.face, "Arial");
  pdoc_element* b = a->next;
  EXPECT_EQ(b->style.size, 2);
  EXPECT_EQ(b->style.color, -1);
  pdoc_element* c = b->next;
  EXPECT_EQ(c->style.size, 5);
  EXPECT_EQ(c->style.outline_color, 0x0000FF00);
  EXPECT_TRUE(c->style.flags & STYLE_OUTLINE);
  EXPECT_EQ(c->next->style.align, ALIGN_CENTER);
}

TEST(Attributes, ImagesTablesCellsRules) {
  pdoc_document_ptr d = build(
      "<img width=50% src=a.png src=b.png embed-encoding name=pic>"
      "<table frame=box forcedisplay=Height width=80% bgcolor=MediumPurple><tr valign=middle>"
      "<td width=50% height=20 colspan=0 rowspan=-4 valign=bottom>x</td></tr></table>"
      "<hr size=0 width=75% noshade>");
  pdoc_element* img = first_of(d->root, ELE_IMAGE);
  ASSERT_TRUE(img);
  EXPECT_EQ(img->image.width, 50);
  EXPECT_STREQ(img->image.src, "b.png");
  EXPECT_EQ(img->image.embedded, 0);
  EXPECT_STREQ(img->name_attr, "pic");
  pdoc_element* table = first_of(d->root, ELE_TABLE);
  ASSERT_TRUE(table);
  EXPECT_EQ(table->table.frame, 0);
  EXPECT_EQ(table->table.forcedisplay, 'H');
  EXPECT_DOUBLE_EQ(table->table.width_frac, 0.8);
  EXPECT_EQ(table->table.bgcolor, 0x00D87093);
  EXPECT_EQ(table->table.cellpadding, 1);
  EXPECT_EQ(table->table.cellspacing, 2);
  pdoc_element* row = first_of(table, ELE_ROW);
  EXPECT_EQ(row->row.valign, 0);
  pdoc_element* cell = row->child;
  EXPECT_DOUBLE_EQ(cell->cell.width_frac, 0.5);
  EXPECT_EQ(cell->cell.width, 0);
  EXPECT_EQ(cell->cell.height, 20);
  EXPECT_EQ(cell->cell.colspan, 0);
  EXPECT_EQ(cell->cell.rowspan, 1);  // a negative span counts as not given
  EXPECT_EQ(cell->cell.valign, ALIGN_BOTTOM);
  pdoc_element* hr = first_of(d->root, ELE_HRULE);
  ASSERT_TRUE(hr);
  EXPECT_EQ(hr->rule.size, 1);
  EXPECT_DOUBLE_EQ(hr->rule.width_frac, 0.75);
  EXPECT_EQ(hr->rule.noshade, 1);

  pdoc_document_ptr e = build(
      "<table forcedisplay><tr><td colspan=2000000000>x</td></tr></table>"
      "<img embed-encoding></img>");
  EXPECT_EQ(first_of(e->root, ELE_TABLE)->table.forcedisplay, 'B');
  EXPECT_EQ(first_of(e->root, ELE_CELL)->cell.colspan, 1000);
  pdoc_element* inline_img = first_of(e->root, ELE_IMAGE);
  EXPECT_EQ(inline_img->image.embedded, 1);
  EXPECT_EQ(inline_img->image.src, nullptr);  // no data came, so there is no picture
}
