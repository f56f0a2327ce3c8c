// Shared by the builds of the USB HID access library (each a shared object
// of its own): the export marker, and the entry points every build must
// offer although the transfer never calls them. Include in one source file
// of each build.
#pragma once

#define HID_EXPORT extern "C" __attribute__((visibility("default")))

HID_EXPORT unsigned char readData() {
  return 0;
}
HID_EXPORT unsigned char hidRegisterDeviceNotification() {
  return 0;
}
HID_EXPORT unsigned char hidUnregisterDeviceNotification() {
  return 0;
}
HID_EXPORT unsigned char isMyDeviceNotification() {
  return 0;
}
// A build for tests may leave this one out, to be refused by the binding.
#ifndef TESSEL_HID_WITHOUT_SET_FEATURE
HID_EXPORT unsigned char setFeature() {
  return 0;
}
#endif
