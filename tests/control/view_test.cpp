// The page view: which page stays visible, the counter a draw stores back,
// the frame and the fill on real pixels, elements that fit on no page.
#include <gtest/gtest.h>

#include <climits>
#include <string>
#include <vector>

#include "control/tessel_ctrl.h"
#include "document/pdocbuild.h"
#include "platform/dc_cairo.h"
#include "platform/dc_recording.h"
#include "platform/message_box.h"

namespace {

constexpr DcColor kWhite = dc_rgb(255, 255, 255);
constexpr DcColor kBlack = dc_rgb(0, 0, 0);
constexpr DcColor kRed = dc_rgb(255, 0, 0);

struct Box {
  std::string text, title;
};

// Records the message boxes shown while it lives.
class BoxRecorder {
 public:
  BoxRecorder() {
    previous_ = set_message_box_handler([this](const char* text, const char* title, int) {
      boxes.push_back({text, title});
      return IDOK;
    });
  }
  ~BoxRecorder() { set_message_box_handler(previous_); }
  std::vector<Box> boxes;

 private:
  MessageBoxHandler previous_;
};

void load_html(CTesselCtrl& control, const char* html) {
  control.m_pDocument.reset(pdocbuild_string(html, nullptr, nullptr));
  ASSERT_TRUE(control.m_pDocument);
}

// The words drawn after the last page clear: what the view leaves visible.
std::vector<std::string> visible_text(const RecordingDc& dc) {
  std::vector<std::string> words;
  for (const std::string& op : dc.ops()) {
    if (op.rfind("fill_rect(", 0) == 0 && op.find(",0xffffff)") != std::string::npos)
      words.clear();
    else if (op.rfind("text_out(", 0) == 0)
      words.push_back(op.substr(op.find('"')));
  }
  return words;
}

std::unique_ptr<CairoDc> red_surface(int width, int height) {
  auto dc = CairoDc::create_screen(width, height);
  const DcObject brush = dc->create_solid_brush(kRed);
  dc->fill_rect({0, 0, width, height}, brush);
  dc->delete_object(brush);
  return dc;
}

// One short line per page at 200 x 20 with the recording metrics (lines are
// 13 pixels high and the next one would end below row 20).
constexpr char kThreePages[] = "<html><body>alpha<br>beta<br>gamma</body></html>";
constexpr DcRect kOneLineArea{0, 0, 200, 20};

TEST(PageView, NavigationPastTheEndShowsTheLastPageAndCorrectsTheCounter) {
  CTesselCtrl control;
  load_html(control, kThreePages);
  int repaints = 0;
  control.on_repaint_request = [&] { ++repaints; };
  for (int i = 0; i < 5; ++i) EXPECT_EQ(control.NextPage(), S_OK);
  EXPECT_EQ(control.m_nCurrentPage, 6);
  EXPECT_EQ(repaints, 5);

  RecordingDc dc;
  control.Draw(&dc, kOneLineArea);
  EXPECT_EQ(control.m_nCurrentPage, 3);
  EXPECT_EQ(visible_text(dc), std::vector<std::string>{"\"gamma\")"});
  // Every page laid out was cleared first; the frame comes once, at the end.
  EXPECT_EQ(dc.ops_starting("fill_rect(0,0,200,20,0xffffff)").size(), 3u);
  EXPECT_EQ(dc.ops_starting("move_to(0,0)").size(), 1u);

  EXPECT_EQ(control.PrevPage(), S_OK);
  EXPECT_EQ(repaints, 6);
  dc.clear();
  control.Draw(&dc, kOneLineArea);
  EXPECT_EQ(control.m_nCurrentPage, 2);
  EXPECT_EQ(visible_text(dc), std::vector<std::string>{"\"beta\")"});
}

TEST(PageView, PrevPageStopsAtTheFirstPageAndStillAsksForARepaint) {
  CTesselCtrl control;
  int repaints = 0;
  control.on_repaint_request = [&] { ++repaints; };
  EXPECT_EQ(control.PrevPage(), S_OK);
  EXPECT_EQ(control.m_nCurrentPage, 1);
  EXPECT_EQ(repaints, 1);

  control.on_repaint_request = nullptr;  // a host without the hook
  EXPECT_EQ(control.PrevPage(), S_OK);
  EXPECT_EQ(control.NextPage(), S_OK);
  EXPECT_EQ(control.m_nCurrentPage, 2);

  control.m_nCurrentPage = INT_MAX;  // saturates instead of wrapping
  control.NextPage();
  EXPECT_EQ(control.m_nCurrentPage, INT_MAX);
}

TEST(PageView, AreaOf200By100IsFilledAndFramedOnItsOuterPixels) {
  CTesselCtrl control;
  load_html(control, "<html><body></body></html>");
  auto dc = red_surface(220, 120);
  control.Draw(dc.get(), {0, 0, 200, 100});
  EXPECT_EQ(control.m_nCurrentPage, 1);

  for (int x = 0; x < 200; ++x) {
    EXPECT_EQ(dc->get_pixel(x, 0), kBlack) << x;
    EXPECT_EQ(dc->get_pixel(x, 99), kBlack) << x;
    EXPECT_EQ(dc->get_pixel(x, 100), kRed) << x;
  }
  for (int y = 0; y < 100; ++y) {
    EXPECT_EQ(dc->get_pixel(0, y), kBlack) << y;
    EXPECT_EQ(dc->get_pixel(199, y), kBlack) << y;
    EXPECT_EQ(dc->get_pixel(200, y), kRed) << y;
  }
  for (int y = 1; y < 99; y += 7)
    for (int x = 1; x < 199; x += 7) ASSERT_EQ(dc->get_pixel(x, y), kWhite) << x << "," << y;
}

TEST(PageView, WithoutADocumentOnlyTheFrameIsDrawn) {
  CTesselCtrl control;
  auto dc = red_surface(220, 120);
  control.Draw(dc.get(), {0, 0, 200, 100});
  EXPECT_EQ(control.m_nCurrentPage, 0);
  EXPECT_EQ(dc->get_pixel(0, 0), kBlack);
  EXPECT_EQ(dc->get_pixel(199, 99), kBlack);
  EXPECT_EQ(dc->get_pixel(100, 50), kRed);

  control.NextPage();
  EXPECT_EQ(control.m_nCurrentPage, 1);
  auto again = red_surface(220, 120);
  control.Draw(again.get(), {0, 0, 200, 100});
  EXPECT_EQ(control.m_nCurrentPage, 0);
  EXPECT_EQ(again->get_pixel(100, 50), kRed);
  EXPECT_EQ(again->get_pixel(199, 50), kBlack);
}

TEST(PageView, DrawingStaysInsideTheAreaAndTheClipIsRestored) {
  CTesselCtrl control;
  // A full-width rule reaches the page's last column, one outside the area.
  load_html(control, "<html><body><hr size=20 noshade></body></html>");
  auto dc = red_surface(100, 100);
  control.Draw(dc.get(), {10, 10, 60, 50});
  EXPECT_EQ(dc->get_pixel(10, 10), kBlack);
  EXPECT_EQ(dc->get_pixel(59, 49), kBlack);
  for (int y = 0; y < 100; ++y) {
    ASSERT_EQ(dc->get_pixel(60, y), kRed) << y;
    ASSERT_EQ(dc->get_pixel(9, y), kRed) << y;
  }
  for (int x = 0; x < 100; ++x) {
    ASSERT_EQ(dc->get_pixel(x, 50), kRed) << x;
    ASSERT_EQ(dc->get_pixel(x, 9), kRed) << x;
  }

  const DcObject brush = dc->create_solid_brush(kWhite);
  dc->fill_rect({0, 0, 100, 100}, brush);
  dc->delete_object(brush);
  EXPECT_EQ(dc->get_pixel(90, 90), kWhite);
}

TEST(PageView, AnElementThatFitsOnNoPageIsReportedOnEveryDrawAndSkipped) {
  CTesselCtrl control;
  load_html(control, "<html><body><p>short<p>unbreakablewordwiderthanthearea<p>after</body></html>");
  control.m_nCurrentPage = 10;
  BoxRecorder recorder;
  RecordingDc dc;
  const DcRect narrow{0, 0, 100, 60};
  control.Draw(&dc, narrow);
  ASSERT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(recorder.boxes[0].text, "Cannot fit on a page");
  EXPECT_EQ(recorder.boxes[0].title, "Error");
  const int pages = control.m_nCurrentPage;
  EXPECT_EQ(visible_text(dc), std::vector<std::string>{"\"after\")"});
  EXPECT_EQ(control.m_leftOut.elements, 1);
  EXPECT_EQ(control.m_leftOut.first_page, 2) << "the first page reaches the word";

  dc.clear();
  control.Draw(&dc, narrow);
  EXPECT_EQ(recorder.boxes.size(), 2u);
  EXPECT_EQ(control.m_nCurrentPage, pages);
  EXPECT_EQ(control.m_leftOut.elements, 1) << "each draw counts for itself";

  // A draw that stops before the word has left nothing out.
  control.m_nCurrentPage = 1;
  control.Draw(&dc, narrow);
  EXPECT_EQ(control.m_leftOut.elements, 0);
}

TEST(PageView, SkippingTheLastElementOfABodyGoesOnWithTheNextBody) {
  CTesselCtrl control;
  load_html(control,
            "<html><body>short<br>unbreakablewordwiderthanthearea</body>"
            "<body>after</body></html>");
  control.m_nCurrentPage = 10;
  BoxRecorder recorder;
  RecordingDc dc;
  control.Draw(&dc, {0, 0, 100, 60});
  EXPECT_EQ(recorder.boxes.size(), 1u);
  EXPECT_EQ(control.m_nCurrentPage, 3);
  EXPECT_EQ(visible_text(dc), std::vector<std::string>{"\"after\")"});
}

// The pixels of a surface.
std::vector<DcColor> pixels_of(CairoDc& dc, int width, int height) {
  std::vector<DcColor> pixels;
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) pixels.push_back(dc.get_pixel(x, y));
  return pixels;
}

TEST(PageView, OneDrawHandsOverEveryPageAsSteppingToItLeavesIt) {
  // Pages with text, a picture-free table and a page that fits nothing.
  CTesselCtrl control;
  load_html(control,
            "<html><body><font size=5>alpha</font><br><table border=2><tr><td>beta</td></tr>"
            "</table><br>unbreakablewordwiderthanthewholearea<br>gamma<br>delta</body></html>");
  const DcRect area{0, 0, 120, 40};
  BoxRecorder recorder;
  std::vector<std::vector<DcColor>> stepped;
  for (int page = 1;; ++page) {
    control.m_nCurrentPage = page;
    auto dc = red_surface(120, 40);
    control.Draw(dc.get(), area);
    if (control.m_nCurrentPage < page) break;
    stepped.push_back(pixels_of(*dc, 120, 40));
  }
  ASSERT_GE(stepped.size(), 4u);
  const size_t boxes_stepping = recorder.boxes.size();

  auto dc = red_surface(120, 40);
  std::vector<std::vector<DcColor>> handed;
  control.on_page_drawn = [&](int page) {
    EXPECT_EQ(page, static_cast<int>(handed.size()) + 1);
    handed.push_back(pixels_of(*dc, 120, 40));
  };
  control.m_nCurrentPage = INT_MAX;
  control.Draw(dc.get(), area);
  control.on_page_drawn = nullptr;
  EXPECT_EQ(control.m_nCurrentPage, static_cast<int>(stepped.size()));
  ASSERT_EQ(handed.size(), stepped.size());
  for (size_t i = 0; i < handed.size(); ++i) EXPECT_TRUE(handed[i] == stepped[i]) << "page " << i + 1;
  // Each page was laid out once: the element that fits nowhere is
  // reported once, not once for every page drawn after it.
  EXPECT_EQ(recorder.boxes.size() - boxes_stepping, 1u);
}

TEST(PageView, AnAreaNoTargetCanCoverShowsTheProblemText) {
  CTesselCtrl control;
  load_html(control, kThreePages);
  BoxRecorder recorder;
  RecordingDc dc;
  control.Draw(&dc, {100, 50, 40, 10});  // inverted
  EXPECT_TRUE(recorder.boxes.empty());
  EXPECT_EQ(control.m_nCurrentPage, 1);  // nothing laid out, nothing stored
  // 25 characters of 7 pixels centred on (70, 30), the baseline 10 below
  // the top of the text.
  EXPECT_EQ(dc.ops_starting("text_out").front(), "text_out(-17,20,\"Problem creating WebPage.\")");
  EXPECT_EQ(dc.ops().back().rfind("restore_dc(", 0), 0u);
}

}  // namespace
