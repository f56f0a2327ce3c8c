// Golden pages: sample documents laid out on the Cairo image surface at a
// fixed page size and compared with stored PNG files, pixel by pixel with a
// small tolerance for antialiased text. TESSEL_REGENERATE_GOLDEN=1 rewrites
// the stored files (see golden/regenerate.sh); nothing is rewritten silently.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "document/pdocbuild.h"
#include "image/imgfilter.h"
#include "layout/paginate.h"
#include "layout/render_target.h"
#include "platform/dc_cairo.h"

namespace {

constexpr int kPageW = 400, kPageH = 300, kMaxPages = 4;

std::string golden_dir() {
  return std::string(TESSEL_SOURCE_DIR) + "/tests/layout/golden";
}

std::vector<std::string> documents() {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(golden_dir()))
    if (entry.path().extension() == ".html") names.push_back(entry.path().stem().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Each page on a target of its own, one below the other, filled white first
// as the page view does.
class StackedPages : public PageSink {
 public:
  explicit StackedPages(CairoDc* dc) : dc_(dc) {}
  RenderTarget* begin_page(int page) override {
    target_.reset(blank_page(page));
    return target_.get();
  }
  bool end_page(int, const PagePosition&) override {
    target_.reset();
    return true;
  }
  // The target of page (1-based), filled white.
  RenderTarget* blank_page(int page) {
    const int top = (page - 1) * kPageH;
    RenderTarget* t = rt_create(dc_, {0, top, kPageW - 1, top + kPageH - 1}, 100);
    if (t) t->fill_rect(t, 0, 0, kPageW, kPageH, 0xFFFFFF);
    return t;
  }

 private:
  CairoDc* dc_;
  RenderTargetPtr target_;
};

// Lays out up to kMaxPages pages; the pages past the document's end stay
// white.
std::unique_ptr<CairoDc> render(const std::string& name) {
  std::string path = golden_dir() + "/" + name + ".html";
  FILE* f = fopen(path.c_str(), "rb");
  if (!f) return nullptr;
  // Pictures are named relative to the folder of the pages.
  const std::string folder = golden_dir();
  const pdoc_sources sources{folder.c_str(), nullptr};
  pdoc_document_ptr doc(pdocbuild_file(f, &sources, nullptr));
  fclose(f);
  if (!doc) return nullptr;
  auto dc = CairoDc::create_screen(kPageW, kPageH * kMaxPages);
  StackedPages pages(dc.get());
  const int laid_out = paginate(pages, doc->root, kMaxPages).pages;
  for (int page = laid_out + 1; page <= kMaxPages; page++) RenderTargetPtr(pages.blank_page(page));
  return dc;
}

struct Png {
  int width = 0, height = 0;
  std::vector<unsigned char> rgb;  // 3 bytes a pixel
};

bool read_png(const std::string& path, Png* out) {
  imf_context_ptr ctx(imf_create(IMF_VERSION));
  if (!ctx) return false;
  imf_register(ctx.get(), imf_module_png);
  imf_set_input_format(ctx.get(), IMF_FMT_PNG);
  imf_set_input_file(ctx.get(), path.c_str());
  if (!imf_read(ctx.get())) return false;
  const imf_image* img = ctx->image;
  if (!img || img->type != IMF_RGB24) return false;
  out->width = img->width;
  out->height = img->height;
  out->rgb.resize(static_cast<size_t>(img->width) * img->height * 3);
  for (int y = 0; y < img->height; y++)
    std::copy_n(img->data + static_cast<size_t>(y) * img->stride, img->width * 3,
                out->rgb.data() + static_cast<size_t>(y) * img->width * 3);
  return true;
}

class GoldenPage : public testing::TestWithParam<std::string> {};

TEST_P(GoldenPage, MatchesTheStoredRendering) {
  const std::string name = GetParam();
  auto dc = render(name);
  ASSERT_NE(dc, nullptr);
  const std::string png = golden_dir() + "/" + name + ".png";
  if (const char* regen = getenv("TESSEL_REGENERATE_GOLDEN"); regen && *regen == '1') {
    ASSERT_TRUE(dc->write_png(png.c_str()));
    GTEST_SKIP() << "regenerated " << png;
  }
  Png want;
  ASSERT_TRUE(read_png(png, &want)) << png << " is missing or unreadable; run "
                                    << "tests/layout/golden/regenerate.sh on purpose";
  ASSERT_EQ(want.width, kPageW);
  ASSERT_EQ(want.height, kPageH * kMaxPages);
  const unsigned char* bits = dc->bits();
  const int stride = dc->stride();
  // Antialiased glyph edges may differ slightly between builds of the font
  // stack; solid shapes and positions may not.
  long differing = 0;
  for (int y = 0; y < want.height; y++) {
    for (int x = 0; x < want.width; x++) {
      const unsigned char* got = bits + static_cast<size_t>(y) * stride + x * 4;  // B G R X
      const unsigned char* exp = want.rgb.data() + (static_cast<size_t>(y) * want.width + x) * 3;
      int d = std::max({std::abs(got[2] - exp[0]), std::abs(got[1] - exp[1]), std::abs(got[0] - exp[2])});
      if (d > 64) differing++;
    }
  }
  const long allowed = static_cast<long>(want.width) * want.height / 1000;
  EXPECT_LE(differing, allowed) << name << ": " << differing << " pixels differ";
}

INSTANTIATE_TEST_SUITE_P(Documents, GoldenPage, testing::ValuesIn(documents()),
                         [](const testing::TestParamInfo<std::string>& info) { return info.param; });

}  // namespace
