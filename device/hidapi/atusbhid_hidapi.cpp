// The USB HID access library over hidapi (hidraw backend): the entry points
// the transfer binds, talking to the first device with the given ids.
#include <hidapi.h>

#include <cstring>

#include "device/atusbhid.h"
#include "device/hid_exports.h"

namespace {

hid_device* device = nullptr;

}  // namespace

HID_EXPORT unsigned char findHidDevice(unsigned int vendor_id, unsigned int product_id) {
  if (device != nullptr) {
    hid_close(device);
    device = nullptr;
  }
  if (hid_init() != 0) return 0;
  device = hid_open(static_cast<unsigned short>(vendor_id), static_cast<unsigned short>(product_id), nullptr);
  if (device == nullptr) {
    // Nobody calls closeDevice after a search that found nothing, and the
    // library may be unloaded next: hidapi's state (its last error text
    // among it) goes now.
    hid_exit();
    return 0;
  }
  return 1;
}

HID_EXPORT unsigned char closeDevice() {
  if (device != nullptr) {
    hid_close(device);
    device = nullptr;
  }
  hid_exit();
  return 1;
}

// Sends the significant bytes of the report buffer as one output report; the
// device has a single, unnumbered report, so report id 0 goes first.
HID_EXPORT unsigned char writeData(unsigned char* report) {
  if (device == nullptr || report == nullptr) return 0;
  unsigned char out[1 + HID_REPORT_SIGNIFICANT];
  out[0] = 0;
  std::memcpy(out + 1, report, HID_REPORT_SIGNIFICANT);
  return hid_write(device, out, sizeof out) == static_cast<int>(sizeof out) ? 1 : 0;
}
