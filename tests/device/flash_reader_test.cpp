// Reading a simulated flash back: only a directory block a transfer wrote
// is taken as one; an erased flash or foreign bytes are no directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <iterator>
#include <vector>

#include "device/flash_layout.h"
#include "device/flash_reader.h"
#include "device/page_transfer.h"

namespace {

// A flash file holding `block` at address 0; answers what the reader makes
// of it.
FlashDirectory read_directory_block(const std::vector<unsigned char>& block) {
  FlashDirectory directory{-1, {}, true};
  std::FILE* flash = std::tmpfile();
  EXPECT_NE(flash, nullptr);
  if (flash == nullptr) return directory;
  std::fwrite(block.data(), 1, block.size(), flash);
  std::fflush(flash);
  EXPECT_TRUE(flash_read_directory(flash, &directory));
  std::fclose(flash);
  return directory;
}

TEST(FlashReader, OnlyADirectoryATransferWroteIsListed) {
  // As a transfer leaves it: two pages, zeros after them.
  std::vector<unsigned char> written(DEVICE_BLOCK_SIZE, 0);
  const unsigned char entries[] = {2, 0, 0, 0, 0x00, 0x08, 1, 78, 0x01, 0x40, 1, 78};
  std::copy(std::begin(entries), std::end(entries), written.begin());
  const FlashDirectory good = read_directory_block(written);
  EXPECT_TRUE(good.valid);
  ASSERT_EQ(good.entries.size(), 2u);
  EXPECT_EQ(good.entries[1].address, 81920u);

  // Never programmed: an empty file and an erased one read all 0xFF.
  for (const auto& erased :
       {std::vector<unsigned char>{}, std::vector<unsigned char>(FLASH_PAGE_SIZE, FLASH_ERASED_BYTE)}) {
    const FlashDirectory none = read_directory_block(erased);
    EXPECT_FALSE(none.valid);
    EXPECT_EQ(none.count, 255);
    EXPECT_TRUE(none.entries.empty());
  }

  // A count that fits, but bytes where a transfer leaves zeros.
  std::vector<unsigned char> padded = written;
  padded[2] = 0x5A;
  EXPECT_FALSE(read_directory_block(padded).valid);
  std::vector<unsigned char> tail = written;
  tail[4 + 4 * 2] = 0x01;
  EXPECT_FALSE(read_directory_block(tail).valid);
}

}  // namespace
