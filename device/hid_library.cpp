// The USB HID library binding; see hid_library.h.
#include "device/hid_library.h"

#include <cstdio>
#include <cstdlib>
#include <string>

HidFunctions g_hid = {};

SharedLibrary LoadHidLibrary() {
  if (const char* file = std::getenv("TESSEL_HID_LIBRARY"); file != nullptr && *file != '\0')
    return shared_library_open(file);
  // Beside the program, then beside the control module, where an
  // installation (and the build tree) keeps it.
  for (const char* directory : {program_directory(), code_directory()}) {
    if (*directory == '\0') continue;
    const std::string beside = std::string(directory) + HID_LIBRARY_NAME;
    if (SharedLibrary library = shared_library_open(beside.c_str())) return library;
  }
  return shared_library_open(HID_LIBRARY_NAME);
}

namespace {

// Resolves entry point `index` into slot; on failure writes the line the
// binding has always written.
template <typename Fn>
bool resolve(SharedLibraryHandle* library, int index, Fn* slot) {
  void* address = shared_library_symbol(library, HID_ENTRY_POINT_NAMES[index]);
  if (address == nullptr) {
    std::fprintf(stderr, "%s\n", "Error: Cannot get address of function.");
    return false;
  }
  *slot = reinterpret_cast<Fn>(address);
  return true;
}

}  // namespace

bool BindHidFunctions(SharedLibraryHandle* library) {
  return resolve(library, 0, &g_hid.findHidDevice) && resolve(library, 1, &g_hid.closeDevice) &&
         resolve(library, 2, &g_hid.writeData) && resolve(library, 3, &g_hid.readData) &&
         resolve(library, 4, &g_hid.hidRegisterDeviceNotification) &&
         resolve(library, 5, &g_hid.hidUnregisterDeviceNotification) &&
         resolve(library, 6, &g_hid.isMyDeviceNotification) && resolve(library, 7, &g_hid.setFeature);
}
