// The command-line host: its options, the control it drives, and the
// commands that scripts on a web page would otherwise call.
#pragma once

#include <cstdio>
#include <functional>
#include <initializer_list>
#include <map>
#include <string>
#include <vector>

class ControlHost;
class MemoryPropertyBag;

// What a command gets: the control as the host reaches it (through the
// module's dispatch interface), the options written after its name (a flag
// maps to ""), and the host's output stream.
struct CommandContext {
  using Options = std::map<std::string, std::string>;
  ControlHost& control;
  Options options;
  std::FILE* out;
};

// What a command works on; the host opens no more than the commands need.
enum class HostNeeds {
  Nothing,  // e.g. printers
  Module,   // the module's own entry points: register, unregister
  Control,  // a control loaded with the document
};

struct HostCommand {
  const char* name;
  const char* usage;                        // one line for --help
  std::vector<std::string> valued_options;  // e.g. "-o", "--size"
  std::vector<std::string> flags;           // e.g. "--all"
  // Answers an exit status: 0 done, 1 failed (the next command still
  // runs), 2 unusable options (nothing more runs).
  std::function<int(CommandContext&)> run;
  HostNeeds needs = HostNeeds::Control;
  // Checks the option values before anything is loaded; answers false,
  // having said why, for values the command cannot use. May be empty.
  std::function<bool(const CommandContext::Options&)> check = nullptr;
};

// The commands known to the host, in the order --help lists them. Each
// command file registers its own commands with a static HostCommandRegistration,
// so adding a command touches no shared list.
const std::vector<HostCommand>& host_commands();

struct HostCommandRegistration {
  // `order` sorts the --help listing (dump 10, view 20, next/prev 21-22,
  // print 30, printers 31, sync 40, register 50).
  HostCommandRegistration(int order, HostCommand command);
};

// A path at `below` from the program's folder, normalised: "../lib/tessel"
// from ".../bin/" is ".../lib/tessel".
std::string from_program(const char* below);
// The first of the candidates that exists, else the last one.
std::string first_existing(std::initializer_list<std::string> candidates);

// Installs the message-box handler: "TITLE: TEXT" on standard error, and a
// question on the terminal for Retry/Cancel (Cancel without a terminal).
void install_host_message_box();

// Serves the folder of a local file over http on 127.0.0.1 until the process
// ends, and answers the file's address, or "" when it cannot.
std::string serve_local_file(const std::string& path);

// tessel serve: the bridge through which web pages on 127.0.0.1 drive
// controls. `defaults` holds the parameters given before the command, `args`
// the words after it. Serves until SIGINT or SIGTERM; answers the exit status.
int serve_bridge(const MemoryPropertyBag& defaults, const std::vector<std::string>& args, std::FILE* out);

// After a job of the control (a draw, a print, a transfer): tells on
// standard error how much of the document its pages left out, if anything.
void report_left_out(ControlHost& control);
