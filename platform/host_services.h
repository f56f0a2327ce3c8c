// The process-wide services a host installs in the platform layer (message
// boxes, print dialog, spooler, console, debug trace). A module loaded by
// the host carries its own copy of this layer; the host hands over the
// services of its copy so that the module's copy answers through them.
#pragma once

#include "platform/debug_trace.h"
#include "platform/message_box.h"
#include "platform/print_dialog.h"
#include "platform/print_spooler.h"

struct HostServices {
  int (*message_box)(const char* text, const char* title, int buttons);
  // Installs a print-dialog handler and answers the previous one; the
  // module reads the host's current handler through it.
  PrintDialogHandler (*exchange_print_dialog)(PrintDialogHandler handler);
  PrintSpooler& (*print_spooler)();
  bool (*console_open)();
  void (*debug_trace)(const char* text);
};

// The services of this copy of the platform layer.
HostServices host_services();

// Routes this copy's services to those of another copy; null puts this
// copy's own back. The record is copied.
void adopt_host_services(const HostServices* services);
