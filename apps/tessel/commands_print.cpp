// The host's printing commands: print (the control's Print with the host's
// print dialog) and printers (the CUPS destinations).
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

// Passes every job to the system spooler and keeps what became of it, so the
// host can tell the user what the control does not.
class ReportingSpooler final : public PrintSpooler {
public:
    bool media_default(const std::string& destination, PrintMedia* media) override
    {
        return system_print_spooler().media_default(destination, media);
    }
    int submit(const PrintSubmission& job, std::string* error) override
    {
        submitted = true;
        last = job;
        result = system_print_spooler().submit(job, error);
        if (result <= 0)
            failure = *error;
        return result;
    }

    bool submitted = false;
    PrintSubmission last;
    int result = 0;
    std::string failure;
};

bool parse_copies(const std::string& text, int* copies)
{
    errno = 0;
    char* end = nullptr;
    const long value = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || value < 1 || value > DM_MAX_COPIES)
        return false;
    *copies = static_cast<int>(value);
    return true;
}

std::string ask_for_printer()
{
    std::fprintf(stderr, "printer (a CUPS queue or pdf:FILE; empty to cancel): ");
    std::fflush(stderr);
    char line[1024];
    if (std::fgets(line, sizeof line, stdin) == nullptr)
        return {};
    std::string name = line;
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
        name.pop_back();
    return name;
}

int print(CommandContext& c)
{
    int copies = 1;
    if (auto it = c.options.find("--copies"); it != c.options.end() && !parse_copies(it->second, &copies)) {
        std::fprintf(stderr, "tessel: --copies wants a number from 1 to %d, got '%s'\n", DM_MAX_COPIES,
                     it->second.c_str());
        return 2;
    }
    const auto named = c.options.find("--printer");
    const std::string printer = named != c.options.end() ? named->second : "";

    // The dialog confirms at once: the printer named on the command line,
    // else the one the control preselects, else the CUPS default; only with
    // none of them is the user asked, on a terminal.
    PrintDialogHandler previous_dialog =
        set_print_dialog_handler([&](const PrintDialogRequest& request, PrintDialogChoice* choice) {
            std::string name = printer;
            if (name.empty())
                name = request.preselected;
            if (name.empty())
                name = print_default_destination();
            if (name.empty() && ::isatty(STDIN_FILENO))
                name = ask_for_printer();
            if (name.empty()) {
                std::fprintf(stderr, "tessel: printing cancelled: no printer given (use --printer NAME or "
                                     "pdf:FILE) and CUPS has no default destination\n");
                return false;
            }
            choice->printer = name;
            choice->dev_mode.copies = static_cast<int16_t>(copies);
            choice->driver_copies = !print_is_pdf_destination(name);
            return true;
        });
    ReportingSpooler spooler;
    PrintSpooler* previous_spooler = set_print_spooler(&spooler);

    const HRESULT called = c.control.call("Print");

    set_print_spooler(previous_spooler);
    set_print_dialog_handler(std::move(previous_dialog));
    if (FAILED(called))
        return 1;
    report_left_out(c.control);
    if (!spooler.submitted)
        return 0;
    if (spooler.result <= 0) {
        std::fprintf(stderr, "tessel: the job did not reach %s: %s\n", spooler.last.destination.c_str(),
                     spooler.failure.c_str());
        return 1;
    }
    std::fprintf(stderr, "tessel: %d sheet%s sent to %s\n", spooler.last.pages, spooler.last.pages == 1 ? "" : "s",
                 spooler.last.destination.c_str());
    return 0;
}

int printers(CommandContext& c)
{
    const std::vector<PrintDestination> destinations = print_destinations();
    if (destinations.empty())
        std::fprintf(stderr, "tessel: no CUPS destinations\n");
    for (const PrintDestination& d : destinations)
        std::fprintf(c.out, "%s%s\n", d.name.c_str(), d.is_default ? " (default)" : "");
    std::fflush(c.out);
    return 0;
}

const HostCommandRegistration print_command{
    30, {"print", "print [--printer NAME] [--copies N]  print every page (NAME: a CUPS queue or pdf:FILE)",
         {"--printer", "--copies"}, {}, print}};

const HostCommandRegistration printers_command{
    31, {"printers", "printers             list the CUPS destinations", {}, {}, printers}};

} // namespace
