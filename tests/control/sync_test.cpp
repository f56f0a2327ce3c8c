// The control's Sync: the built document goes to the device through the
// simulator, and the device's messages reach the user through the control's
// message box.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <climits>
#include <cstdio>
#include <string>
#include <vector>

#include "common/temp_dir.h"
#include "control/tessel_ctrl.h"
#include "device/flash_reader.h"
#include "device/page_transfer.h"
#include "document/pdocbuild.h"
#include "platform/dc_cairo.h"
#include "platform/message_box.h"

namespace {

const std::string kSimulator = std::string(TESSEL_BINARY_DIR) + "/device/AtUsbHidSimulator.so";

class ControlSync : public ::testing::Test {
 protected:
  void SetUp() override {
    flash_ = dir_.file("flash.bin");
    setenv("TESSEL_HID_LIBRARY", kSimulator.c_str(), 1);
    setenv("TESSEL_SIM_FLASH", flash_.c_str(), 1);
    g_device_link = DeviceLinkState{};
    previous_ = set_message_box_handler([this](const char* text, const char* title, int) {
      boxes_.push_back(std::string(title) + ": " + text);
      return IDCANCEL;
    });
  }
  void TearDown() override {
    set_message_box_handler(previous_);
    unsetenv("TESSEL_HID_LIBRARY");
    unsetenv("TESSEL_SIM_FLASH");
  }

  int pages_in_flash() const {
    FlashDirectory directory{-1, {}, false};
    if (std::FILE* f = std::fopen(flash_.c_str(), "rb")) {
      flash_read_directory(f, &directory);
      std::fclose(f);
    }
    return directory.count;
  }

  tessel_testing::TempDir dir_;
  std::string flash_;
  std::vector<std::string> boxes_;
  MessageBoxHandler previous_;
};

TEST_F(ControlSync, SendsTheBuiltDocumentAndAnswersSuccess) {
  CTesselCtrl control;
  control.m_pDocument.reset(pdocbuild_string("<p>One page</p>", nullptr, nullptr));
  testing::internal::CaptureStdout();
  EXPECT_EQ(control.Sync(), S_OK);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Sending page 1...Done.\n");
  EXPECT_EQ(pages_in_flash(), 1);
  EXPECT_TRUE(boxes_.empty());
  EXPECT_EQ(control.m_lastSync.status, SyncResult::Status::Sent);
  EXPECT_EQ(control.m_lastSync.pages_sent, 1);

  // Without a document only the empty directory goes out.
  control.m_pDocument.reset();
  testing::internal::CaptureStdout();
  EXPECT_EQ(control.Sync(), S_OK);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "Done.\n");
  EXPECT_EQ(pages_in_flash(), 0);
}

TEST_F(ControlSync, AnElementThatFitsOnNoDevicePageIsCountedAsLeftOut) {
  CTesselCtrl control;
  control.m_pDocument.reset(pdocbuild_string(
      "<p>fits<p>aWordFarTooWideForTheDevicesDisplayOfOneHundredAndSixtyPixels<p>after", nullptr, nullptr));
  testing::internal::CaptureStdout();
  EXPECT_EQ(control.Sync(), S_OK);
  testing::internal::GetCapturedStdout();
  EXPECT_EQ(boxes_, std::vector<std::string>{"Error: Cannot fit on a page"});
  EXPECT_EQ(control.m_leftOut.elements, 1);
  EXPECT_EQ(control.m_leftOut.first_page, 2);
}

// An element that fits on no page and ends its body: the device goes on
// with the next body as the view does, whether the element is a word or a
// picture.
TEST_F(ControlSync, TheDevicePagesAsTheViewDoesAtTheDevicesSize) {
  for (const char* unplaceable :
       {"aWordFarTooWideForTheDevicesDisplayOfOneHundredAndSixtyPixels", "<img width=10 height=4000>"}) {
    CTesselCtrl control;
    control.m_pDocument.reset(pdocbuild_string(
        (std::string("<html><body>short<br>") + unplaceable + "</body><body>after</body></html>").c_str(), nullptr,
        nullptr));
    ASSERT_TRUE(control.m_pDocument);
    auto dc = CairoDc::create_screen(DEVICE_PAGE_WIDTH, DEVICE_PAGE_HEIGHT);
    control.m_nCurrentPage = INT_MAX;
    control.Draw(dc.get(), {0, 0, DEVICE_PAGE_WIDTH, DEVICE_PAGE_HEIGHT});
    const int view_pages = control.m_nCurrentPage;
    EXPECT_EQ(view_pages, 3) << unplaceable;

    testing::internal::CaptureStdout();
    EXPECT_EQ(control.Sync(), S_OK);
    testing::internal::GetCapturedStdout();
    EXPECT_EQ(pages_in_flash(), view_pages) << unplaceable;
    EXPECT_EQ(control.m_lastSync.pages_sent, view_pages) << unplaceable;
    boxes_.clear();
  }
}

TEST_F(ControlSync, DeviceMessagesGoThroughTheControlsMessageBox) {
  setenv("TESSEL_SIM_UNPLUGGED", "1", 1);
  CTesselCtrl control;
  EXPECT_EQ(control.Sync(), S_OK);
  unsetenv("TESSEL_SIM_UNPLUGGED");
  EXPECT_EQ(boxes_, std::vector<std::string>{"ORV/Tessel: Unable to find Tessel.  Please make sure it is plugged in."});
  EXPECT_EQ(pages_in_flash(), -1);  // nothing was written, not even a file
  EXPECT_EQ(control.m_lastSync.status, SyncResult::Status::NoDevice);

  boxes_.clear();
  setenv("TESSEL_HID_LIBRARY", (dir_.file("missing.so")).c_str(), 1);
  EXPECT_EQ(control.Sync(), S_OK);
  ASSERT_EQ(boxes_.size(), 1u);
  EXPECT_EQ(boxes_[0].rfind("ORV/Tessel: ERROR: unable to load AtUsbHid.dll.", 0), 0u);
}

}  // namespace
