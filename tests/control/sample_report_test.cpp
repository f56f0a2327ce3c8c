// The main job end to end: the sample report loaded through the control from
// a loopback web server, as the host does it, and every page drawn on the
// image surface at the host's default area.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "common/loopback_http_server.h"
#include "control/tessel_ctrl.h"
#include "platform/dc_cairo.h"
#include "platform/message_box.h"
#include "platform/property_bag.h"

namespace {

using tessel_testing::LoopbackHttpServer;

constexpr int kWidth = 816, kHeight = 1056;  // a Letter page at 96 per inch
constexpr DcColor kWhite = dc_rgb(255, 255, 255);

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

std::string reply(const std::string& type, const std::string& body) {
  return "HTTP/1.0 200 OK\r\nContent-Type: " + type + "\r\nContent-Length: " + std::to_string(body.size()) +
         "\r\n\r\n" + body;
}

std::unique_ptr<CairoDc> draw_page(CTesselCtrl& control, int page) {
  auto dc = CairoDc::create_screen(kWidth, kHeight);
  const DcObject background = dc->create_solid_brush(kWhite);
  dc->fill_rect({0, 0, kWidth, kHeight}, background);
  dc->delete_object(background);
  control.m_nCurrentPage = page;
  control.Draw(dc.get(), {0, 0, kWidth, kHeight});
  return dc;
}

// Pixels inside the frame that are not white (rows of blue, green, red,
// unused bytes).
int ink(CairoDc& dc) {
  const unsigned char* bits = dc.bits();
  int count = 0;
  for (int y = 1; y < kHeight - 1; ++y) {
    const unsigned char* row = bits + static_cast<size_t>(y) * dc.stride();
    for (int x = 1; x < kWidth - 1; ++x)
      count += row[4 * x] != 0xFF || row[4 * x + 1] != 0xFF || row[4 * x + 2] != 0xFF;
  }
  return count;
}

TEST(SampleReport, LoadsWithItsLogoAndMakesThreeInkedPages) {
  const std::string samples = std::string(TESSEL_SOURCE_DIR) + "/samples";
  const std::string html = read_file(samples + "/report.html");
  const std::string logo = read_file(samples + "/images/report-logo.png");
  ASSERT_FALSE(html.empty());
  ASSERT_FALSE(logo.empty());
  // The document first, then the one picture it names.
  LoopbackHttpServer server({{reply("text/html", html)}, {reply("image/png", logo)}}, 10000);

  std::vector<std::string> boxes;
  MessageBoxHandler previous = set_message_box_handler([&](const char* text, const char* title, int) {
    boxes.push_back(std::string(title) + ": " + text);
    return IDOK;
  });
  CTesselCtrl control;
  MemoryPropertyBag bag;
  bag.set("src", server.url("/report.html"));
  control.Load(&bag, nullptr);
  ASSERT_TRUE(control.m_pDocument);
  const std::vector<std::string> requests = server.wait_requests(2, 2000);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[1].rfind("GET /images/report-logo.png ", 0), 0u) << requests[1];
  // A draw past the end shows the last page and stores the page count;
  // the pages before it are drawn one by one.
  auto last = draw_page(control, 100);
  const int pages = control.m_nCurrentPage;
  ASSERT_EQ(pages, 3);
  std::vector<int> inked;
  for (int page = 1; page < pages; ++page) {
    auto dc = draw_page(control, page);
    inked.push_back(ink(*dc));
    if (page == 1) {
      // The logo floats at the top left: its disc is teal.
      EXPECT_EQ(dc->get_pixel(20, 40), dc_rgb(11, 79, 108));
    }
  }
  inked.push_back(ink(*last));
  set_message_box_handler(previous);

  EXPECT_TRUE(boxes.empty()) << boxes.front();
  for (size_t i = 0; i < inked.size(); ++i)
    EXPECT_GT(inked[i], 20000) << "page " << i + 1;  // text and table rules, not a blank page
}

}  // namespace
