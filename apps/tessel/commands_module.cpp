// The module's self-registration as the host's commands register and
// unregister: the class under the classes root, pointing at this module file.
#include "apps/tessel/host.h"

#include <cstdio>

#include "apps/tessel/dispatch_host.h"

namespace {

int report(CommandContext& c, HRESULT hr, const char* done) {
  if (FAILED(hr)) {
    std::fprintf(stderr, "tessel: %s failed (0x%08X)\n", done, static_cast<unsigned>(hr));
    return 1;
  }
  std::fprintf(c.out, "%s %s\n", c.control.module_path().c_str(), done);
  std::fflush(c.out);
  return 0;
}

int register_module(CommandContext& c) {
  return report(c, c.control.register_module(), "registered");
}

int unregister_module(CommandContext& c) {
  return report(c, c.control.unregister_module(), "unregistered");
}

const HostCommandRegistration register_command{
    50,
    {"register",
     "register             write the control's registry entries (DllRegisterServer)",
     {},
     {},
     register_module,
     HostNeeds::Module}};
const HostCommandRegistration unregister_command{51,
                                                 {"unregister",
                                                  "unregister           remove them again (DllUnregisterServer)",
                                                  {},
                                                  {},
                                                  unregister_module,
                                                  HostNeeds::Module}};

}  // namespace
