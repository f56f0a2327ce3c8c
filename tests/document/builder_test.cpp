// Builder repairs: tree shape and the exact report lines for each kind of
// malformed markup, lists, whitespace, and the row/ancestor helpers.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <algorithm>
#include <initializer_list>
#include <fstream>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "document/pdocbuild.h"
#include "document/pdocbuilder.h"
#include "document/pdocdump.h"
#include "document/pdocstyle.h"
#include "document/pdoctags.h"
#include "document/qelhtmlparser.h"

namespace {

using Doc = pdoc_document_ptr;

std::string dump(const pdoc_document* doc, bool fields = false) {
  char* buf = nullptr;
  size_t len = 0;
  FILE* f = open_memstream(&buf, &len);
  pdoc_dump(f, doc, fields);
  fclose(f);
  std::string s(buf, len);
  free(buf);
  return s;
}

struct Built {
  Doc doc;
  std::string reports;  // everything the builder printed
  std::string tree;
  pdoc_element* body() const { return doc->root ? doc->root->child : nullptr; }
};

Built build(const char* html, bool with_dump = true) {
  Built b;
  testing::internal::CaptureStdout();
  b.doc.reset(pdocbuild_string(html, nullptr, nullptr));
  b.reports = testing::internal::GetCapturedStdout();
  if (with_dump) b.tree = dump(b.doc.get());
  return b;
}
Built build(const std::string& html, bool with_dump = true) {
  return build(html.c_str(), with_dump);
}

std::string report(int line, int col, const std::string& message) {
  return "PDOC_BUILDER ERROR at (line,col) (" + std::to_string(line) + "," + std::to_string(col) + "): " + message +
         "\n";
}

TEST(Builder, TextGetsAutomaticHtmlAndBody) {
  Built b = build("Hello");
  EXPECT_EQ(b.tree, "HTML\n  BODY\n    TEXT data=\"Hello\"\n");
  EXPECT_EQ(b.reports, "");
}

TEST(Builder, EmptyDocumentsHaveNoRoot) {
  for (const char* html : {"", "  \n\t ", "<!-- only a comment -->"}) {
    Built b = build(html);
    ASSERT_TRUE(b.doc);
    EXPECT_EQ(b.doc->root, nullptr) << html;
  }
  Doc none(pdocbuild_string(nullptr, nullptr, nullptr));
  ASSERT_TRUE(none);
  EXPECT_EQ(none->root, nullptr);
  EXPECT_EQ(pdocbuild_free(nullptr), 1);
}

TEST(Builder, StylesComeFromTheStackNotTheTree) {
  Built b = build("<b>bold</b> text");
  EXPECT_EQ(b.tree, "HTML\n  BODY\n    B data=\"bold \"\n    TEXT data=\"text\"\n");
  pdoc_element* bold = b.body()->child;
  EXPECT_EQ(bold->style.flags, STYLE_BOLD);
  EXPECT_STREQ(bold->style.face, "Times");
  EXPECT_EQ(bold->style.size, 3);
  EXPECT_EQ(bold->style.color, -1);
  EXPECT_EQ(bold->next->style.flags, 0);  // </b> popped the bold style

  // A paragraph force-ended by <b> leaves its style in force for what follows.
  Built p = build("<p>a<i>b</i>c</p>");
  EXPECT_EQ(p.tree, "HTML\n  BODY\n    P data=\"a\"\n    I data=\"b\"\n    TEXT data=\"c\"\n");
  EXPECT_EQ(p.reports, report(1, 18, "Unmatched ending. name: p, curr: BODY. Ignoring."));

  Built nested = build("<u><i>x</i>y</u>z");
  pdoc_element* run = nested.body()->child;                     // the empty U run was dropped
  EXPECT_EQ(run->style.flags, STYLE_ITALIC | STYLE_UNDERLINE);  // I inherits U
  EXPECT_EQ(run->next->style.flags, STYLE_UNDERLINE);           // TEXT after </i>
  EXPECT_EQ(run->next->next->style.flags, 0);                   // </u> after TEXT closed
  EXPECT_EQ(nested.tree, "HTML\n  BODY\n    I data=\"x\"\n    TEXT data=\"y\"\n    TEXT data=\"z\"\n");
}

TEST(Builder, SimpleTable) {
  Built b = build("<table><tr><td>x</td></tr></table>");
  EXPECT_EQ(b.tree, "HTML\n  BODY\n    TABLE\n      TR\n        TD\n          TEXT data=\"x\"\n");
  EXPECT_EQ(b.reports, "");
  pdoc_element* table = b.body()->child;
  EXPECT_EQ(table->table.rows, 1);
  EXPECT_EQ(table->child->row.span_total, 1);
  EXPECT_EQ(table->table.cellpadding, 1);
  EXPECT_EQ(table->table.cellspacing, 2);
  EXPECT_EQ(table->table.forcedisplay, 'B');
  EXPECT_EQ(table->child->child->cell.colspan, 1);
  EXPECT_EQ(table->child->child->cell.bgcolor, -1);
}

TEST(Builder, CellsAndRowsOpenWhatTheyNeed) {
  Built td = build("<td>a");
  EXPECT_EQ(td.tree, "HTML\n  BODY\n    TABLE\n      TR\n        TD\n          TEXT data=\"a\"\n");
  EXPECT_EQ(td.reports, "");

  Built rows = build("<tr><td>a<tr><td>b");
  EXPECT_EQ(rows.tree,
            "HTML\n  BODY\n    TABLE\n      TR\n        TD\n          TEXT data=\"a\"\n"
            "      TR\n        TD\n          TEXT data=\"b\"\n");
  EXPECT_EQ(rows.reports, report(1, 14, "Unmatched ending. name: tr, curr: TD. Found it. Closing em..") +
                              report(1, 14, "-Forced ending TD."));
  EXPECT_EQ(rows.body()->child->table.rows, 2);

  Built cells = build("<table><tr><td>a<td>b<th>c</table>");
  EXPECT_EQ(cells.body()->child->child->row.span_total, 3);
  EXPECT_EQ(cells.reports, report(1, 35, "-Forced ending TD.") + report(1, 35, "-Forced ending TR."));
}

TEST(Builder, ContentOutsideCellsIsDroppedOrRepaired) {
  Built text = build("<table>lost<tr>lost too<td>kept</td></tr></table>");
  EXPECT_EQ(text.tree, "HTML\n  BODY\n    TABLE\n      TR\n        TD\n          TEXT data=\"kept\"\n");
  EXPECT_EQ(text.reports, "");

  Built bold = build("<table><tr><b>x</b><td>y</td></tr></table>");
  EXPECT_EQ(bold.tree, "HTML\n  BODY\n    TABLE\n      TR\n        TD\n          TEXT data=\"y\"\n");
  EXPECT_EQ(bold.reports, report(1, 15, "WARNING, should be a cell when in a row. Ignoring tag.") +
                              report(1, 20, "Unmatched ending. name: b, curr: TR. Ignoring."));

  Built row = build("<table><td>x</td></tr></table>");
  EXPECT_EQ(row.tree, "HTML\n  BODY\n    TABLE\n      TR\n        TD\n          TEXT data=\"x\"\n");
  EXPECT_EQ(row.reports, report(1, 12, "WARNING, should be a row when in a table. Fixing by adding a row."));
}

TEST(Builder, HeadGoesIntoAnAutomaticBody) {
  Built b = build("<html><head><title>T</title></head><body>Hi</body></html>");
  EXPECT_EQ(b.tree, "HTML\n  BODY\n    HEAD\n      TITLE data=\"T\"\n    BODY\n      TEXT data=\"Hi\"\n");
  EXPECT_EQ(b.reports, report(1, 58, "Unmatched ending. name: html, curr: BODY. Found it. Closing em..") +
                           report(1, 58, "-Forced ending BODY."));
}

TEST(Builder, UnknownAndUnmatchedTags) {
  Built unknown = build("<blink>x</blink><span>y</span><meta a=b>z");
  EXPECT_EQ(unknown.reports, report(1, 8, "Unknown TAG blink.") + report(1, 17, "Unknown ending TAG blink. Ignoring.") +
                                 report(1, 42, "Unknown ending TAG meta. Ignoring."));
  EXPECT_EQ(unknown.tree, "HTML\n  BODY\n    TEXT data=\"xyz\"\n");

  Built orphan = build("a<br></tr>");
  EXPECT_EQ(orphan.reports, report(1, 11, "Unmatched ending. name: tr, curr: BODY. Parent not found, Ignoring."));

  Built styled = build("<b>x</i>");
  EXPECT_EQ(styled.reports, report(1, 9,
                                   "endElement: Ignoring </i> unmatched text ending. (current->name: B) "
                                   "(current->parent->name: BODY)\n"));

  Built plain = build("x</center>y");
  EXPECT_EQ(plain.reports, report(1, 11, "Unmatched ending. name: center, curr: BODY. Ignoring."));
  EXPECT_EQ(plain.tree, "HTML\n  BODY\n    TEXT data=\"x\"\n    TEXT data=\"y\"\n");
  EXPECT_EQ(build("x</font>").reports, "");  // a stray </font> is not worth a report
}

TEST(Builder, ADoctypeBeforeTheDocumentMakesNoElement) {
  for (const std::string html : {"<html><head><title>T</title></head><body>Hi</body></html>", "Hello <b>world</b>",
                                 "<table><tr><td>x</table><p>after", ""}) {
    const std::string without = dump(build(html).doc.get(), true);
    for (const std::string doctype :
         {"<!DOCTYPE html>", "<!doctype HTML PUBLIC \"-//W3C//DTD HTML 4.01//EN\">\n", "\n  <!DOCTYPE html>\n"}) {
      EXPECT_EQ(dump(build(doctype + html).doc.get(), true), without) << doctype << html;
    }
  }
  // Inside a document it stays what it was: an element the layout skips.
  EXPECT_EQ(build("a<!DOCTYPE html>b").tree, "HTML\n  BODY\n    TEXT data=\"a\"\n    !DOCTYPE\n    TEXT data=\"b\"\n");
}

TEST(Builder, AliasesAndRules) {
  Built b = build("<strong>s</strong><em>e</em>a<hr>b<br>c");
  EXPECT_EQ(b.tree,
            "HTML\n  BODY\n    B data=\"s\"\n    I data=\"e\"\n    TEXT data=\"a\"\n    HR\n"
            "    TEXT data=\"b\"\n    BR data=\" \"\n    TEXT data=\"c\"\n");
  EXPECT_EQ(b.reports, "");
  pdoc_element* rule = b.body()->child->next->next->next;
  EXPECT_EQ(rule->rule.size, 1);
  EXPECT_EQ(rule->rule.align, ALIGN_CENTER);
  EXPECT_DOUBLE_EQ(rule->rule.width_frac, 1.0);
}

TEST(Builder, LineBreakThatStaysOpenTakesText) {
  // "< br>" closes itself under the name " br", which ends nothing: the
  // break run stays open and the text grows its one-space buffer.
  Built b = build("< br>x y and more words to outgrow the first allocation");
  EXPECT_EQ(b.tree, "HTML\n  BODY\n    BR data=\" x y and more words to outgrow the first allocation\"\n");
  EXPECT_EQ(b.reports, report(1, 6, "Unknown ending TAG  br. Ignoring."));
}

TEST(Builder, ListsBecomeBorderlessTables) {
  Built b = build("<ul><li>One<li>Two</ul>");
  const std::string item =
      "      TR name=\"LI\"\n"
      "        TD name=\"LI\"\n"
      "          FONT data=\"\\xb7\"\n"
      "          TEXT data=\"\\xa0\"\n"
      "        TD name=\"LI\"\n";
  EXPECT_EQ(b.tree, "HTML\n  BODY\n    TABLE name=\"LI\"\n" + item + "          TEXT data=\"One\"\n" + item +
                        "          TEXT data=\"Two\"\n");
  EXPECT_EQ(b.reports, report(1, 24, "-Forced ending TD.") + report(1, 24, "-Forced ending TR.") +
                           report(1, 24, "Unknown ending TAG ul. Ignoring."));
  pdoc_element* table = b.body()->child;
  EXPECT_EQ(table->table.rows, 2);
  EXPECT_EQ(table->child->row.span_total, 2);

  // A nested list sits in the content cell; a block tag closes the list.
  Built nested = build("<ul><li>a<ol><li>b</ol><li>c</ul><p>after");
  pdoc_element* outer = nested.body()->child;
  ASSERT_EQ(outer->type, ELE_TABLE);
  EXPECT_EQ(outer->table.rows, 2);
  pdoc_element* content = outer->child->child->next;
  ASSERT_EQ(content->child->next->type, ELE_TABLE);
  EXPECT_EQ(content->child->next->table.rows, 1);
  EXPECT_EQ(outer->next->type, ELE_TEXT);
  EXPECT_STREQ(outer->next->name, "P");

  // Inline content before the first item gets a row of its own.
  Built between = build("<ul><b>x</b><li>y</ul>z");
  EXPECT_EQ(between.tree,
            "HTML\n  BODY\n    TABLE name=\"LI\"\n      TR\n        TD\n        TD\n          B data=\"x\"\n" + item +
                "          TEXT data=\"y\"\n    TEXT data=\"z\"\n");

  Built closed = build("<ul><li>a<table><tr><td>t</table>");
  EXPECT_EQ(closed.body()->child->table.rows, 1);
  ASSERT_TRUE(closed.body()->child->next);
  EXPECT_EQ(closed.body()->child->next->type, ELE_TABLE);  // the table follows the list
}

TEST(Builder, ScriptAndStyleLeaveNoTrace) {
  Built b = build(
      "a<script>if (x<y) document.write(\"<b>no</b>\");</script>"
      "<STYLE>p { color: red }</style>b");
  EXPECT_EQ(b.tree, "HTML\n  BODY\n    TEXT data=\"ab\"\n");
  EXPECT_EQ(b.reports, "");
}

TEST(Builder, WhitespacePreAndNobr) {
  EXPECT_EQ(build("a   b\n\tc").tree, "HTML\n  BODY\n    TEXT data=\"a b c\"\n");
  EXPECT_EQ(build("  lead and trail  ").tree, "HTML\n  BODY\n    TEXT data=\"lead and trail \"\n");
  // Separate pieces keep exactly one space between words.
  EXPECT_EQ(build("a &amp; b").tree, "HTML\n  BODY\n    TEXT data=\"a & b\"\n");
  EXPECT_EQ(build("a&nbsp; b").tree, "HTML\n  BODY\n    TEXT data=\"a\\xa0 b\"\n");

  Built pre = build("<pre>x  y\n\tz</pre>w");
  EXPECT_EQ(pre.tree,
            "HTML\n  BODY\n    FONT data=\"x\\xa0\\xa0y\\x0a\\xa0\\xa0\\xa0\\xa0\\xa0\\xa0\\xa0z\"\n"
            "    TEXT data=\"w\"\n");
  EXPECT_EQ(build("<pre>a  b\nc</pre>").tree, "HTML\n  BODY\n    FONT data=\"a  b\\x0ac\"\n");
  EXPECT_EQ(build("<nobr>p q\nr</nobr> s").tree, "HTML\n  BODY\n    TEXT data=\"p\\xa0q\\xa0r s\"\n");
  // The end of a cell also ends NOBR.
  EXPECT_EQ(build("<nobr><td>p q</td><td>r s").tree,
            "HTML\n  BODY\n    TABLE\n      TR\n        TD\n          TEXT data=\"p\\xa0q\"\n"
            "        TD\n          TEXT data=\"r s\"\n");
}

// Feeds the document in pieces of `piece` bytes.
Built build_in_pieces(const std::string& html, size_t piece) {
  struct Input {
    const std::string* html;
    size_t piece;
  } input{&html, piece};
  auto feed = [](qelhtmlparser* p, void* user) {
    const Input& in = *static_cast<const Input*>(user);
    for (size_t at = 0; at < in.html->size(); at += in.piece)
      qelhtmlparser_parse(p, in.html->data() + at, std::min(in.piece, in.html->size() - at));
  };
  Built b;
  testing::internal::CaptureStdout();
  b.doc.reset(pdocbuild_feed(feed, &input, nullptr, nullptr));
  b.reports = testing::internal::GetCapturedStdout();
  b.tree = dump(b.doc.get());
  return b;
}

TEST(Builder, PiecesBuildTheSameTree) {
  const std::string html =
      "<p>one   two \n three</p><img src=x.png>after image &amp; entity"
      "<table><tr><td>cell  text<script>a<b</script> end</td></tr></table>";
  const Built whole = build(html.c_str());
  for (size_t piece : {1u, 2u, 3u, 7u}) {
    const Built pieces = build_in_pieces(html, piece);
    EXPECT_EQ(pieces.tree, whole.tree) << "pieces of " << piece;
  }
  EXPECT_NE(whole.tree.find("TEXT data=\"after image & entity\""), std::string::npos);
}

TEST(Builder, SeparatingSpaceMovesToTheEarlierRun) {
  EXPECT_EQ(build("<b>x</b><i> y</i>").tree, "HTML\n  BODY\n    B data=\"x \"\n    I data=\"y\"\n");
  EXPECT_EQ(build("<b>x </b><i> y</i>").tree, "HTML\n  BODY\n    B data=\"x \"\n    I data=\"y\"\n");
}

TEST(Builder, UnclosedDocumentIsClosedAtTheEnd) {
  Built b = build("<html><body><table><tr><td><b>x");
  EXPECT_EQ(b.tree, "HTML\n  BODY\n    TABLE\n      TR\n        TD\n          B data=\"x\"\n");
  EXPECT_EQ(b.reports, "");
  EXPECT_EQ(build("<body></body>").doc->root->child, nullptr);  // an empty body goes away
}

TEST(Builder, TheadRowsAreCountedAndIterated) {
  Built b = build(
      "<table><thead><tr><td>h1</td></tr><tr><td>h2</td></tr></thead><tr><td>b1</td></tr>"
      "<thead><td>h3</td></tr></thead></table>");
  pdoc_element* table = b.body()->child;
  ASSERT_EQ(table->type, ELE_TABLE);
  EXPECT_EQ(table->table.rows, 4);
  std::string seen;
  int count = 0;
  for (pdoc_element* row = pdoc_first_row(table); row; row = pdoc_next_row(row), ++count) {
    ASSERT_EQ(row->type, ELE_ROW);
    seen += std::string(row->child->child->data, row->child->child->data_len) + ",";
  }
  EXPECT_EQ(count, 4);
  EXPECT_EQ(seen, "h1,h2,b1,h3,");
  EXPECT_EQ(b.reports, report(1, 94, "WARNING, should be a row when in a table. Fixing by adding a row."));

  // Row groups without rows leave nothing to iterate, and normalisation
  // removes such a table when it ends.
  Built empty = build("<table><thead></thead><thead></thead></table>");
  ASSERT_NE(empty.doc, nullptr);
  const pdoc_element* html = empty.doc->root;
  EXPECT_TRUE(html == nullptr || html->child == nullptr || html->child->child == nullptr);
  EXPECT_EQ(pdoc_first_row(nullptr), nullptr);
}

TEST(Builder, FindOpenStopsAtTheEnclosingTable) {
  Built b = build("<table><tr><td><table><tr><td>x</table></table>");
  pdoc_element* outer = b.body()->child;
  pdoc_element* inner_cell = outer->child->child->child->child->child;
  pdoc_element* text = inner_cell->child;
  ASSERT_EQ(text->type, ELE_TEXT);
  EXPECT_EQ(pdoc_find_open(text, PDOC_TAG_TD), inner_cell);
  EXPECT_EQ(pdoc_find_open(text, PDOC_TAG_TR), inner_cell->parent);
  EXPECT_EQ(pdoc_find_open(text, PDOC_TAG_TABLE), inner_cell->parent->parent);
  EXPECT_EQ(pdoc_find_open(inner_cell->parent->parent, PDOC_TAG_TR), nullptr);  // stops at TABLE
  EXPECT_EQ(pdoc_find_open(inner_cell->parent, PDOC_TAG_TD), nullptr);          // stops at TR
  EXPECT_EQ(pdoc_find_open(text, PDOC_TAG_HTML), b.doc->root);
}

TEST(Builder, ElementPositionsAreAfterTheStartTag) {
  Built b = build("ab\n<b>x</b>");
  pdoc_element* bold = b.body()->child->next;
  EXPECT_EQ(bold->line, 2);
  EXPECT_EQ(bold->col, 4);
}

// Depth of the deepest element (the root is 1), without recursion.
int deepest(const pdoc_element* e) {
  int depth = 1, most = 0;
  while (e) {
    most = std::max(most, depth);
    if (e->child) {
      e = e->child;
      ++depth;
      continue;
    }
    while (e && !e->next) {
      e = e->parent;
      --depth;
    }
    if (e) e = e->next;
  }
  return most;
}

size_t count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1)) ++n;
  return n;
}

std::string repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

TEST(Builder, NestingIsBoundedReportedOnceAndKeepsTheContent) {
  const int limit = static_cast<int>(PDOC_MAX_NESTING);
  struct Case {
    std::string html;
    const char* ignored;
  } cases[] = {
      {repeat("<table><tr><td>", 3000) + "deep", "table"},
      {"<html><body>" + repeat("<head>", 5000) + "<title>deep</title>", "head"},
      {"<html><body>" + repeat("<html>", 3000) + "deep", "html"},
      {"<html><body>" + repeat("<img embed-encoding>", 3000) + "<b>deep</b>", "img"},
      {repeat("<body>", 3000) + "deep", "body"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.ignored);
    Built b = build(c.html, false);  // the dump of such a tree is long
    const std::string message = "WARNING Nesting deeper than " + std::to_string(limit) + " levels. Ignoring " +
                                c.ignored + " here and every later tag that would nest deeper.\n";
    EXPECT_EQ(count(b.reports, message), 1u);
    EXPECT_LE(deepest(b.doc->root), limit + 4);
    EXPECT_NE(dump(b.doc.get()).find("data=\"deep\""), std::string::npos) << "content lost";
  }
  // Below the limit nothing changes.
  Built shallow = build(repeat("<head>", limit - 3) + "x", false);
  EXPECT_EQ(shallow.reports, "");
  EXPECT_EQ(deepest(shallow.doc->root), limit - 1);
}

TEST(Builder, EndTagsMatchingNothingOpenAreIgnoredUnderDeepNesting) {
  const std::string ignoring = "Parent not found, Ignoring.";
  Built b = build("<html><body>" + repeat("<head>", 3000) + repeat("</table>", 3000) + "after", false);
  EXPECT_EQ(count(b.reports, "Unmatched ending. name: table, curr: HEAD. " + ignoring), 3000u);
  EXPECT_EQ(count(b.reports, "WARNING Nesting"), 1u);

  // An open element further up is found, unless the table rule stops the
  // search first: a TR is not looked for beyond a TABLE, a TD not beyond a TR.
  EXPECT_EQ(build("<table><tr><td>a<table></tr>b")
                .reports.rfind(report(1, 29, "Unmatched ending. name: tr, curr: TABLE. " + ignoring), 0),
            0u);
  EXPECT_EQ(build("<table><tr><td>a<table><tr></td>b")
                .reports.rfind(report(1, 33, "Unmatched ending. name: td, curr: TR. " + ignoring), 0),
            0u);
  Built found = build("<table><tr><td>" + repeat("<head>", 50) + "</table>x");
  EXPECT_EQ(count(found.reports, "-Forced ending HEAD."), 50u);
  const std::string last = "\n    TEXT data=\"x\"\n";
  EXPECT_EQ(found.tree.substr(found.tree.size() - last.size()), last) << found.tree;
}

TEST(Builder, RunsOfEqualStylesAreHeldOnce) {
  pdoc_builder b{};
  pdoc_style bold;
  pdoc_default_style(&bold);
  bold.flags = STYLE_BOLD;
  for (int i = 0; i < 3; ++i) ASSERT_EQ(pdoc_push_style(&b, PDOC_TAG_B, &bold), 1);
  EXPECT_EQ(b.styles.size(), 1u);
  pdoc_style now;
  for (int i = 0; i < 2; ++i) pdoc_pop_style(&b, PDOC_TAG_B);
  pdoc_current_style(&b, &now);
  EXPECT_EQ(now.flags, STYLE_BOLD);
  pdoc_pop_style(&b, PDOC_TAG_B);
  pdoc_current_style(&b, &now);
  EXPECT_EQ(now.flags, 0);
  EXPECT_TRUE(b.styles.empty());

  // A pop for a cell takes everything above its barrier and one barrier.
  pdoc_push_style(&b, PDOC_TAG_TD, nullptr);
  pdoc_push_style(&b, PDOC_TAG_TD, nullptr);
  pdoc_push_style(&b, PDOC_TAG_B, &bold);
  pdoc_push_style(&b, PDOC_TAG_B, &bold);
  pdoc_pop_style(&b, PDOC_TAG_TD);
  ASSERT_EQ(b.styles.size(), 1u);
  EXPECT_EQ(b.styles.back().tag, PDOC_TAG_TD);
  EXPECT_EQ(b.styles.back().count, 1u);

  // Through the builder: runs ended by the next start tag keep their style
  // in force, one pop per end tag.
  Built runs = build("<b>" + repeat("<b>", 100000) + "x</b>y</b>z", false);
  pdoc_element* x = runs.body()->child;
  ASSERT_TRUE(x && x->next && x->next->next);
  EXPECT_EQ(x->style.flags, STYLE_BOLD);
  EXPECT_EQ(x->next->style.flags, STYLE_BOLD);
  EXPECT_EQ(x->next->next->style.flags, STYLE_BOLD);  // 99999 bold entries are still open
  Built closed = build("<b><b>x</b>y</b>z");
  EXPECT_EQ(closed.body()->child->next->next->style.flags, 0);
}

TEST(Builder, FacesAndNamesAreSharedByTheDocument) {
  Built b = build("<font face=Arial name=a>x</font><font face=Arial>y</font><font face=\"" + std::string(150, 'f') +
                  "\">z</font>");
  pdoc_element* x = b.body()->child;
  ASSERT_TRUE(x && x->next && x->next->next);
  EXPECT_EQ(x->style.face, x->next->style.face);  // one copy
  EXPECT_STREQ(x->name_attr, "a");
  EXPECT_EQ(x->next->name_attr, nullptr);
  EXPECT_EQ(std::string(x->next->next->style.face), std::string(PDOC_FACE_MAX, 'f'));
  EXPECT_STREQ(b.body()->name, "BODY");
}

TEST(Builder, InlineImageDataIsCollectedInASideFileOfTheTemporaryDirectory) {
  tessel_testing::TempDir dir;
  const std::string src = dir.file("pic.png");
  pdoc_builder b{};
  b.temp_dir = dir.path().c_str();
  pdoc_element* image = pdoc_create_element(&b, nullptr, PDOC_TAG_IMG, nullptr);
  ASSERT_TRUE(image);
  image->image.src = strdup(src.c_str());
  image->image.embedded = 1;
  b.current = image;
  pdocbuild::characters(&b, "iVBO\n", 5);
  pdocbuild::characters(&b, "Rw==\n", 5);
  // Nothing is written next to the name the document gave.
  EXPECT_NE(access((src + ".uu").c_str(), F_OK), 0);
  ASSERT_TRUE(image->image.side_file);
  const std::string side = image->image.side_file;
  EXPECT_EQ(side.rfind(dir.path() + "/", 0), 0u) << side;
  std::ifstream in(side);
  std::stringstream content;
  content << in.rdbuf();
  EXPECT_EQ(content.str(), "iVBO\nRw==\n");
  pdoc_free_element(image);
  EXPECT_NE(access(side.c_str(), F_OK), 0) << "side file left behind";

  pdoc_builder unwritable{};
  unwritable.temp_dir = "/nonexistent-dir";
  image = pdoc_create_element(&unwritable, nullptr, PDOC_TAG_IMG, nullptr);
  ASSERT_TRUE(image);
  image->image.src = strdup(src.c_str());
  image->image.embedded = 1;
  unwritable.current = image;
  testing::internal::CaptureStdout();
  pdocbuild::characters(&unwritable, "x", 1);
  const std::string printed = testing::internal::GetCapturedStdout();
  EXPECT_EQ(printed.rfind("Error opening /nonexistent-dir/", 0), 0u) << printed;
  EXPECT_NE(printed.find(" for write binary append.\n"), std::string::npos) << printed;
  pdoc_free_element(image);
}

}  // namespace
