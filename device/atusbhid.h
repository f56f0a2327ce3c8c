// The interface of the USB HID access library that reaches the device: its
// eight exported entry points, of which the transfer calls three, and the
// device's identity. Both builds of the library (device/hidapi, and the
// simulator in device/simulator) export exactly these.
#pragma once

#include <cstdint>

inline constexpr unsigned int HID_VENDOR_ID = 0x03EB;
inline constexpr unsigned int HID_PRODUCT_ID = 0x2013;

// Every report buffer handed to writeData has this many bytes; only the
// first HID_REPORT_SIGNIFICANT of them carry anything.
inline constexpr int HID_REPORT_BUFFER_SIZE = 528;
inline constexpr int HID_REPORT_SIGNIFICANT = 32;

// Answers non-zero when a device with these ids was found and opened for the
// calls that follow.
using HidFindDeviceFn = unsigned char (*)(unsigned int vendor_id, unsigned int product_id);
using HidCloseDeviceFn = unsigned char (*)();
using HidWriteDataFn = unsigned char (*)(unsigned char* report);
// The five entry points the library must offer but nothing calls.
using HidUnusedFn = unsigned char (*)();

// Names in the order they are resolved.
inline constexpr const char* HID_ENTRY_POINT_NAMES[8] = {
    "findHidDevice",
    "closeDevice",
    "writeData",
    "readData",
    "hidRegisterDeviceNotification",
    "hidUnregisterDeviceNotification",
    "isMyDeviceNotification",
    "setFeature",
};
