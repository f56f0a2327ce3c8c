// Benchmark: printing the sample report, from the document tree to a
// finished PDF job of sheets at 600 per inch (the spooler takes it and does
// nothing, so no CUPS and no disk copy are measured).
#include <benchmark/benchmark.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

#include "control/tessel_ctrl.h"
#include "document/pdocbuild.h"
#include "platform/message_box.h"
#include "platform/print_dialog.h"
#include "platform/print_spooler.h"

namespace {

class CountingSpooler final : public PrintSpooler {
public:
    bool media_default(const std::string&, PrintMedia*) override { return false; }
    int submit(const PrintSubmission& job, std::string*) override
    {
        sheets += job.pages;
        return 1;
    }
    long sheets = 0;
};

void BM_PrintSampleReport(benchmark::State& state)
{
    // The sample beside this file's folder in the source tree.
    std::ifstream in(std::filesystem::path(__FILE__).parent_path().parent_path() / "samples" / "report.html");
    std::stringstream text;
    text << in.rdbuf();
    if (!in) {
        state.SkipWithError("samples/report.html not found");
        return;
    }
    CTesselCtrl control;
    control.m_pDocument.reset(pdocbuild_string(text.str().c_str(), nullptr, nullptr));
    control.m_nOrientation = static_cast<int32_t>(state.range(0));
    set_message_box_handler([](const char*, const char*, int) { return IDOK; });
    set_print_dialog_handler([](const PrintDialogRequest&, PrintDialogChoice* choice) {
        choice->printer = "bench-queue";
        return true;
    });
    CountingSpooler spooler;
    set_print_spooler(&spooler);
    for (auto _ : state)
        control.Print();
    set_print_spooler(nullptr);
    set_print_dialog_handler(nullptr);
    state.counters["sheets/s"] = benchmark::Counter(static_cast<double>(spooler.sheets), benchmark::Counter::kIsRate);
}
BENCHMARK(BM_PrintSampleReport)->Arg(1)->Arg(2)->ArgName("orientation")->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
