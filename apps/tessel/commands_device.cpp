// The device command of the host: sync, as a script calls it, optionally
// through another HID library file (for example the device simulator), and
// what became of the transfer.
#include "apps/tessel/host.h"

#include <cstdio>
#include <cstdlib>

#include "apps/tessel/dispatch_host.h"

namespace {

// The control has told the user why through its message boxes; this line
// says what the device ended up with.
int report(const SyncResult& result) {
  const int sent = result.pages_sent;
  switch (result.status) {
    case SyncResult::Status::Sent:
      std::fprintf(stderr, "tessel: %d page%s sent to the device\n", sent, sent == 1 ? "" : "s");
      return 0;
    case SyncResult::Status::LeftOut:
      std::fprintf(stderr, "tessel: %d page%s sent to the device, %d left out\n", sent, sent == 1 ? "" : "s",
                   result.pages_left_out);
      return 1;
    case SyncResult::Status::WriteFailed:
      std::fprintf(stderr, "tessel: the transfer did not complete: the device stopped after %d page%s\n", sent,
                   sent == 1 ? "" : "s");
      return 1;
    case SyncResult::Status::NoDevice: std::fprintf(stderr, "tessel: nothing sent: no device found\n"); return 1;
    case SyncResult::Status::NoLibrary:
      std::fprintf(stderr, "tessel: nothing sent: the HID library is missing or incomplete\n");
      return 1;
    case SyncResult::Status::NotRun: break;
  }
  std::fprintf(stderr, "tessel: the transfer did not run\n");
  return 1;
}

int sync(CommandContext& c) {
  if (auto library = c.options.find("--library"); library != c.options.end())
    setenv("TESSEL_HID_LIBRARY", library->second.c_str(), 1);
  if (FAILED(c.control.call("Sync"))) return 1;
  report_left_out(c.control);
  return report(c.control.report().last_sync);
}

const HostCommandRegistration sync_command{
    40,
    {"sync",
     "sync [--library SO]   send every page to the USB display (through the HID library SO)",
     {"--library"},
     {},
     sync}};

}  // namespace
