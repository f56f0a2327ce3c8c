// Finding, binding and releasing the HID library: a missing library, one
// that lacks an entry point, and the hidapi build on a machine without the
// device.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "device/sync.h"
#include "device_fixture.h"
#include "platform/message_box.h"

namespace {

using namespace device_test;

bool is_loaded(const std::string& path) {
  void* handle = dlopen(path.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) return false;
  dlclose(handle);
  return true;
}

class HidLibrary : public SimulatorTest {
 protected:
  std::vector<std::string> sync() {
    std::vector<std::string> boxes;
    CapturedStream out;
    result_ = sync_device(
        nullptr,
        [&](const char* text, const char* title, int buttons) {
          EXPECT_EQ(buttons, MB_OK);
          boxes.push_back(std::string(title) + ": " + text);
          return IDOK;
        },
        out.get());
    out_ = out.text();
    return boxes;
  }
  std::string out_;
  SyncResult result_;
};

TEST_F(HidLibrary, AbsentLibraryShowsOneMessageAndIsLookedForAgain) {
  const std::string missing = dir_.file("AtUsbHid.so");
  setenv("TESSEL_HID_LIBRARY", missing.c_str(), 1);
  const std::string expected = std::string("ORV/Tessel: ") + HID_LOAD_FAILED_TEXT;
  EXPECT_EQ(sync(), std::vector<std::string>{expected});
  EXPECT_EQ(out_, "");
  EXPECT_EQ(result_.status, SyncResult::Status::NoLibrary);

  // The next transfer looks again and finds the library put in place.
  std::filesystem::copy_file(kSimulator, missing);
  EXPECT_TRUE(sync().empty());
  EXPECT_EQ(out_, "Done.\n");
  EXPECT_FALSE(is_loaded(missing));
}

TEST_F(HidLibrary, LibraryWithoutAnEntryPointIsRefusedAndReleased) {
  setenv("TESSEL_HID_LIBRARY", kIncomplete.c_str(), 1);
  testing::internal::CaptureStderr();
  const std::vector<std::string> boxes = sync();
  EXPECT_EQ(testing::internal::GetCapturedStderr(), "Error: Cannot get address of function.\n");
  EXPECT_EQ(boxes, std::vector<std::string>{std::string("ORV/Tessel: ") + HID_BIND_FAILED_TEXT});
  EXPECT_EQ(result_.status, SyncResult::Status::NoLibrary);
  EXPECT_FALSE(is_loaded(kIncomplete));
  // Nothing was asked of the device.
  EXPECT_TRUE(log().calls.empty());
}

TEST_F(HidLibrary, BindingResolvesAllEightInOrder) {
  g_hid = {};
  SharedLibrary library = LoadHidLibrary();
  ASSERT_TRUE(library);
  EXPECT_TRUE(BindHidFunctions(library.get()));
  EXPECT_NE(g_hid.setFeature, nullptr);
  library.reset();

  // The incomplete one keeps what it resolved before the missing name.
  g_hid = {};
  SharedLibrary incomplete = shared_library_open(kIncomplete.c_str());
  ASSERT_TRUE(incomplete);
  testing::internal::CaptureStderr();
  EXPECT_FALSE(BindHidFunctions(incomplete.get()));
  testing::internal::GetCapturedStderr();
  EXPECT_NE(g_hid.isMyDeviceNotification, nullptr);
  EXPECT_EQ(g_hid.setFeature, nullptr);
}

TEST(HidapiLibrary, ExportsTheEntryPointsAndFindsNoDeviceHere) {
  SharedLibrary library = shared_library_open(kHidapi.c_str());
  ASSERT_TRUE(library) << dlerror();
  for (const char* name : HID_ENTRY_POINT_NAMES) EXPECT_NE(shared_library_symbol(library.get(), name), nullptr) << name;
  auto find = reinterpret_cast<HidFindDeviceFn>(shared_library_symbol(library.get(), "findHidDevice"));
  auto write = reinterpret_cast<HidWriteDataFn>(shared_library_symbol(library.get(), "writeData"));
  auto close = reinterpret_cast<HidCloseDeviceFn>(shared_library_symbol(library.get(), "closeDevice"));
  EXPECT_EQ(find(HID_VENDOR_ID, HID_PRODUCT_ID), 0);
  unsigned char report[HID_REPORT_BUFFER_SIZE] = {5, 0x84};
  EXPECT_EQ(write(report), 0);  // no device open
  close();
}

}  // namespace
