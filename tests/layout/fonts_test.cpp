// Text primitives on the recording context (7 pixels a character, 13 high).
#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "layout/fonts.h"
#include "platform/dc_recording.h"

namespace {

struct Runs {
  std::vector<std::unique_ptr<pdoc_element>> elements;
  std::vector<std::string> texts;
  pdoc_element* add(const char* text, int tag = PDOC_TAG_TEXT) {
    auto e = std::make_unique<pdoc_element>();
    e->type = ELE_TEXT;
    e->tag = tag;
    e->style.face = "Times";
    e->style.size = 3;
    e->style.color = -1;
    e->style.outline_color = -1;
    texts.emplace_back(text);
    if (*text) {
      e->data = texts.back().data();
      e->data_len = static_cast<int>(strlen(text));
    }
    if (!elements.empty()) {
      elements.back()->next = e.get();
      e->prev = elements.back().get();
    }
    elements.push_back(std::move(e));
    return elements.back().get();
  }
  Runs() { texts.reserve(16); }
};

TEST(Fonts, SizeCodes) {
  const int codes[] = {0, 1, 7, 8, -1, -2, -5};
  const int points[] = {12, 8, 36, 40, 10, 8, 7};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(size_code_points(codes[i]), points[i]) << codes[i];
}

TEST(Fonts, FailureTextsAndEmptyFace) {
  RecordingDc dc;
  dc.refuse_face("times");
  dc.refuse_face("bogus");
  RenderTargetPtr t(rt_create(&dc, {0, 0, 99, 99}, RT_VERSION));
  LayoutJob job;
  Runs runs;
  pdoc_element* e = runs.add("x");
  e->style.flags = STYLE_ITALIC | STYLE_BOLD;
  e->style.face = "bogus";
  testing::internal::CaptureStdout();
  select_element_font(job, t.get(), e);
  e->style.face = "";
  select_element_font(job, t.get(), e);
  EXPECT_EQ(testing::internal::GetCapturedStdout(),
            "Error locating font bogus with b: 1, i: 2 size: 12, DPI:96\n"
            "Error locating font times with b: 1, i: 2, size: 12, DPI:96\n");
}

TEST(Fonts, FitText) {
  RecordingDc dc;
  RenderTargetPtr t(rt_create(&dc, {0, 0, 99, 99}, RT_VERSION));
  LayoutJob job;
  RtSize size{};
  int widest = 0;
  EXPECT_EQ(fit_text(t.get(), "hello world", 11, 42, &size, &widest), 6);
  EXPECT_EQ(size.width, 42);
  EXPECT_EQ(fit_text(t.get(), "hello   x", 9, 35, &size, &widest), 8);
  EXPECT_EQ(size.width, 35) << "spaces after the last word take no width";
  EXPECT_EQ(fit_text(t.get(), "\nabc", 4, 100, &size, &widest), 1);
  EXPECT_EQ(size.width, 0);
  EXPECT_EQ(size.height, 13);
  EXPECT_EQ(word_length("ab\vc", 4), 2);
  EXPECT_EQ(last_break("a b c", 5), 4);
  EXPECT_EQ(last_break("abc", 3), 0);
  EXPECT_FALSE(is_blank('\v'));
}

TEST(Fonts, MeasureLineKeepsJoinedWordsTogether) {
  RecordingDc dc;
  RenderTargetPtr t(rt_create(&dc, {0, 0, 99, 99}, RT_VERSION));
  LayoutJob job;
  Runs runs;
  pdoc_element* first = runs.add("xy ab");
  runs.add("cd ef");
  RtSize size{};
  int descent = 0;
  // "xy abcd" needs 49 pixels; at 40 the line ends after "xy ", not
  // inside the joined word.
  EXPECT_EQ(measure_line(job, t.get(), first, 0, 40, &size, &descent, nullptr), 3);
  EXPECT_EQ(size.width, 21);
  // At 50 it breaks at the space after "cd", which it consumes.
  EXPECT_EQ(measure_line(job, t.get(), first, 0, 50, &size, &descent, nullptr), 8);
  EXPECT_EQ(size.width, 49);
  EXPECT_EQ(size.height, 13);
  EXPECT_EQ(descent, 3);
  // A word wider than the line yields nothing.
  EXPECT_EQ(measure_line(job, t.get(), first, 3, 20, &size, &descent, nullptr), 0);
  int widest = 0;
  EXPECT_EQ(measure_line(job, t.get(), first, 0, -1, &size, &descent, &widest), 10);
  EXPECT_EQ(widest, 28) << "abcd is the widest unbreakable stretch";
}

TEST(Fonts, AdvanceAndSkipBreak) {
  Runs runs;
  pdoc_element* a = runs.add("abc ");
  pdoc_element* br = runs.add(" ", PDOC_TAG_BR);
  pdoc_element* c = runs.add("de");
  int offset = 1;
  EXPECT_EQ(advance_units(a, 2, &offset), a);
  EXPECT_EQ(offset, 3);
  pdoc_element* e = a;
  skip_break_char(&e, &offset);
  EXPECT_EQ(e, br);
  EXPECT_EQ(offset, 0);
  EXPECT_EQ(advance_units(br, 1, &offset), c);
  EXPECT_EQ(char_at(c, 5), 0);
  EXPECT_EQ(advance_units(c, 5, &offset), nullptr);
}

}  // namespace
