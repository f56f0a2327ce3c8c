// Pictures drawn from their files: kept by a job's picture cache, they draw
// the same pixels as decoding them for every draw does, at every box size.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "layout/paint.h"
#include "layout/render_target.h"
#include "platform/dc_cairo.h"
#include "platform/picture_cache.h"
#include "platform/png_encode.h"

namespace {

using TargetPtr = std::unique_ptr<RenderTarget, RenderTargetDeleter>;

// A w x h PNG whose every pixel differs from its neighbours, so a dropped
// or repeated row or column shows.
std::string write_picture(const std::string& name, int w, int h) {
  std::vector<uint32_t> pixels(static_cast<size_t>(w) * h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x)
      pixels[static_cast<size_t>(y) * w + x] =
          (uint32_t(x * 7 % 256) << 16) | (uint32_t(y * 5 % 256) << 8) | uint32_t((x + y) % 256);
  std::string png;
  EXPECT_TRUE(png_encode_rgb24(reinterpret_cast<const unsigned char*>(pixels.data()), w, h, 4 * w, &png));
  const std::string path =
      (std::filesystem::temp_directory_path() / (name + "-" + std::to_string(getpid()) + ".png")).string();
  FILE* f = std::fopen(path.c_str(), "wb");
  EXPECT_NE(f, nullptr);
  std::fwrite(png.data(), 1, png.size(), f);
  std::fclose(f);
  return path;
}

// The pixels of a 120 x 90 surface after drawing the file into the box.
std::vector<DcColor> drawn(const std::string& path, int x, int y, int w, int h, bool* ok) {
  auto dc = CairoDc::create_screen(120, 90);
  TargetPtr target(rt_create(dc.get(), {0, 0, 119, 89}, RT_VERSION));
  *ok = draw_image_file(target.get(), path.c_str(), x, y, w, h);
  std::vector<DcColor> pixels;
  for (int py = 0; py < 90; ++py)
    for (int px = 0; px < 120; ++px) pixels.push_back(dc->get_pixel(px, py));
  return pixels;
}

TEST(PictureFile, KeptPicturesDrawAsDecodedOnesAtEveryBoxSize) {
  const std::string path = write_picture("kept", 37, 23);
  struct Box {
    int x, y, w, h;
  };
  // The same size, smaller, larger, smaller one way and larger the other,
  // and a box reaching past the surface.
  for (const Box& box :
       {Box{3, 4, 37, 23}, Box{5, 5, 13, 9}, Box{0, 0, 110, 80}, Box{2, 1, 11, 70}, Box{60, 40, 90, 60}}) {
    SCOPED_TRACE(std::to_string(box.w) + "x" + std::to_string(box.h));
    bool decoded_ok = false, kept_ok = false, again_ok = false;
    const std::vector<DcColor> decoded = drawn(path, box.x, box.y, box.w, box.h, &decoded_ok);
    PictureCacheScope job;
    const std::vector<DcColor> first = drawn(path, box.x, box.y, box.w, box.h, &kept_ok);
    const std::vector<DcColor> again = drawn(path, box.x, box.y, box.w, box.h, &again_ok);
    EXPECT_TRUE(decoded_ok && kept_ok && again_ok) << decoded_ok << kept_ok << again_ok;
    EXPECT_EQ(first, decoded);
    EXPECT_EQ(again, decoded);
  }
  std::filesystem::remove(path);
}

TEST(PictureFile, AJobDecodesAFileOnceAndForgetsItWhenItEnds) {
  const std::string path = write_picture("once", 20, 20);
  bool ok = false;
  {
    PictureCacheScope job;
    const std::vector<DcColor> before = drawn(path, 10, 10, 40, 40, &ok);
    ASSERT_TRUE(ok);
    std::filesystem::remove(path);
    {
      PictureCacheScope nested;  // shares the job's pictures
      EXPECT_EQ(drawn(path, 10, 10, 40, 40, &ok), before) << "drawn from what the job kept";
      EXPECT_TRUE(ok);
    }
    drawn(path, 10, 10, 41, 40, &ok);
    EXPECT_FALSE(ok) << "another size is decoded anew";
    drawn("/nonexistent/picture.png", 0, 0, 5, 5, &ok);
    EXPECT_FALSE(ok);
  }
  drawn(path, 10, 10, 40, 40, &ok);
  EXPECT_FALSE(ok) << "the job's pictures are gone with it";
}

TEST(PictureCache, KeepsWithinItsBoundDroppingTheLeastRecentlyUsed) {
  PictureCacheScope job;
  // Pictures of a quarter of the bound each: the fifth pushes out the one
  // used longest ago, which is not the first once that was used again.
  const int side = 1448;  // 1448^2 * 4 bytes is just under 8 MB
  std::shared_ptr<const DcPicture> found;
  for (int i = 0; i < 4; ++i)
    picture_cache_keep("p" + std::to_string(i), side, side, std::make_shared<DcPicture>(side, side));
  ASSERT_TRUE(picture_cache_find("p0", side, side, &found));
  picture_cache_keep("p4", side, side, std::make_shared<DcPicture>(side, side));
  EXPECT_TRUE(picture_cache_find("p0", side, side, &found));
  EXPECT_FALSE(picture_cache_find("p1", side, side, &found));
  EXPECT_TRUE(picture_cache_find("p4", side, side, &found));
  // A picture larger than the bound is not kept; a failed one is, as null.
  picture_cache_keep("huge", 3000, 3000, std::make_shared<DcPicture>(3000, 3000));
  EXPECT_FALSE(picture_cache_find("huge", 3000, 3000, &found));
  picture_cache_keep("bad", 5, 5, nullptr);
  ASSERT_TRUE(picture_cache_find("bad", 5, 5, &found));
  EXPECT_EQ(found, nullptr);
}

}  // namespace
