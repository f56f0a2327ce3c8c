// Documents built from markup, everyday and hostile, paginated on recording
// pages at the screen's and at a printer's resolution: lengths a document
// may hold, text colours, a leading doctype, header rows taller than the
// page, and the count of what the pages leave out.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "document/pdocbuild.h"
#include "layout/left_out.h"
#include "layout/page.h"
#include "layout/paginate.h"
#include "layout_tree.h"
#include "platform/dc_cairo.h"

namespace {

// What a job drew: per page the text of every text_out with the text colour
// the context had for it, and what the job left out.
struct Job {
  std::vector<std::vector<std::pair<std::string, std::string>>> pages;
  LeftOutReport left_out;
  bool finished = false;

  std::vector<std::string> texts() const {
    std::vector<std::string> all;
    for (const auto& page : pages)
      for (const auto& drawn : page) all.push_back(drawn.first);
    return all;
  }
  int count(const std::string& text) const {
    std::vector<std::string> all = texts();
    return static_cast<int>(std::count(all.begin(), all.end(), text));
  }
};

std::vector<std::pair<std::string, std::string>> coloured_texts(const RecordingDc& dc) {
  std::vector<std::pair<std::string, std::string>> out;
  std::string colour = "0x000000";
  for (const std::string& op : dc.ops()) {
    if (op.rfind("text_color(", 0) == 0) colour = op.substr(11, 8);
    if (op.rfind("text_out(", 0) == 0) {
      const size_t quote = op.find('"');
      out.emplace_back(op.substr(quote + 1, op.size() - quote - 3), colour);
    }
  }
  return out;
}

Job lay_out(const std::string& html, int width, int height, int dpi = 96) {
  pdoc_document_ptr document(pdocbuild_string(html.c_str(), nullptr, nullptr));
  EXPECT_TRUE(document);
  Job job;
  if (!document) return job;
  RecordingPage page(width, height, dpi);
  struct Pass {
    RecordingPage* page;
    Job* job;
  } pass{&page, &job};
  PaginateHooks hooks;
  hooks.user = &pass;
  hooks.begin_page = [](void* user, int) { static_cast<Pass*>(user)->page->dc.clear(); };
  hooks.end_page = [](void* user, int, pdoc_element*, int) {
    auto* p = static_cast<Pass*>(user);
    p->job->pages.push_back(coloured_texts(p->page->dc));
  };
  testing::internal::CaptureStdout();
  LeftOutScope left_out;
  job.finished = paginate_document(page.target, document->root, &hooks, 500).finished;
  job.left_out = left_out.report();
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(page.target->get_resolution(page.target), dpi);
  return job;
}

TEST(Markup, NegativeTableLengthsCountAsNone) {
  for (int dpi : {96, 600}) {
    for (const char* attribute : {"cellspacing", "cellpadding", "border"}) {
      for (const char* value : {"-1", "-40", "-2147483648"}) {
        const std::string html =
            std::string("<table ") + attribute + "=" + value + " frame=void><tr><td>a<td>b<tr><td>c<td>d</table>after";
        Job job = lay_out(html, 2 * dpi, 2 * dpi, dpi);
        EXPECT_TRUE(job.finished) << html;
        EXPECT_EQ(job.texts(), (std::vector<std::string>{"a", "b", "c", "d", "after"})) << html;
        EXPECT_EQ(job.left_out.elements, 0) << html;
      }
    }
  }
}

// Lengths far past any page: at 600 per inch their scaled values no longer
// fit an int. Whatever cannot be shown is counted, nothing wraps.
TEST(Markup, HugeLengthsNeitherWrapNorVanishUncounted) {
  const std::vector<std::string> documents = {
      "<table cellspacing=400000000><tr><td>a</table>after",
      "<table cellpadding=2147483647 border=1><tr><td>a</table>after",
      "<table border=400000000><tr><td>a<td>b</table>after",
      "<table width=2147483647 height=2147483647><tr><td>a</table>after",
      "<hr size=400000000>a<hr size=2147483647 width=2147483647>after",
      "<img width=2147483647 height=5>a<img border=400000000 width=1 height=1>after",
      "<table><tr><td width=-50 height=-50>a<td width=2147483647>b</table>after",
  };
  for (int dpi : {96, 600}) {
    for (const std::string& html : documents) {
      Job job = lay_out(html, 5 * dpi, 7 * dpi, dpi);
      EXPECT_TRUE(job.finished) << html;
      EXPECT_TRUE(job.count("after") == 1 || job.left_out.elements > 0) << html << " at " << dpi;
    }
  }
}

TEST(Markup, TextWithoutAColourIsBlackWhateverWasDrawnBeforeOrAfterIt) {
  Job job = lay_out(
      "plain <font color=red>red</font> plain again<br>"
      "<table><thead><tr><th><font color=white>Head</font></th></tr></thead>"
      "<tr><td>body</td></tr></table>",
      400, 300);
  ASSERT_EQ(job.pages.size(), 1u);
  const std::vector<std::pair<std::string, std::string>> want = {{"plain ", "0x000000"},
                                                                 {"red ", "0x0000ff"},
                                                                 {"plain again", "0x000000"},
                                                                 {"Head", "0xffffff"},
                                                                 {"body", "0x000000"}};
  EXPECT_EQ(job.pages[0], want);
}

TEST(Markup, ADoctypeMakesNoPageOfItsOwn) {
  const std::string body = "<html><body>Hello<br>world</body></html>";
  Job plain = lay_out(body, 200, 100);
  Job with_doctype = lay_out("<!DOCTYPE html>" + body, 200, 100);
  ASSERT_EQ(plain.pages.size(), 1u);
  EXPECT_EQ(with_doctype.pages, plain.pages);

  // However the doctype lies in the tree: before the html element too.
  LayoutTree tree;
  tree.add(nullptr, ELE_DOCTYPE, PDOC_TAG_DOCTYPE, "!DOCTYPE");
  tree.text(tree.body(), "Hello");
  RecordingPage page(200, 100);
  EXPECT_EQ(paginate_document(page.target, tree.root()).pages, 1);
  EXPECT_EQ(page.dc.ops_starting("text_out"), std::vector<std::string>{"text_out(0,0,\"Hello\")"});
}

TEST(Markup, ADocumentAfterTheFirstHtmlElementStillHasItsPage) {
  Job job = lay_out("<html><body>one</body></html><html><body>two</body></html>", 200, 100);
  EXPECT_EQ(job.texts(), (std::vector<std::string>{"one", "two"}));
  EXPECT_EQ(job.pages.size(), 2u);
}

// A header of twelve lines on pages of six: the header cannot repeat above
// the body rows, so it is placed once and every body row follows.
TEST(Markup, HeaderRowsTallerThanThePageArePlacedOnceAndTheBodyFollows) {
  std::string html = "<table forcedisplay=W><thead><tr><td>";
  for (int i = 0; i < 12; i++) html += "H<br>";
  html += "</td></tr><tr><td>H2</td></tr></thead>";
  for (int i = 1; i <= 5; i++) html += "<tr><td>r" + std::to_string(i) + "</td></tr>";
  html += "</table>";
  Job job = lay_out(html, 200, 80);
  EXPECT_TRUE(job.finished);
  for (int i = 1; i <= 5; i++) EXPECT_EQ(job.count("r" + std::to_string(i)), 1) << i;
  EXPECT_EQ(job.count("H2"), 1);
  EXPECT_LE(job.pages.size(), 5u);
  for (size_t page = 1; page < job.pages.size(); page++)
    for (const auto& drawn : job.pages[page]) EXPECT_NE(drawn.first, "H") << "page " << page + 1;
  // The header's own cell is clipped on the first page; that is all that
  // is missing.
  EXPECT_EQ(job.left_out.elements, 1);
  EXPECT_EQ(job.left_out.first_page, 1);
}

TEST(Markup, WhatIsLeftOutIsCountedWithItsFirstPage) {
  // A cell taller than the page is clipped.
  std::string tall = "<p>before</p><table forcedisplay=W><tr><td>";
  for (int i = 0; i < 30; i++) tall += "line<br>";
  Job clipped = lay_out(tall + "</td></tr></table>", 200, 100);
  EXPECT_EQ(clipped.left_out.elements, 1);
  EXPECT_EQ(clipped.left_out.first_page, 2) << "the table moves to the second page";

  // A table that cannot be fitted ends its sequence: it and the two
  // elements after it are missing, the blank between them is not counted.
  Job failed = lay_out(
      "<p>before</p><table forcedisplay=W><tr><td><img width=100000 height=5>"
      "</table> <b>one</b><hr>",
      100, 100);
  EXPECT_EQ(failed.left_out.elements, 3);
  EXPECT_EQ(failed.left_out.first_page, 1);
  EXPECT_EQ(failed.texts(), std::vector<std::string>{"before"});

  // A word wider than any page is skipped after a page that could not
  // place it.
  Job skipped = lay_out("fits<br>unbreakablewordwiderthanthepage<br>after", 100, 100);
  EXPECT_EQ(skipped.left_out.elements, 1);
  EXPECT_EQ(skipped.left_out.first_page, 2);
  EXPECT_EQ(skipped.count("after"), 1);

  Job whole = lay_out("<table><tr><td>a<td>b</table>after", 200, 100);
  EXPECT_EQ(whole.left_out.elements, 0);
  EXPECT_EQ(whole.left_out.first_page, 0);
}

// The first page of html on a white image surface.
std::unique_ptr<CairoDc> draw_first_page(const std::string& html, int width, int height) {
  pdoc_document_ptr document(pdocbuild_string(html.c_str(), nullptr, nullptr));
  auto dc = CairoDc::create_screen(width, height);
  RenderTargetPtr target(rt_create(dc.get(), {0, 0, width - 1, height - 1}, RT_VERSION));
  target->fill_rect(target.get(), 0, 0, width, height, 0xFFFFFF);
  int offset = 0;
  LayoutJob job;
  layout_page(job, target.get(), document->root, &offset);
  return dc;
}

// Pixels of a rectangle that pass a test of their 0x00BBGGRR colour.
template <typename Test>
int pixels(CairoDc& dc, int x0, int y0, int x1, int y1, Test test) {
  int n = 0;
  for (int y = y0; y < y1; y++)
    for (int x = x0; x < x1; x++) n += test(dc.get_pixel(x, y)) ? 1 : 0;
  return n;
}
bool reddish(DcColor c) {
  return (c & 0xFF) > 160 && ((c >> 8) & 0xFF) < 110 && (c >> 16) < 110;
}
bool dark(DcColor c) {
  return (c & 0xFF) < 60 && ((c >> 8) & 0xFF) < 60 && (c >> 16) < 60;
}

// Text is measured a line at a time before it is drawn: the red word after
// the plain one must not lend it its colour.
TEST(MarkupPixels, PlainTextBeforeARedWordIsBlack) {
  auto dc = draw_first_page("<font size=7>Plain </font><font size=7 color=red>Red</font>", 400, 80);
  EXPECT_GT(pixels(*dc, 0, 0, 60, 60, dark), 50);
  EXPECT_EQ(pixels(*dc, 0, 0, 60, 60, reddish), 0);
  EXPECT_GT(pixels(*dc, 60, 0, 400, 60, reddish), 50);
}

TEST(MarkupPixels, BodyCellsUnderAWhiteHeaderAreNotWhiteOnWhite) {
  auto dc = draw_first_page(
      "<table width=100% cellspacing=0><thead><tr bgcolor=#0B4F6C><th><font size=5 color=white>"
      "Head</font></th></tr></thead><tr><td><font size=5>Body</font></td></tr></table>",
      300, 120);
  const DcColor header = dc_rgb(0x0B, 0x4F, 0x6C);
  int y = 0;
  // Along the right edge, where no text lies.
  while (y < 120 && dc->get_pixel(298, y) != header) y++;
  while (y < 120 && dc->get_pixel(298, y) == header) y++;
  ASSERT_LT(y, 90) << "the header row was not found";
  EXPECT_GT(pixels(*dc, 0, y, 300, y + 30, dark), 20);
}

}  // namespace
