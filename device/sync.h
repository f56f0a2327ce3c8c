// The transfer of a whole document into the device: every page laid out at
// the display's 160 x 128, converted and written, then the page directory.
#pragma once

#include <cstdio>
#include <functional>

#include "device/sync_result.h"
#include "document/pdoc.h"

// Shows a modal message box and answers the button pressed (the codes of
// platform/message_box.h).
using ShowMessageFn = std::function<int(const char* text, const char* title, int buttons)>;

inline constexpr const char* DEVICE_NOT_FOUND_TEXT = "Unable to find Tessel.  Please make sure it is plugged in.";

// Loads the HID library, finds the device (asking the user to retry), sends
// the pages from root on (none when root is null) and the directory, closes
// the device and releases the library. Trace lines go to out.
SyncResult sync_device(pdoc_element* root, const ShowMessageFn& show_message, std::FILE* out);
