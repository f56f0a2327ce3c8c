// The device command of the host: sync, as a script calls it, optionally
// through another HID library file (for example the device simulator).
#include "apps/tessel/host.h"

#include <cstdlib>

#include "apps/tessel/dispatch_host.h"

namespace {

int sync(CommandContext& c)
{
    if (auto library = c.options.find("--library"); library != c.options.end())
        setenv("TESSEL_HID_LIBRARY", library->second.c_str(), 1);
    if (FAILED(c.control.call("Sync")))
        return 1;
    report_left_out(c.control);
    return 0;
}

const HostCommandRegistration sync_command{
    40, {"sync", "sync [--library SO]   send every page to the USB display (through the HID library SO)",
         {"--library"}, {}, sync}};

} // namespace
