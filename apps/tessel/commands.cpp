// The command registry, and the commands that only read the loaded tree.
#include "apps/tessel/host.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "apps/tessel/dispatch_host.h"

namespace {

struct Registered {
  int order;
  HostCommand command;
};

std::vector<Registered>& registry() {
  static std::vector<Registered> commands;
  return commands;
}

int dump(CommandContext& c) {
  // The tree is no script member: the module writes it for the host.
  c.control.dump_tree(c.out);
  std::fflush(c.out);
  return 0;
}

const HostCommandRegistration dump_command{
    10, {"dump", "dump                 print the document tree, one element per line", {}, {}, dump}};

}  // namespace

void report_left_out(ControlHost& control) {
  const TesselControlReport report = control.report();
  if (report.left_out_elements <= 0) return;
  std::fprintf(stderr, "%d elements left out, first on page %d\n", report.left_out_elements,
               report.left_out_first_page);
}

HostCommandRegistration::HostCommandRegistration(int order, HostCommand command) {
  registry().push_back({order, std::move(command)});
}

const std::vector<HostCommand>& host_commands() {
  static const std::vector<HostCommand> commands = [] {
    auto list = registry();
    std::stable_sort(list.begin(), list.end(),
                     [](const Registered& a, const Registered& b) { return a.order < b.order; });
    std::vector<HostCommand> sorted;
    for (auto& r : list) sorted.push_back(std::move(r.command));
    return sorted;
  }();
  return commands;
}
