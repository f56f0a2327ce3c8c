// The page loop: page counts, skipping what cannot be placed, later bodies
// reached from continuation pages, and finding the start of page n.
#include <gtest/gtest.h>

#include "layout/left_out.h"
#include "layout/paginate.h"
#include "layout/table_size.h"
#include "layout_tree.h"

namespace {

struct Recorder {
  RecordingDc* dc;
  std::vector<std::vector<std::string>> pages;
  std::vector<pdoc_element*> skipped;
  PaginateHooks hooks() {
    PaginateHooks h;
    h.user = this;
    h.begin_page = [](void* u, int) { static_cast<Recorder*>(u)->dc->clear(); };
    h.end_page = [](void* u, int, pdoc_element*, int) {
      auto* self = static_cast<Recorder*>(u);
      self->pages.push_back(self->dc->ops_starting("text_out"));
    };
    h.no_progress = [](void* u, int, pdoc_element* e) { static_cast<Recorder*>(u)->skipped.push_back(e); };
    return h;
  }
};

TEST(Paginate, CountsPagesOfALongText) {
  LayoutTree tree;
  std::string text;
  for (int i = 0; i < 40; i++) text += "word ";
  tree.text(tree.body(), text);
  RecordingPage page(70, 40);  // two words a line, three lines a page
  PaginateResult r = paginate_document(page.target, tree.root());
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(r.pages, 7);
  EXPECT_EQ(r.skipped, 0);
  EXPECT_EQ(paginate_document(page.target, tree.root(), nullptr, 3).pages, 3);
}

TEST(Paginate, CountingWithoutARecordLaysOutTheSame) {
  LayoutTree tree;
  std::string text;
  for (int i = 0; i < 40; i++) text += "word ";
  tree.text(tree.body(), text);
  RecordingPage kept(70, 40), counted(70, 40);
  counted.dc.set_recording(false);
  counted.dc.clear();  // what making the target recorded
  EXPECT_EQ(paginate_document(counted.target, tree.root()).pages, paginate_document(kept.target, tree.root()).pages);
  EXPECT_FALSE(kept.dc.ops().empty());
  EXPECT_TRUE(counted.dc.ops().empty());
  // The operations still took place: the same objects were made and freed.
  EXPECT_EQ(counted.dc.objects_created(), kept.dc.objects_created());
  EXPECT_EQ(counted.dc.live_objects(), kept.dc.live_objects());
  EXPECT_EQ(counted.dc.text_color(), kept.dc.text_color());
  counted.dc.set_recording(true);
  counted.dc.move_to(1, 2);
  EXPECT_EQ(counted.dc.ops(), std::vector<std::string>{"move_to(1,2)"});
}

TEST(Paginate, SkipsWhatCannotBePlacedAndReachesTheNextBody) {
  LayoutTree tree;
  pdoc_element* html = tree.add(nullptr, ELE_HTML, PDOC_TAG_HTML, "HTML");
  pdoc_element* b1 = tree.add(html, ELE_BODY, PDOC_TAG_BODY, "BODY");
  pdoc_element* wide = tree.text(b1, "abcdefghijklmnop");
  pdoc_element* b2 = tree.add(html, ELE_BODY, PDOC_TAG_BODY, "BODY");
  tree.text(b2, "two");
  RecordingPage page(50, 100);
  Recorder rec{&page.dc, {}, {}};
  PaginateHooks hooks = rec.hooks();
  PaginateResult r = paginate_document(page.target, tree.root(), &hooks);
  EXPECT_EQ(r.pages, 3);  // the first page reaches the word, the second skips it
  EXPECT_EQ(r.skipped, 1);
  ASSERT_EQ(rec.skipped.size(), 1u);
  EXPECT_EQ(rec.skipped[0], wide);
  EXPECT_EQ(rec.pages.back(), (std::vector<std::string>{"text_out(0,0,\"two\")"}));
}

TEST(Paginate, ContinuationPageEndingABodyWithATableGoesOnToTheNextBody) {
  LayoutTree tree;
  pdoc_element* html = tree.add(nullptr, ELE_HTML, PDOC_TAG_HTML, "HTML");
  pdoc_element* b1 = tree.add(html, ELE_BODY, PDOC_TAG_BODY, "BODY");
  tree.text(b1, "aaaa bbbb cccc dddd");
  pdoc_element* t = tree.table(b1);
  tree.cell_text(tree.row(t), "t");
  tree.grid(t);
  pdoc_element* b2 = tree.add(html, ELE_BODY, PDOC_TAG_BODY, "BODY");
  tree.text(b2, "two");
  RecordingPage page(50, 40);
  Recorder rec{&page.dc, {}, {}};
  PaginateHooks hooks = rec.hooks();
  PaginateResult r = paginate_document(page.target, tree.root(), &hooks);
  EXPECT_EQ(r.pages, 3);
  ASSERT_EQ(rec.pages.size(), 3u);
  EXPECT_EQ(rec.pages[1].size(), 2u);  // "dddd" and the table's "t"
  EXPECT_EQ(rec.pages[2], (std::vector<std::string>{"text_out(0,0,\"two\")"}));
}

TEST(Paginate, FindsTheStartOfPageN) {
  LayoutTree tree;
  pdoc_element* run = tree.text(tree.body(), "aaaa bbbb cccc dddd");
  RecordingPage page(50, 30);
  int offset = -1;
  EXPECT_EQ(paginate_find_page(page.target, tree.root(), 1, &offset), tree.root());
  EXPECT_EQ(offset, 0);
  EXPECT_EQ(paginate_find_page(page.target, tree.root(), 2, &offset), run);
  EXPECT_EQ(offset, 10);
  EXPECT_EQ(paginate_find_page(page.target, tree.root(), 3, &offset), nullptr);
}

// `levels` tables, each in the one cell of the one before, the innermost
// cell holding the text "deep".
void nest_tables(LayoutTree& tree, int levels) {
  pdoc_element* parent = tree.body();
  std::vector<pdoc_element*> tables;
  for (int i = 0; i < levels; i++) {
    pdoc_element* t = tree.table(parent, 1);
    tables.push_back(t);
    parent = tree.cell(tree.row(t));
  }
  tree.text(parent, "deep");
  for (pdoc_element* t : tables) tree.grid(t);
}

// Tables nested twelve deep are laid out, text and all; the thirteenth
// level is not, and is counted as left out.
TEST(Paginate, TwelveLevelsOfTablesAreLaidOutAndADeeperOneIsCounted) {
  for (int levels : {TABLE_MAX_NESTING, TABLE_MAX_NESTING + 1}) {
    LayoutTree tree;
    nest_tables(tree, levels);
    RecordingPage page(600, 400);
    LeftOutScope scope;
    testing::internal::CaptureStdout();
    paginate_document(page.target, tree.root());
    testing::internal::GetCapturedStdout();
    const bool shown = levels <= TABLE_MAX_NESTING;
    EXPECT_EQ(page.dc.ops_starting("text_out").size(), shown ? 1u : 0u) << levels;
    EXPECT_EQ(scope.report().elements, shown ? 0 : 1) << levels;
  }
}

TEST(Paginate, DeeplyNestedTablesEndWithoutExhaustingTheStack) {
  LayoutTree tree;
  nest_tables(tree, 40);
  RecordingPage page(400, 300);
  testing::internal::CaptureStdout();
  PaginateResult r = paginate_document(page.target, tree.root(), nullptr, 50);
  testing::internal::GetCapturedStdout();
  EXPECT_TRUE(r.finished);
  EXPECT_EQ(page.target->get_resolution(page.target), 96);
}

}  // namespace
