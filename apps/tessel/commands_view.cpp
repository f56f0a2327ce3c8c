// The page view commands of the host: next and prev as a script calls them,
// and view, which draws the control's area on an image surface and writes it
// as PNG (one page, or every page into a folder).
#include "apps/tessel/host.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "apps/tessel/dispatch_host.h"
#include "platform/dc_cairo.h"
#include "platform/png_encode.h"
#include "support/qelfile.h"

namespace {

// A Letter page at 96 pixels per inch.
constexpr int kDefaultWidth = 816;
constexpr int kDefaultHeight = 1056;
// Larger areas are refused rather than allocated (4 bytes a pixel).
constexpr int kMaxSide = 16384;

struct AreaSize {
  int width = kDefaultWidth;
  int height = kDefaultHeight;
};

// "WxH" with both sides from 1 to kMaxSide.
bool parse_size(const std::string& text, AreaSize* size) {
  const char* s = text.c_str();
  char* end = nullptr;
  errno = 0;
  const long width = std::strtol(s, &end, 10);
  if (end == s || (*end != 'x' && *end != 'X') || errno != 0) return false;
  const char* h = end + 1;
  const long height = std::strtol(h, &end, 10);
  if (end == h || *end != '\0' || errno != 0) return false;
  if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide) return false;
  size->width = static_cast<int>(width);
  size->height = static_cast<int>(height);
  return true;
}

// The control's area as the host has it before a repaint: erased to white.
std::unique_ptr<CairoDc> erased_area(const AreaSize& size) {
  auto dc = CairoDc::create_screen(size.width, size.height);
  if (!dc) return nullptr;
  const DcObject background = dc->create_solid_brush(dc_rgb(255, 255, 255));
  dc->fill_rect({0, 0, size.width, size.height}, background);
  dc->delete_object(background);
  return dc;
}

// Draws the control's area as the host would on a repaint, then writes it.
bool draw_area(ControlHost& control, const AreaSize& size, const std::string& png) {
  auto dc = erased_area(size);
  return dc && SUCCEEDED(control.draw(dc.get(), {0, 0, size.width, size.height})) && dc->write_png(png.c_str());
}

std::string option(const CommandContext& c, const char* name, const char* fallback) {
  const auto found = c.options.find(name);
  return found == c.options.end() ? fallback : found->second;
}

// Writes pages as PNG files on threads of their own, so that pages are
// encoded while the next ones are laid out and drawn. Deflating a page costs
// more than drawing it, so there is an encoder per processor; at most one
// page per encoder (and one more) waits.
class PageWriter {
 public:
  PageWriter() : limit_(encoders() + 1) {
    for (size_t i = 0; i < limit_ - 1; ++i) threads_.emplace_back([this] { run(); });
  }
  ~PageWriter() { finish(); }
  PageWriter(const PageWriter&) = delete;
  PageWriter& operator=(const PageWriter&) = delete;

  // Copies the pixels (rows of 32-bit words, stride bytes apart).
  void write(std::string path, const unsigned char* bits, int width, int height, int stride) {
    Page page{std::move(path), std::vector<unsigned char>(bits, bits + static_cast<size_t>(stride) * height),
              width,           height,
              stride,          0};
    std::unique_lock<std::mutex> lock(mutex_);
    room_.wait(lock, [&] { return waiting_.size() < limit_; });
    page.order = handed_++;
    waiting_.push_back(std::move(page));
    work_.notify_one();
  }

  // Waits for every page handed over; answers the first file (in the order
  // handed over) that could not be written, "" when all were.
  std::string finish() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      done_ = true;
    }
    work_.notify_all();
    for (std::thread& thread : threads_)
      if (thread.joinable()) thread.join();
    return unwritten_;
  }

 private:
  struct Page {
    std::string path;
    std::vector<unsigned char> pixels;
    int width, height, stride;
    size_t order;
  };

  static size_t encoders() {
    const unsigned processors = std::thread::hardware_concurrency();
    return std::clamp<size_t>(processors, 1, 4);
  }

  void run() {
    for (;;) {
      Page page;
      {
        std::unique_lock<std::mutex> lock(mutex_);
        work_.wait(lock, [&] { return done_ || !waiting_.empty(); });
        if (waiting_.empty()) return;
        page = std::move(waiting_.front());
        waiting_.pop_front();
        room_.notify_one();
        // Once a page has failed, later ones are not written.
        if (failed_ < page.order) continue;
      }
      if (!write_png_file(page)) {
        std::lock_guard<std::mutex> lock(mutex_);
        if (page.order < failed_) {
          failed_ = page.order;
          unwritten_ = page.path;
        }
      }
    }
  }

  static bool write_png_file(const Page& page) {
    std::string png;
    if (!png_encode_rgb24(page.pixels.data(), page.width, page.height, page.stride, &png)) return false;
    FILE* file = std::fopen(page.path.c_str(), "wb");
    if (!file) return false;
    const bool written = std::fwrite(png.data(), 1, png.size(), file) == png.size();
    return std::fclose(file) == 0 && written;
  }

  const size_t limit_;
  std::mutex mutex_;
  std::condition_variable work_, room_;
  std::deque<Page> waiting_;
  size_t handed_ = 0;
  bool done_ = false;
  size_t failed_ = SIZE_MAX;  // the order of the first page that failed
  std::string unwritten_;     // its file
  std::vector<std::thread> threads_;
};

// Every page from one draw: the view lays the pages out once, in turn, on
// one surface, and hands each over framed before the next clears it, so
// page p looks as it does when a script has stepped to it. The counter is
// left as it was; it is no script member, so the host sets it through the
// module's host exports.
int view_all(CommandContext& c, const AreaSize& size, const std::string& folder) {
  if (!qel_mkdirs(folder.c_str(), 0755)) {
    std::fprintf(stderr, "tessel: cannot create %s: %s\n", folder.c_str(), std::strerror(errno));
    return 1;
  }
  auto dc = erased_area(size);
  if (!dc) {
    std::fprintf(stderr, "tessel: cannot make a %dx%d surface\n", size.width, size.height);
    return 1;
  }
  struct Pass {
    PageWriter writer;
    std::string folder;
    CairoDc* dc;
    AreaSize size;
    int pages = 0;
  } pass{{}, folder, dc.get(), size};
  const auto hand_on = [](void* user, int page) {
    auto* p = static_cast<Pass*>(user);
    char name[32];
    std::snprintf(name, sizeof name, "/page-%03d.png", page);
    p->writer.write(p->folder + name, p->dc->bits(), p->size.width, p->size.height, p->dc->stride());
    p->pages = page;
  };
  // Without the hand-over the draw would write no page and say so as if the
  // document had none.
  if (!c.control.on_page_drawn(hand_on, &pass)) {
    std::fprintf(stderr, "tessel: the control module cannot hand over its pages\n");
    return 1;
  }
  const int current = c.control.report().current_page;
  c.control.go_to_page(INT_MAX);
  const HRESULT drawn = c.control.draw(dc.get(), {0, 0, size.width, size.height});
  c.control.go_to_page(current);
  c.control.on_page_drawn(nullptr, nullptr);
  const int pages = pass.pages;
  const std::string unwritten = pass.writer.finish();
  if (FAILED(drawn) || !unwritten.empty()) {
    std::fprintf(stderr, "tessel: cannot write %s\n", unwritten.empty() ? folder.c_str() : unwritten.c_str());
    return 1;
  }
  std::fprintf(c.out, "%d page%s written to %s\n", pages, pages == 1 ? "" : "s", folder.c_str());
  // The last draw laid out every page: its count covers the document.
  report_left_out(c.control);
  return 0;
}

// The area asked for and whether the options go together; false, having
// said why, when they do not.
bool view_options(const CommandContext::Options& options, AreaSize* size) {
  if (const auto found = options.find("--size"); found != options.end() && !parse_size(found->second, size)) {
    std::fprintf(stderr, "tessel: view --size wants WxH, each from 1 to %d, got '%s'\n", kMaxSide,
                 found->second.c_str());
    return false;
  }
  if (options.count("--all") != 0 && options.count("-o") == 0) {
    std::fprintf(stderr, "tessel: view --all needs -o DIR\n");
    return false;
  }
  return true;
}

bool check_view(const CommandContext::Options& options) {
  AreaSize size;
  return view_options(options, &size);
}

int view(CommandContext& c) {
  AreaSize size;
  if (!view_options(c.options, &size)) return 2;
  if (c.options.count("--all") != 0) return view_all(c, size, option(c, "-o", ""));
  const std::string png = option(c, "-o", "page.png");
  if (!draw_area(c.control, size, png)) {
    std::fprintf(stderr, "tessel: cannot write %s\n", png.c_str());
    return 1;
  }
  std::fprintf(c.out, "page %d written to %s\n", c.control.report().current_page, png.c_str());
  report_left_out(c.control);
  return 0;
}

int next(CommandContext& c) {
  return FAILED(c.control.call("NextPage")) ? 1 : 0;
}

int prev(CommandContext& c) {
  return FAILED(c.control.call("PrevPage")) ? 1 : 0;
}

const HostCommandRegistration view_command{
    20,
    {"view",
     "view [--size WxH] [-o FILE.png]  draw the current page (default 816x1056, page.png);\n"
     "      view --all -o DIR            every page as DIR/page-001.png ...",
     {"--size", "-o"},
     {"--all"},
     view,
     HostNeeds::Control,
     check_view}};
const HostCommandRegistration next_command{
    21, {"next", "next                 go to the next page (NextPage)", {}, {}, next}};
const HostCommandRegistration prev_command{
    22, {"prev", "prev                 go to the previous page (PrevPage)", {}, {}, prev}};

}  // namespace
