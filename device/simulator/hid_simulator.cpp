// A stand-in for the device behind the USB HID library's entry points, for
// tests and for trying transfers without the hardware. It emulates the
// device's serial flash: two 528-byte staging buffers that data reports
// write into at an offset, and store reports that program a staging buffer
// into the flash page their 24-bit address names. The flash lives in a file.
//
// Environment:
//   TESSEL_SIM_FLASH      the flash file (created when missing); without it
//                         there is no device
//   TESSEL_SIM_UNPLUGGED  non-empty: the device is not plugged in
//   TESSEL_SIM_UNPLUG_AFTER  a number N: the device takes N reports after it
//                         was found, then refuses every one, as if pulled out
//   TESSEL_SIM_LOG        a text file that gets one line per call: "find 1",
//                         "find 0", "close", or "write " and the 32
//                         significant bytes of the report in hex
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "device/atusbhid.h"
#include "device/flash_layout.h"
#include "device/hid_exports.h"

namespace {

struct Device {
  int flash = -1;
  unsigned char staging[2][FLASH_PAGE_SIZE] = {};
  long reports_taken = 0;  // since the device was found
};
Device device;

const char* setting(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr && *value != '\0' ? value : nullptr;
}

void log_line(const char* text, const unsigned char* bytes = nullptr) {
  const char* path = setting("TESSEL_SIM_LOG");
  if (path == nullptr) return;
  if (std::FILE* log = std::fopen(path, "a")) {
    std::fputs(text, log);
    for (int i = 0; bytes != nullptr && i < HID_REPORT_SIGNIFICANT; ++i) std::fprintf(log, "%02x", bytes[i]);
    std::fputc('\n', log);
    std::fclose(log);
  }
}

// The staging buffer a command code selects: 0 or 1, -1 for none.
int buffer_of(unsigned char command, unsigned char first, unsigned char second) {
  return command == first ? 0 : command == second ? 1 : -1;
}

// True once the device has taken as many reports as TESSEL_SIM_UNPLUG_AFTER
// allows.
bool pulled_out() {
  const char* after = setting("TESSEL_SIM_UNPLUG_AFTER");
  return after != nullptr && device.reports_taken >= std::strtol(after, nullptr, 10);
}

bool program_page(const unsigned char* staging, uint32_t address) {
  const off_t offset = static_cast<off_t>(flash_file_offset(flash_page_of(address)));
  return pwrite(device.flash, staging, FLASH_PAGE_SIZE, offset) == FLASH_PAGE_SIZE;
}

}  // namespace

HID_EXPORT unsigned char findHidDevice(unsigned int vendor_id, unsigned int product_id) {
  const char* path = setting("TESSEL_SIM_FLASH");
  const bool present = vendor_id == HID_VENDOR_ID && product_id == HID_PRODUCT_ID && path != nullptr &&
                       setting("TESSEL_SIM_UNPLUGGED") == nullptr;
  if (present && device.flash < 0) device.flash = open(path, O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  const bool found = present && device.flash >= 0;
  device.reports_taken = 0;
  log_line(found ? "find 1" : "find 0");
  return found ? 1 : 0;
}

HID_EXPORT unsigned char closeDevice() {
  log_line("close");
  if (device.flash < 0) return 0;
  close(device.flash);
  device.flash = -1;
  return 1;
}

// Answers 1 when the device took the report.
HID_EXPORT unsigned char writeData(unsigned char* report) {
  if (report == nullptr) return 0;
  if (device.flash >= 0 && pulled_out()) {
    log_line("refused");
    return 0;
  }
  log_line("write ", report);
  if (device.flash < 0) return 0;
  ++device.reports_taken;
  const unsigned char length = report[0];
  const unsigned char command = report[1];
  const uint32_t address = (uint32_t{report[2]} << 16) | (uint32_t{report[3]} << 8) | report[4];

  if (const int buffer = buffer_of(command, 0x84, 0x87); buffer >= 0) {
    const int count = length - 4;
    if (count < 1 || count > HID_REPORT_SIGNIFICANT - 5) return 0;
    // Writes past the end of a staging buffer wrap to its start.
    const uint32_t offset = address & FLASH_OFFSET_MASK;
    for (int i = 0; i < count; ++i) device.staging[buffer][(offset + uint32_t(i)) % FLASH_PAGE_SIZE] = report[5 + i];
    return 1;
  }
  if (const int buffer = buffer_of(command, 0x83, 0x86); buffer >= 0) {
    if (length != 4) return 0;
    return program_page(device.staging[buffer], address) ? 1 : 0;
  }
  return 0;
}
