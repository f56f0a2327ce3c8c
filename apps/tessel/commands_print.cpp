// The host's printing commands: print (the control's Print with the host's
// print dialog, and what became of the job) and printers (the CUPS
// destinations).
#include "apps/tessel/host.h"

#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <string>
#include <utility>

#include "apps/tessel/dispatch_host.h"
#include "platform/print_dialog.h"
#include "platform/print_spooler.h"

namespace {

bool parse_copies(const std::string& text, int* copies) {
  errno = 0;
  char* end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < 1 || value > DM_MAX_COPIES) return false;
  *copies = static_cast<int>(value);
  return true;
}

std::string ask_for_printer() {
  std::fprintf(stderr, "printer (a CUPS queue or pdf:FILE; empty to cancel): ");
  std::fflush(stderr);
  char line[1024];
  if (std::fgets(line, sizeof line, stdin) == nullptr) return {};
  std::string name = line;
  while (!name.empty() && (name.back() == '\n' || name.back() == '\r')) name.pop_back();
  return name;
}

// The number of copies asked for, 1 when none; false for an unusable one.
bool copies_option(const CommandContext::Options& options, int* copies) {
  *copies = 1;
  const auto it = options.find("--copies");
  if (it == options.end() || parse_copies(it->second, copies)) return true;
  std::fprintf(stderr, "tessel: --copies wants a number from 1 to %d, got '%s'\n", DM_MAX_COPIES, it->second.c_str());
  return false;
}

bool check_print(const CommandContext::Options& options) {
  int copies;
  return copies_option(options, &copies);
}

int print(CommandContext& c) {
  int copies = 1;
  if (!copies_option(c.options, &copies)) return 2;
  const auto named = c.options.find("--printer");
  const std::string printer = named != c.options.end() ? named->second : "";

  // The dialog confirms at once: the printer named on the command line,
  // else the one the control preselects, else the CUPS default; only with
  // none of them is the user asked, on a terminal.
  bool refused = false;
  std::string chosen;
  PrintDialogHandler previous_dialog =
      set_print_dialog_handler([&](const PrintDialogRequest& request, PrintDialogChoice* choice) {
        std::string name = printer;
        if (name.empty()) name = request.preselected;
        std::string no_default = "CUPS has no default destination";
        if (name.empty()) {
          std::string problem;
          name = print_default_destination(&problem);
          if (!problem.empty()) no_default = problem;
        }
        if (name.empty() && ::isatty(STDIN_FILENO)) name = ask_for_printer();
        if (name.empty()) {
          std::fprintf(stderr,
                       "tessel: printing cancelled: no printer given (use --printer NAME or "
                       "pdf:FILE) and %s\n",
                       no_default.c_str());
          refused = true;
          return false;
        }
        choice->printer = chosen = name;
        choice->dev_mode.copies = static_cast<int16_t>(copies);
        choice->driver_copies = !print_is_pdf_destination(name);
        return true;
      });
  const HRESULT called = c.control.call("Print");
  set_print_dialog_handler(std::move(previous_dialog));
  if (FAILED(called)) return 1;
  report_left_out(c.control);

  const PrintResult result = c.control.report().last_print;
  switch (result.status) {
    case PrintResult::Status::Printed:
      std::fprintf(stderr, "tessel: %d sheet%s sent to %s\n", result.sheets, result.sheets == 1 ? "" : "s",
                   result.destination.c_str());
      return 0;
    case PrintResult::Status::Failed:
      std::fprintf(stderr, "tessel: the job did not reach %s: %s\n", result.destination.c_str(),
                   result.failure.c_str());
      return 1;
    case PrintResult::Status::Cancelled:
      if (!refused)  // else the dialog has said why
        std::fprintf(stderr, "tessel: printing cancelled: %s cannot be printed on\n", chosen.c_str());
      return 1;
    case PrintResult::Status::NotRun: break;
  }
  std::fprintf(stderr, "tessel: nothing was printed\n");
  return 1;
}

int printers(CommandContext& c) {
  std::string problem;
  const std::vector<PrintDestination> destinations = print_destinations(&problem);
  if (!problem.empty()) {
    std::fprintf(stderr, "tessel: cannot list the printers: %s\n", problem.c_str());
    return 1;
  }
  if (destinations.empty()) std::fprintf(stderr, "tessel: no CUPS destinations\n");
  for (const PrintDestination& d : destinations)
    std::fprintf(c.out, "%s%s\n", d.name.c_str(), d.is_default ? " (default)" : "");
  std::fflush(c.out);
  return 0;
}

const HostCommandRegistration print_command{
    30,
    {"print",
     "print [--printer NAME] [--copies N]  print every page (NAME: a CUPS queue or pdf:FILE)",
     {"--printer", "--copies"},
     {},
     print,
     HostNeeds::Control,
     check_print}};

const HostCommandRegistration printers_command{
    31, {"printers", "printers             list the CUPS destinations", {}, {}, printers, HostNeeds::Nothing}};

}  // namespace
