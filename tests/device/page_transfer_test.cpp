// Blocks and pages on the wire, recorded in the process instead of going
// through a library: report layout, report counts, the staging-buffer
// alternation, the directory entries and the refusals.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "device_fixture.h"

namespace {

using device_test::Report;
using device_test::report_address;

std::vector<Report>* recorded = nullptr;
// Reports taken before the device refuses the rest; negative: no limit.
int reports_left = -1;

unsigned char record_report(unsigned char* buffer) {
  if (reports_left == 0) return 0;
  if (reports_left > 0) --reports_left;
  Report r;
  std::copy_n(buffer, r.size(), r.begin());
  recorded->push_back(r);
  return 1;
}

class PageTransfer : public ::testing::Test {
 protected:
  void SetUp() override {
    recorded = &reports_;
    saved_ = g_hid;
    g_hid.writeData = record_report;
    g_device_link = DeviceLinkState{};
  }
  void TearDown() override {
    g_hid = saved_;
    recorded = nullptr;
    reports_left = -1;
  }

  std::vector<Report> reports_;
  HidFunctions saved_{};
  device_test::CapturedStream out_;
};

TEST_F(PageTransfer, FullBlockIsTwentyDataReportsAndAStoreReport) {
  std::vector<unsigned char> block(DEVICE_BLOCK_SIZE);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<unsigned char>(i * 7 + 1);
  ASSERT_EQ(SendBlock(DEVICE_BLOCK_SIZE, block.data(), 0x012C00, out_.get()), 1);

  ASSERT_EQ(reports_.size(), 21u);
  for (int k = 0; k < 20; ++k) {
    const Report& r = reports_[k];
    const int n = k < 19 ? 27 : 15;
    EXPECT_EQ(r[0], n + 4) << k;
    EXPECT_EQ(r[1], 0x84) << k;
    EXPECT_EQ(report_address(r), uint32_t(27 * k)) << k;
    for (int i = 0; i < n; ++i) ASSERT_EQ(r[5 + i], block[27 * k + i]) << k << ":" << i;
    for (int i = 5 + n; i < HID_REPORT_SIGNIFICANT; ++i) EXPECT_EQ(r[i], 0) << "report " << k << " byte " << i;
  }
  const Report& store = reports_[20];
  EXPECT_EQ(store[0], 4);
  EXPECT_EQ(store[1], 0x83);
  EXPECT_EQ(report_address(store), 0x012C00u);
  // The buffer is not cleared before the store report.
  EXPECT_EQ(store[5], block[27 * 19]);
  EXPECT_EQ(out_.text(), "");
}

TEST_F(PageTransfer, CommandCodesAlternateFromBlockToBlock) {
  const unsigned char byte = 0x5A;
  ASSERT_EQ(SendBlock(1, &byte, 0, out_.get()), 1);
  ASSERT_EQ(SendBlock(1, &byte, 1024, out_.get()), 1);
  ASSERT_EQ(SendBlock(1, &byte, 2048, out_.get()), 1);
  ASSERT_EQ(reports_.size(), 6u);
  const uint8_t expected[6][2] = {{5, 0x84}, {4, 0x83}, {5, 0x87}, {4, 0x86}, {5, 0x84}, {4, 0x83}};
  for (int i = 0; i < 6; ++i) {
    EXPECT_EQ(reports_[i][0], expected[i][0]) << i;
    EXPECT_EQ(reports_[i][1], expected[i][1]) << i;
  }
}

TEST_F(PageTransfer, RefusedBlocksSendNothingAndKeepTheBuffers) {
  std::vector<unsigned char> data(DEVICE_BLOCK_SIZE + 1);
  EXPECT_EQ(SendBlock(10, nullptr, 0, out_.get()), 0);
  EXPECT_EQ(SendBlock(DEVICE_BLOCK_SIZE + 1, data.data(), 0, out_.get()), 0);
  EXPECT_EQ(SendBlock(0, data.data(), 0, out_.get()), 0);
  EXPECT_EQ(SendBlock(1, data.data(), DEVICE_ADDRESS_END, out_.get()), 0);
  EXPECT_EQ(out_.text(),
            "ERROR: attempting to send NULL data.\n"
            "ERROR: buffer too large.\n"
            "ERROR: address beyond the device's memory.\n");
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(g_device_link.data_command, 0x84);
  EXPECT_EQ(g_device_link.store_command, 0x83);
}

TEST_F(PageTransfer, AReportTheDeviceRefusesEndsTheBlockBeforeItsStoreReport) {
  std::vector<unsigned char> white(DEVICE_BITMAP_SIZE, 0xFF);
  directory_reset();
  reports_left = 100;  // four blocks of 21 reports and part of the fifth
  EXPECT_EQ(SendPage(white.data(), 0, out_.get()), 0);
  EXPECT_EQ(out_.text(), "ERROR: the device did not take a report.\n");
  ASSERT_EQ(reports_.size(), 100u);
  // Four blocks were stored; the fifth, cut short, was never programmed.
  EXPECT_EQ(std::count_if(reports_.begin(), reports_.end(), [](const Report& r) { return r[0] == 4; }), 4);
  EXPECT_EQ(reports_.back()[0], 27 + 4);
  // The page is not listed, and the fifth block's buffer is used again.
  EXPECT_EQ(g_device_link.directory_length, 4u);
  EXPECT_EQ(g_device_link.directory[4], 0);
  EXPECT_EQ(g_device_link.data_command, 0x84);
}

TEST_F(PageTransfer, PageIsSeventyEightBlocksAndOneDirectoryEntry) {
  std::vector<unsigned char> white(DEVICE_BITMAP_SIZE, 0xFF);
  directory_reset();
  ASSERT_EQ(SendPage(white.data(), 0, out_.get()), 1);
  ASSERT_EQ(SendPage(white.data(), 0, out_.get()), 1);

  ASSERT_EQ(reports_.size(), 2u * 1630);
  std::vector<uint32_t> stores;
  for (const Report& r : reports_)
    if (r[0] == 4) stores.push_back(report_address(r));
  ASSERT_EQ(stores.size(), 2u * PAGE_BLOCKS);
  for (size_t k = 0; k < stores.size(); ++k) EXPECT_EQ(stores[k], 2048 + 1024 * k) << k;
  // The last block of a page is 305 bytes: 11 full reports and one of 8.
  const Report& last_data = reports_[1630 - 2];
  EXPECT_EQ(last_data[0], 8 + 4);
  EXPECT_EQ(report_address(last_data), 11u * 27);

  const unsigned char* d = g_device_link.directory;
  EXPECT_EQ(g_device_link.directory_length, 12u);
  const unsigned char expected[8] = {0x00, 0x08, 0x01, 78, 0x01, 0x40, 0x01, 78};
  for (int i = 0; i < 8; ++i) EXPECT_EQ(d[4 + i], expected[i]) << i;
  EXPECT_EQ(g_device_link.write_address, 2048u + 2 * 79872);
}

TEST_F(PageTransfer, PageWithoutRoomIsRefusedBeforeAnythingIsSent) {
  std::vector<unsigned char> white(DEVICE_BITMAP_SIZE, 0xFF);

  // A full directory.
  directory_reset();
  g_device_link.directory_length = 4 + 4 * DIRECTORY_MAX_ENTRIES;
  EXPECT_TRUE(directory_full());
  EXPECT_EQ(SendPage(white.data(), 0, out_.get()), 0);

  // The last page that fits below 24 bits, then one that would not.
  directory_reset();
  g_device_link.write_address = DEVICE_ADDRESS_END - PAGE_BLOCKS * DEVICE_BLOCK_STEP;
  EXPECT_EQ(SendPage(white.data(), 0, out_.get()), 1);
  reports_.clear();
  EXPECT_FALSE(page_fits_address_space());
  EXPECT_EQ(SendPage(white.data(), 0, out_.get()), 0);
  EXPECT_TRUE(reports_.empty());
  EXPECT_EQ(g_device_link.directory_length, 8u);
  EXPECT_EQ(g_device_link.directory[8], 0);
}

}  // namespace
