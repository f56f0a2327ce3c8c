// The page view commands of the host: next and prev as a script calls them,
// and view, which draws the control's area on an image surface and writes it
// as PNG (one page, or every page into a folder).
#include "apps/tessel/host.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "apps/tessel/dispatch_host.h"
#include "platform/dc_cairo.h"
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
bool parse_size(const std::string& text, AreaSize* size)
{
    const char* s = text.c_str();
    char* end = nullptr;
    errno = 0;
    const long width = std::strtol(s, &end, 10);
    if (end == s || (*end != 'x' && *end != 'X') || errno != 0)
        return false;
    const char* h = end + 1;
    const long height = std::strtol(h, &end, 10);
    if (end == h || *end != '\0' || errno != 0)
        return false;
    if (width < 1 || width > kMaxSide || height < 1 || height > kMaxSide)
        return false;
    size->width = static_cast<int>(width);
    size->height = static_cast<int>(height);
    return true;
}

// Draws the control's area as the host would on a repaint: the background
// erased to white first, then the control's own drawing over it.
bool draw_area(ControlHost& control, const AreaSize& size, const std::string& png)
{
    auto dc = CairoDc::create_screen(size.width, size.height);
    if (!dc)
        return false;
    const DcObject background = dc->create_solid_brush(dc_rgb(255, 255, 255));
    dc->fill_rect({0, 0, size.width, size.height}, background);
    dc->delete_object(background);
    return SUCCEEDED(control.draw(dc.get(), {0, 0, size.width, size.height})) && dc->write_png(png.c_str());
}

std::string option(const CommandContext& c, const char* name, const char* fallback)
{
    const auto found = c.options.find(name);
    return found == c.options.end() ? fallback : found->second;
}

// Every page in turn, as a script would step through them: page p is drawn
// with the counter at p until the draw brings the counter back, which means
// the document ended. The counter is left as it was; it is no script member,
// so the host sets it through the module's host exports.
int view_all(CommandContext& c, const AreaSize& size, const std::string& folder)
{
    if (!qel_mkdirs(folder.c_str(), 0755)) {
        std::fprintf(stderr, "tessel: cannot create %s: %s\n", folder.c_str(), std::strerror(errno));
        return 1;
    }
    const int current = c.control.report().current_page;
    int pages = 0;
    for (int page = 1;; ++page) {
        char name[32];
        std::snprintf(name, sizeof name, "/page-%03d.png", page);
        const std::string path = folder + name;
        c.control.go_to_page(page);
        // The last draw goes one past the end; its file is not kept.
        const bool written = draw_area(c.control, size, path);
        if (c.control.report().current_page < page) {
            std::remove(path.c_str());
            break;
        }
        if (!written) {
            std::fprintf(stderr, "tessel: cannot write %s\n", path.c_str());
            c.control.go_to_page(current);
            return 1;
        }
        pages = page;
    }
    c.control.go_to_page(current);
    std::fprintf(c.out, "%d page%s written to %s\n", pages, pages == 1 ? "" : "s", folder.c_str());
    // The last draw laid out every page: its count covers the document.
    report_left_out(c.control);
    return 0;
}

// The area asked for and whether the options go together; false, having
// said why, when they do not.
bool view_options(const CommandContext::Options& options, AreaSize* size)
{
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

bool check_view(const CommandContext::Options& options)
{
    AreaSize size;
    return view_options(options, &size);
}

int view(CommandContext& c)
{
    AreaSize size;
    if (!view_options(c.options, &size))
        return 2;
    if (c.options.count("--all") != 0)
        return view_all(c, size, option(c, "-o", ""));
    const std::string png = option(c, "-o", "page.png");
    if (!draw_area(c.control, size, png)) {
        std::fprintf(stderr, "tessel: cannot write %s\n", png.c_str());
        return 1;
    }
    std::fprintf(c.out, "page %d written to %s\n", c.control.report().current_page, png.c_str());
    report_left_out(c.control);
    return 0;
}

int next(CommandContext& c)
{
    return FAILED(c.control.call("NextPage")) ? 1 : 0;
}

int prev(CommandContext& c)
{
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

} // namespace
