// tessel: loads the control with the given parameters, as a web page would,
// then runs the commands in the order given.
#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "apps/tessel/host.h"
#include "apps/tessel/dispatch_host.h"
#include "apps/tessel/session_host.h"
#include "platform/console.h"
#include "platform/property_bag.h"

namespace {

void usage(std::FILE* out) {
  std::fprintf(out,
               "usage: tessel [PARAMETER]... COMMAND...\n"
               "       tessel --help | --version\n\n"
               "Parameters, as a web page gives them to the control:\n"
               "  --src URL|FILE       the document; a FILE is served on 127.0.0.1 for the\n"
               "                       length of the run, so relative picture names resolve\n"
               "                       as on a web server\n"
               "  --session S          the session cookie sent with the document's pictures\n"
               "  --orientation O      landscape prints across the sheet; else portrait\n"
               "  --debughtml V        a value starting with t shows the component's trace\n"
               "  --param NAME=VALUE   any parameter by name, among them:\n"
               "      tlsverify=BOOL   check https certificates and host names (default true;\n"
               "                       a value starting with f turns the check off)\n"
               "      timeout=SECONDS  bound on each wait of the document and picture\n"
               "                       downloads: connect with handshake, response head,\n"
               "                       stalled body (default 30)\n"
               "\nCommands, run in the order given:\n");
  for (const HostCommand& command : host_commands()) std::fprintf(out, "  %s\n", command.usage);
  std::fprintf(out,
               "\nMessage boxes are written to standard error as \"TITLE: TEXT\".\n"
               "Exit status: 0 when the document loaded and every command succeeded;\n"
               "1 when the load failed (no command runs then) or a command failed: a view\n"
               "not written, a print that did not reach its printer, a transfer that found\n"
               "no device or did not send every page; 2 for unusable arguments.\n");
}

bool is_url(const std::string& s) {
  return s.find("://") != std::string::npos;
}

const HostCommand* find_command(const std::string& name) {
  for (const HostCommand& command : host_commands())
    if (name == command.name) return &command;
  return nullptr;
}

// Splits the words after the options into commands with their own options,
// so that a mistake anywhere is reported before anything runs.
bool parse_commands(const std::vector<std::string>& args, size_t i,
                    std::vector<std::pair<const HostCommand*, CommandContext::Options>>& script) {
  auto has = [](const std::vector<std::string>& list, const std::string& word) {
    return std::find(list.begin(), list.end(), word) != list.end();
  };
  while (i < args.size()) {
    const HostCommand* command = find_command(args[i]);
    if (command == nullptr) {
      std::fprintf(stderr, "tessel: unknown command %s (see tessel --help)\n", args[i].c_str());
      return false;
    }
    CommandContext::Options options;
    for (++i; i < args.size() && args[i].rfind("-", 0) == 0; ++i) {
      if (has(command->flags, args[i])) {
        options[args[i]] = "";
      } else if (has(command->valued_options, args[i]) && i + 1 < args.size()) {
        options[args[i]] = args[i + 1];
        ++i;
      } else {
        std::fprintf(stderr, "tessel: %s does not take %s%s\n", command->name, args[i].c_str(),
                     has(command->valued_options, args[i]) ? " without a value" : "");
        return false;
      }
    }
    if (command->check && !command->check(options)) return false;
    script.emplace_back(command, std::move(options));
  }
  return true;
}

// The most any command of the script needs.
HostNeeds script_needs(const std::vector<std::pair<const HostCommand*, CommandContext::Options>>& script) {
  HostNeeds needs = HostNeeds::Nothing;
  for (const auto& step : script) needs = std::max(needs, step.first->needs);
  return needs;
}

// Runs the commands in order. A failed command does not stop the ones after
// it; unusable options stop everything.
int run_script(ControlHost& control, std::vector<std::pair<const HostCommand*, CommandContext::Options>>& script,
               std::FILE* out) {
  int status = 0;
  for (auto& [command, options] : script) {
    CommandContext context{control, std::move(options), out};
    const int result = command->run(context);
    if (result == 2) return 2;
    status = std::max(status, result);
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  // The bridge runs each page session's control in a process of its own.
  if (argc == 3 && std::strcmp(argv[1], kSessionHostCommand) == 0) return run_session_host(argv[2]);
  std::vector<std::string> args(argv + 1, argv + argc);
  MemoryPropertyBag bag;
  size_t i = 0;
  for (; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (a == "--help" || a == "-h") {
      usage(stdout);
      return 0;
    }
    if (a == "--version") {
      std::printf("tessel %s\n", TESSEL_VERSION);
      return 0;
    }
    if (a.rfind("--", 0) != 0) break;
    if (i + 1 >= args.size()) {
      std::fprintf(stderr, "tessel: %s needs a value\n", a.c_str());
      return 2;
    }
    const std::string value = args[++i];
    if (a == "--src" || a == "--session" || a == "--orientation" || a == "--debughtml") {
      bag.set(a.substr(2), value);
    } else if (a == "--param") {
      const size_t eq = value.find('=');
      if (eq == std::string::npos || eq == 0) {
        std::fprintf(stderr, "tessel: --param wants NAME=VALUE, got '%s'\n", value.c_str());
        return 2;
      }
      bag.set(value.substr(0, eq), value.substr(eq + 1));
    } else {
      std::fprintf(stderr, "tessel: unknown option %s (see tessel --help)\n", a.c_str());
      return 2;
    }
  }
  // serve takes its own options and makes one control per page session.
  const bool serving = i < args.size() && args[i] == "serve";
  std::vector<std::pair<const HostCommand*, CommandContext::Options>> script;
  if (!serving && !parse_commands(args, i, script)) return 2;
  if (!serving && script.empty()) {
    usage(stderr);
    return 2;
  }

  if (auto src = bag.read("src"); src && !is_url(src->text)) {
    struct stat st;
    if (::stat(src->text.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) {
      std::fprintf(stderr, "tessel: %s is neither an address nor a readable file\n", src->text.c_str());
      return 2;
    }
    const std::string address = serve_local_file(src->text);
    if (address.empty()) {
      std::fprintf(stderr, "tessel: cannot serve %s on 127.0.0.1\n", src->text.c_str());
      return 2;
    }
    bag.set("src", address);
  }

  console_hide_stdout();
  std::FILE* out = console_host_output();
  if (serving)
    return serve_bridge(bag, std::vector<std::string>(args.begin() + static_cast<long>(i) + 1, args.end()), out);
  install_host_message_box();

  ControlHost control;
  std::string error;
  const HostNeeds needs = script_needs(script);
  if ((needs != HostNeeds::Nothing && !control.open_module(&error)) ||
      (needs == HostNeeds::Control && !control.create_control(&bag, &error))) {
    std::fprintf(stderr, "tessel: %s\n", error.c_str());
    return 1;
  }
  // Commands on a document that did not load would make output of nothing
  // (a sync would empty the device) as if it were the document.
  if (needs == HostNeeds::Control && control.report().load_failed) {
    std::fprintf(stderr, "tessel: the document did not load; no command was run\n");
    return 1;
  }

  const int status = run_script(control, script, out);
  std::fflush(out);
  return status;
}
