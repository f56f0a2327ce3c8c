// Whole transfers into the simulated device: where pages and the directory
// land, what the device receives, and how transfers follow one another.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "device/flash_reader.h"
#include "device/sync.h"
#include "device_fixture.h"
#include "platform/message_box.h"

namespace {

using namespace device_test;

// The message boxes a transfer showed; answers `answer` to each.
struct Boxes {
  std::vector<std::string> texts;
  int answer = IDOK;
  ShowMessageFn handler() {
    return [this](const char* text, const char* title, int) {
      texts.push_back(std::string(title) + ": " + text);
      return answer;
    };
  }
};

class Sync : public SimulatorTest {
 protected:
  std::string run(pdoc_element* root) {
    CapturedStream out;
    result_ = sync_device(root, boxes_.handler(), out.get());
    return out.text();
  }

  FlashDirectory directory() const {
    FlashDirectory dir{};
    std::FILE* f = std::fopen(flash_.c_str(), "rb");
    EXPECT_NE(f, nullptr);
    if (f) {
      EXPECT_TRUE(flash_read_directory(f, &dir));
      std::fclose(f);
    }
    return dir;
  }

  // Each page the directory lists decodes to the page as laid out.
  void expect_pages(const std::vector<std::vector<unsigned char>>& pages) const {
    const FlashDirectory dir = directory();
    ASSERT_EQ(dir.count, static_cast<int>(pages.size()));
    ASSERT_EQ(dir.entries.size(), pages.size());
    std::FILE* flash = std::fopen(flash_.c_str(), "rb");
    ASSERT_NE(flash, nullptr);
    std::vector<unsigned char> image(DEVICE_PAGE_IMAGE_SIZE), expected(DEVICE_PAGE_IMAGE_SIZE);
    for (size_t p = 0; p < pages.size(); ++p) {
      ASSERT_TRUE(flash_read_page_image(flash, dir.entries[p], image.data())) << p;
      page_image_from_bitmap(pages[p].data(), expected.data());
      EXPECT_EQ(image, expected) << "page " << p + 1;
    }
    std::fclose(flash);
  }

  Boxes boxes_;
  SyncResult result_;
};

TEST_F(Sync, OnePageGoesToTheStartOfMemoryThenTheDirectoryToAddressZero) {
  Document doc("<p>Hello</p>");
  ASSERT_EQ(render_pages(doc.root()).size(), 1u);
  EXPECT_EQ(run(doc.root()), "Sending page 1...Done.\n");
  EXPECT_TRUE(boxes_.texts.empty());

  const SimulatorLog log = this->log();
  ASSERT_EQ(log.writes.size(), 1630u + 21u);
  EXPECT_EQ(log.calls.front(), "find 1");
  EXPECT_EQ(log.calls.back(), "close");
  const std::vector<Report> stores = store_reports(log);
  ASSERT_EQ(stores.size(), 79u);
  for (int k = 0; k < 78; ++k) EXPECT_EQ(report_address(stores[k]), 2048u + 1024u * k) << k;
  EXPECT_EQ(report_address(stores[78]), 0u);
  // The very first report uses the first staging buffer.
  EXPECT_EQ(log.writes[0][1], 0x84);
  EXPECT_EQ(stores[0][1], 0x83);
  EXPECT_EQ(stores[1][1], 0x86);

  const FlashDirectory dir = directory();
  EXPECT_EQ(dir.count, 1);
  ASSERT_EQ(dir.entries.size(), 1u);
  EXPECT_EQ(dir.entries[0].address, 2048u);
  EXPECT_EQ(dir.entries[0].format, 1);
  EXPECT_EQ(dir.entries[0].blocks, 78);
}

TEST_F(Sync, PagesDecodedFromFlashEqualTheRenderedPages) {
  Document doc(paragraphs(14) +
               "<table border=1><tr><td bgcolor=red>red</td>"
               "<td bgcolor=blue>blue</td></tr></table><hr>");
  const auto pages = render_pages(doc.root());
  ASSERT_GE(pages.size(), 2u);
  run(doc.root());

  EXPECT_EQ(result_.status, SyncResult::Status::Sent);
  EXPECT_EQ(result_.pages_sent, static_cast<int>(pages.size()));
  EXPECT_EQ(directory().entries[1].address, 81920u);  // 0x01, 0x40
  expect_pages(pages);
  // Something other than white reached the device.
  std::vector<unsigned char> expected(DEVICE_PAGE_IMAGE_SIZE);
  page_image_from_bitmap(pages[0].data(), expected.data());
  EXPECT_NE(std::count(expected.begin(), expected.end() - 1, 0xFF), static_cast<long>(DEVICE_PAGE_IMAGE_SIZE - 1));
}

TEST_F(Sync, SecondTransferContinuesWithTheOtherBufferAndItsOwnDirectory) {
  Document one("<p>One</p>");
  run(one.root());
  EXPECT_EQ(g_device_link.write_address, 2048u + 79872u);
  clear_log();

  Document two(paragraphs(8));
  const size_t pages = render_pages(two.root()).size();
  ASSERT_GE(pages, 2u);
  run(two.root());

  const SimulatorLog log = this->log();
  const std::vector<Report> stores = store_reports(log);
  ASSERT_EQ(stores.size(), 78 * pages + 1);
  EXPECT_EQ(report_address(stores[0]), 2048u + 79872u);
  // 79 blocks went before, an odd number: this transfer starts on buffer 2.
  EXPECT_EQ(log.writes[0][1], 0x87);
  EXPECT_EQ(stores[0][1], 0x86);
  EXPECT_EQ(stores[1][1], 0x83);

  const FlashDirectory dir = directory();
  EXPECT_EQ(dir.count, static_cast<int>(pages));
  ASSERT_EQ(dir.entries.size(), pages);
  EXPECT_EQ(dir.entries[0].address, 2048u + 79872u);
}

TEST_F(Sync, NoDocumentWritesAnEmptyDirectoryAndClosesTheDevice) {
  EXPECT_EQ(run(nullptr), "Done.\n");
  const SimulatorLog log = this->log();
  EXPECT_EQ(log.writes.size(), 21u);
  EXPECT_EQ(log.calls.back(), "close");
  const std::vector<Report> stores = store_reports(log);
  ASSERT_EQ(stores.size(), 1u);
  EXPECT_EQ(report_address(stores[0]), 0u);
  const FlashDirectory dir = directory();
  EXPECT_EQ(dir.count, 0);
  EXPECT_EQ(g_device_link.write_address, 2048u);
}

TEST_F(Sync, AnElementThatNeverFitsIsReportedAndSkipped) {
  // A picture far taller than the page cannot be placed on an empty one.
  Document doc("<p>before</p><img width=10 height=4000><p>after</p>");
  const size_t pages = render_pages(doc.root()).size();
  const std::string out = run(doc.root());
  EXPECT_NE(out.find("Sending page 1..."), std::string::npos);
  // The page laid out around the stuck element is sent all the same.
  EXPECT_EQ(directory().count, static_cast<int>(pages));
  EXPECT_FALSE(boxes_.texts.empty());
  for (const std::string& box : boxes_.texts) EXPECT_EQ(box, "Error: Cannot fit on a page");
}

TEST_F(Sync, DirectoryFullLeavesTheRestOutAndSaysHowMany) {
  unsetenv("TESSEL_SIM_LOG");  // 1630 log lines a page would slow this down
  Document doc(paragraphs(900));
  const size_t pages = render_pages(doc.root()).size();
  ASSERT_GT(pages, size_t(DIRECTORY_MAX_ENTRIES));
  const std::string out = run(doc.root());
  EXPECT_NE(out.find("Sending page 131..."), std::string::npos);
  EXPECT_EQ(out.find("Sending page 132..."), std::string::npos);
  const std::string left = std::to_string(pages - DIRECTORY_MAX_ENTRIES);
  EXPECT_NE(out.find(left + " page"), std::string::npos) << out.substr(out.size() - 200);
  EXPECT_NE(out.find("left out"), std::string::npos);
  EXPECT_EQ(out.substr(out.size() - 6), "Done.\n");
  // The user is told, not only the trace.
  ASSERT_EQ(boxes_.texts.size(), 1u);
  EXPECT_EQ(boxes_.texts[0],
            "ORV/Tessel: Tessel holds 131 pages: the last " + left + " pages of the document were left out.");
  EXPECT_EQ(result_.status, SyncResult::Status::LeftOut);
  EXPECT_EQ(result_.pages_sent, DIRECTORY_MAX_ENTRIES);
  EXPECT_EQ(result_.pages_left_out, static_cast<int>(pages) - DIRECTORY_MAX_ENTRIES);

  const FlashDirectory dir = directory();
  EXPECT_EQ(dir.count, DIRECTORY_MAX_ENTRIES);
  EXPECT_EQ(g_device_link.write_address, 2048u + 79872u * DIRECTORY_MAX_ENTRIES);
}

TEST_F(Sync, PagesThatWouldPassTheMemoryEndStartAgainAtTheFirstPageAddress) {
  // Room for exactly one more page below 24 bits.
  const uint32_t last_room = DEVICE_ADDRESS_END - PAGE_BLOCKS * DEVICE_BLOCK_STEP;
  g_device_link.write_address = last_room;
  Document doc(paragraphs(8));
  const auto pages = render_pages(doc.root());
  ASSERT_GE(pages.size(), 2u);
  const std::string out = run(doc.root());
  EXPECT_EQ(result_.status, SyncResult::Status::Sent);

  const std::vector<Report> stores = store_reports(log());
  ASSERT_EQ(stores.size(), PAGE_BLOCKS * pages.size() + 1);
  for (const Report& r : stores) EXPECT_LT(report_address(r), DEVICE_ADDRESS_END);
  EXPECT_EQ(report_address(stores[PAGE_BLOCKS - 1]), DEVICE_ADDRESS_END - DEVICE_BLOCK_STEP);
  EXPECT_EQ(report_address(stores[PAGE_BLOCKS]), DEVICE_FIRST_PAGE_ADDRESS);
  EXPECT_EQ(report_address(stores.back()), 0u);
  EXPECT_EQ(directory().entries[0].address, last_room);
  EXPECT_EQ(directory().entries[1].address, DEVICE_FIRST_PAGE_ADDRESS);
  expect_pages(pages);
}

TEST_F(Sync, RepeatedFullTransfersWrapAndEachLeavesEveryPage) {
  unsetenv("TESSEL_SIM_LOG");  // 1630 log lines a page would slow this down
  Document doc(paragraphs(393));
  const auto pages = render_pages(doc.root());
  ASSERT_EQ(pages.size(), size_t(DIRECTORY_MAX_ENTRIES));
  // The memory holds 210 pages: the second transfer runs past its end.
  bool wrapped = false;
  for (int transfer = 1; transfer <= 3; ++transfer) {
    SCOPED_TRACE("transfer " + std::to_string(transfer));
    const uint32_t start = g_device_link.write_address;
    run(doc.root());
    EXPECT_EQ(result_.status, SyncResult::Status::Sent);
    EXPECT_EQ(result_.pages_sent, DIRECTORY_MAX_ENTRIES);
    expect_pages(pages);
    wrapped = wrapped || g_device_link.write_address < start;
  }
  EXPECT_TRUE(wrapped);
  EXPECT_TRUE(boxes_.texts.empty());
}

TEST_F(Sync, ADeviceThatStopsTakingReportsEndsTheTransferAndSaysSo) {
  // The first page takes 1630 reports; the device goes during the second.
  setenv("TESSEL_SIM_UNPLUG_AFTER", "2000", 1);
  Document doc(paragraphs(8));
  ASSERT_GE(render_pages(doc.root()).size(), 3u);
  const std::string out = run(doc.root());
  unsetenv("TESSEL_SIM_UNPLUG_AFTER");

  EXPECT_EQ(result_.status, SyncResult::Status::WriteFailed);
  EXPECT_EQ(result_.pages_sent, 1);
  EXPECT_NE(out.find("Sending page 2...ERROR: the device did not take a report.\n"), std::string::npos) << out;
  EXPECT_EQ(out.find("Sending page 3"), std::string::npos) << out;
  EXPECT_EQ(boxes_.texts,
            std::vector<std::string>{"ORV/Tessel: The transfer did not complete: Tessel stopped taking data after 1 "
                                     "page.  Please make sure it is plugged in and try again."});
  // Nothing more was offered after the first refusal than the directory's
  // first report, and the device was closed.
  const SimulatorLog log = this->log();
  EXPECT_EQ(std::count(log.calls.begin(), log.calls.end(), "refused"), 2);
  EXPECT_EQ(log.calls.back(), "close");
}

TEST_F(Sync, CancelWhileUnpluggedSendsNothing) {
  setenv("TESSEL_SIM_UNPLUGGED", "1", 1);
  boxes_.answer = IDCANCEL;
  Document doc("<p>Hello</p>");
  EXPECT_EQ(run(doc.root()), "");
  EXPECT_EQ(result_.status, SyncResult::Status::NoDevice);
  ASSERT_EQ(boxes_.texts.size(), 1u);
  EXPECT_EQ(boxes_.texts[0], "ORV/Tessel: Unable to find Tessel.  Please make sure it is plugged in.");
  const SimulatorLog log = this->log();
  EXPECT_TRUE(log.writes.empty());
  // Searched, asked, searched once more after Cancel.
  EXPECT_EQ(log.calls, (std::vector<std::string>{"find 0", "find 0"}));
}

TEST_F(Sync, RetryFindsTheDeviceOncePluggedIn) {
  setenv("TESSEL_SIM_UNPLUGGED", "1", 1);
  int asked = 0;
  auto plug_in_on_second_box = [&](const char*, const char*, int buttons) {
    EXPECT_EQ(buttons, MB_RETRYCANCEL);
    if (++asked == 2) unsetenv("TESSEL_SIM_UNPLUGGED");
    return IDRETRY;
  };
  CapturedStream out;
  sync_device(nullptr, plug_in_on_second_box, out.get());
  EXPECT_EQ(asked, 2);
  EXPECT_EQ(out.text(), "Done.\n");
  const SimulatorLog log = this->log();
  EXPECT_EQ(log.calls[0], "find 0");
  EXPECT_EQ(log.calls[1], "find 0");
  EXPECT_EQ(log.calls[2], "find 1");
  EXPECT_EQ(log.writes.size(), 21u);
}

TEST_F(Sync, CancelWhenTheDeviceArrivesClosesItWithoutSending) {
  setenv("TESSEL_SIM_UNPLUGGED", "1", 1);
  auto plug_in_and_cancel = [](const char*, const char*, int) {
    unsetenv("TESSEL_SIM_UNPLUGGED");
    return IDCANCEL;
  };
  CapturedStream out;
  sync_device(nullptr, plug_in_and_cancel, out.get());
  const SimulatorLog log = this->log();
  EXPECT_EQ(log.calls, (std::vector<std::string>{"find 0", "find 1", "close"}));
}

}  // namespace
