// Handing the host's platform services to a module's copy of the layer.
#include "platform/host_services.h"

#include <optional>

#include "platform/console.h"

namespace {

// Passes every job to the host's current spooler.
class ForwardingSpooler final : public PrintSpooler {
 public:
  explicit ForwardingSpooler(PrintSpooler& (*target)()) : target_(target) {}
  bool media_default(const std::string& destination, PrintMedia* media) override {
    return target_().media_default(destination, media);
  }
  int submit(const PrintSubmission& job, std::string* error) override { return target_().submit(job, error); }

 private:
  PrintSpooler& (*target_)();
};

std::optional<HostServices>& adopted() {
  static std::optional<HostServices> services;
  return services;
}

std::optional<ForwardingSpooler>& forwarding_spooler() {
  static std::optional<ForwardingSpooler> spooler;
  return spooler;
}

}  // namespace

HostServices host_services() {
  return {&message_box, &set_print_dialog_handler, &print_spooler, &console_open, &debug_trace};
}

void adopt_host_services(const HostServices* services) {
  if (services == nullptr) {
    if (adopted()) {
      set_message_box_handler({});
      set_print_dialog_handler({});
      set_print_spooler(nullptr);
      console_forward_open(nullptr);
      set_debug_trace_sink({});
      adopted().reset();
    }
    return;
  }
  adopted() = *services;
  const HostServices s = *services;
  set_message_box_handler(
      [s](const char* text, const char* title, int buttons) { return s.message_box(text, title, buttons); });
  set_print_dialog_handler([s](const PrintDialogRequest& request, PrintDialogChoice* choice) {
    // Borrow the host's current handler for this one dialog.
    PrintDialogHandler current = s.exchange_print_dialog({});
    s.exchange_print_dialog(current);
    return current ? current(request, choice) : false;
  });
  forwarding_spooler().emplace(s.print_spooler);
  set_print_spooler(&*forwarding_spooler());
  console_forward_open(s.console_open);
  set_debug_trace_sink([s](const char* text) { s.debug_trace(text); });
}
