// Binding the USB HID access library: finding and loading it for one
// transfer, resolving its entry points, and releasing it afterwards.
#pragma once

#include "device/atusbhid.h"
#include "platform/shared_library.h"

// The file name the library is loaded under; TESSEL_HID_LIBRARY names
// another file instead.
inline constexpr const char* HID_LIBRARY_NAME = "AtUsbHid.so";

inline constexpr const char* HID_LOAD_FAILED_TEXT =
    "ERROR: unable to load AtUsbHid.dll.  You may need to delete and re-install the Tessel ActiveX "
    "Control or copy AtUsbHid.dll to your WINDOWS folder.";
inline constexpr const char* HID_BIND_FAILED_TEXT =
    "ERROR: unable to get USB HID library function addresses.  You may need to delete and "
    "re-install the Tessel ActiveX Control or copy AtUsbHid.dll to your WINDOWS folder.";
inline constexpr const char* HID_MESSAGE_TITLE = "ORV/Tessel";

// The entry points, process-wide; valid only while the library they came
// from is loaded.
struct HidFunctions {
  HidFindDeviceFn findHidDevice;
  HidCloseDeviceFn closeDevice;
  HidWriteDataFn writeData;
  HidUnusedFn readData;
  HidUnusedFn hidRegisterDeviceNotification;
  HidUnusedFn hidUnregisterDeviceNotification;
  HidUnusedFn isMyDeviceNotification;
  HidUnusedFn setFeature;
};
extern HidFunctions g_hid;

// Loads the library: the file TESSEL_HID_LIBRARY names when it is set;
// otherwise AtUsbHid.so from the directory of the host program, then from
// that of the control module, then through the dynamic loader's search.
// Null when none loads.
SharedLibrary LoadHidLibrary();

// Resolves the eight entry points into g_hid in order. At the first one
// missing it writes a line to standard error and answers false; the ones
// resolved before it stay.
bool BindHidFunctions(SharedLibraryHandle* library);
