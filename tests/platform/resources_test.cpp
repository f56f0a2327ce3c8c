// The module's resources: its pictures, its name and its version.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/resources.h"

namespace {

TEST(ModuleResources, PicturesNameAndVersion) {
  ResourceBitmap toolbox{}, branded{}, page{};
  ASSERT_TRUE(load_bitmap_resource(IDB_TOOLBOX, &toolbox));
  EXPECT_EQ(toolbox.info->width, 16);
  EXPECT_EQ(toolbox.info->height, 16);
  ASSERT_TRUE(load_bitmap_resource(IDB_BRANDED, &branded));
  EXPECT_EQ(branded.info->width, 160);
  EXPECT_EQ(branded.info->height, 128);
  EXPECT_EQ(branded.bits_size, static_cast<size_t>(branded.info->size_image));
  ASSERT_TRUE(load_bitmap_resource(IDB_DEVICE_PAGE, &page));
  EXPECT_NE(std::memcmp(branded.bits, page.bits, page.bits_size), 0);  // not another white page
  EXPECT_FALSE(load_bitmap_resource(103, &page));

  char name[16];
  EXPECT_EQ(load_string_resource(IDS_PROJNAME, name, sizeof name), 6);
  EXPECT_STREQ(name, "Tessel");
  EXPECT_EQ(load_string_resource(IDS_PROJNAME, name, 4), 3);
  EXPECT_STREQ(name, "Tes");
  EXPECT_EQ(load_string_resource(101, name, sizeof name), 0);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(load_string_resource(IDS_PROJNAME, name, 0), 0);

  const ModuleVersion v = module_file_version();
  EXPECT_EQ(v.major, 1);
  EXPECT_EQ(v.minor, 0);
  EXPECT_EQ(v.build, 0);
  EXPECT_EQ(v.revision, 16);
  EXPECT_STREQ(module_file_version_text(), "1.0.0.16");
}

}  // namespace
