// tessel serve: the loopback bridge through which web pages drive controls.
// It parses its options, decides where a session's Print goes, and serves
// until SIGINT or SIGTERM, which end every session and the bridge at once.
#include "apps/tessel/host.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/resource.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <thread>

#include "apps/tessel/bridge_api.h"
#include "apps/tessel/bridge_session.h"
#include "apps/tessel/session_process.h"
#include "bridge/http_server.h"
#include "platform/print_spooler.h"
#include "platform/shared_library.h"

namespace {

constexpr int kDefaultPort = 8421;

const char kServeUsage[] =
    "serve [--port P] [--allow-origin ORIGIN]... [--printer NAME] [--library SO]\n"
    "      [--idle S] [--box-timeout S] [--max-body BYTES] [--max-sessions N]\n"
    "      [--max-timeout S] [--call-timeout S]\n"
    "                     serve web pages on 127.0.0.1:P (default 8421, 0: any free port)\n"
    "                     that drive controls through tessel.js; the options before\n"
    "                     serve are the sessions' defaults (default src: the sample);\n"
    "                     every session's control runs in a process of its own";

struct ServeOptions {
  int port = kDefaultPort;
  std::vector<std::string> origins;
  std::string printer;
  std::string library;
  long idle = 600;
  long box_timeout = 60;
  long max_body = 64 * 1024;
  long max_sessions = 64;
  long max_timeout = 60;
  long call_timeout = 300;
  std::string web_dir;
  std::string samples_dir;
};

bool parse_number(const std::string& text, long low, long high, long* value) {
  errno = 0;
  char* end = nullptr;
  const long n = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || n < low || n > high) return false;
  *value = n;
  return true;
}

// An origin as browsers send it: scheme "://" host [":" port], nothing else.
bool looks_like_origin(const std::string& origin) {
  const size_t scheme = origin.find("://");
  return scheme != std::string::npos && scheme > 0 && origin.size() > scheme + 3 &&
         origin.find('/', scheme + 3) == std::string::npos;
}

// An installed host has its folders in ../share/tessel; one in the build
// tree takes them from the sources.
std::string source_folder(const char* built_in, const char* below_source, const char* installed) {
  const std::string source = built_in != nullptr && *built_in != '\0'
                                 ? std::string(built_in)
                                 : from_program((std::string("../../") + below_source).c_str());
  return first_existing({from_program(installed), source});
}

bool parse_serve_options(const std::vector<std::string>& args, ServeOptions* o) {
#ifdef TESSEL_WEB_DIR
  o->web_dir = source_folder(TESSEL_WEB_DIR, "apps/tessel/web", "../share/tessel/web");
#else
  o->web_dir = source_folder(nullptr, "apps/tessel/web", "../share/tessel/web");
#endif
#ifdef TESSEL_SAMPLES_DIR
  o->samples_dir = source_folder(TESSEL_SAMPLES_DIR, "samples", "../share/tessel/samples");
#else
  o->samples_dir = source_folder(nullptr, "samples", "../share/tessel/samples");
#endif
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    if (i + 1 >= args.size()) {
      std::fprintf(stderr, "tessel: serve %s needs a value\n", a.c_str());
      return false;
    }
    const std::string& v = args[++i];
    long n = 0;
    bool ok = true;
    if (a == "--port") {
      ok = parse_number(v, 0, 65535, &n);
      o->port = static_cast<int>(n);
    } else if (a == "--allow-origin") {
      ok = looks_like_origin(v);
      o->origins.push_back(v);
    } else if (a == "--printer") {
      o->printer = v;
    } else if (a == "--library") {
      o->library = v;
    } else if (a == "--idle") {
      ok = parse_number(v, 1, 86400, &o->idle);
    } else if (a == "--box-timeout") {
      ok = parse_number(v, 1, 3600, &o->box_timeout);
    } else if (a == "--max-body") {
      ok = parse_number(v, 1024, 16 * 1024 * 1024, &o->max_body);
    } else if (a == "--max-sessions") {
      ok = parse_number(v, 1, 1024, &o->max_sessions);
    } else if (a == "--max-timeout") {
      ok = parse_number(v, 1, 3600, &o->max_timeout);
    } else if (a == "--call-timeout") {
      ok = parse_number(v, 1, 86400, &o->call_timeout);
    } else if (a == "--web") {
      o->web_dir = v;
    } else if (a == "--samples") {
      o->samples_dir = v;
    } else {
      std::fprintf(stderr, "tessel: serve does not take %s (see tessel --help)\n", a.c_str());
      return false;
    }
    if (!ok) {
      std::fprintf(stderr, "tessel: serve %s: unusable value '%s'\n", a.c_str(), v.c_str());
      return false;
    }
  }
  return true;
}

std::atomic<bool> g_stopping{false};

// One line from the terminal, given up when the bridge stops, the session
// closes or `patience` runs out, so a prompt nobody answers never holds a
// session for ever.
std::string read_terminal_line(std::chrono::steady_clock::time_point give_up, const std::function<bool()>& closed) {
  std::string line;
  while (!g_stopping && !closed() && std::chrono::steady_clock::now() < give_up) {
    pollfd p{STDIN_FILENO, POLLIN, 0};
    if (::poll(&p, 1, 100) <= 0) continue;
    char c;
    if (::read(STDIN_FILENO, &c, 1) != 1) break;
    if (c == '\n') return line;
    if (c != '\r' && line.size() < 1024) line += c;
  }
  return "-";
}

// The printer a page's Print goes to is never the page's choice: the
// bridge's --printer (for unattended kiosks), else whoever runs the bridge
// picks and confirms it on its terminal, one session at a time.
auto printer_chooser(const std::string& printer, std::chrono::seconds patience) {
  return [printer, patience](const std::string& session, const std::string& preselected,
                             const std::function<bool()>& closed) {
    std::string name = printer;
    if (name.empty()) {
      if (!::isatty(STDIN_FILENO)) {
        std::fprintf(stderr,
                     "tessel serve: session %s asked to print: cancelled (no --printer and no "
                     "terminal to ask)\n",
                     session.c_str());
        return std::string();
      }
      // One question at a time; a session waits for its turn no
      // longer than for the answer.
      static std::timed_mutex terminal;
      const auto give_up = std::chrono::steady_clock::now() + patience;
      std::unique_lock<std::timed_mutex> one_question(terminal, std::defer_lock);
      while (!one_question.try_lock_for(std::chrono::milliseconds(100)))
        if (g_stopping || closed() || std::chrono::steady_clock::now() >= give_up) return std::string();
      const std::string suggestion = !preselected.empty() ? preselected : print_default_destination();
      std::fprintf(stderr,
                   "tessel serve: session %s asks to print. Printer (a CUPS queue or pdf:FILE%s%s; "
                   "\"-\" to cancel): ",
                   session.c_str(), suggestion.empty() ? "" : ", empty for ", suggestion.c_str());
      std::fflush(stderr);
      name = read_terminal_line(give_up, closed);
      if (name.empty()) name = suggestion;
      if (name == "-") name.clear();
    }
    if (name.empty())
      std::fprintf(stderr, "tessel serve: session %s: printing cancelled\n", session.c_str());
    else
      std::fprintf(stderr, "tessel serve: session %s prints on %s\n", session.c_str(), name.c_str());
    return name;
  };
}

// Each session holds a channel to its process beside the connections.
void raise_descriptor_limit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_NOFILE, &limit) == 0 && limit.rlim_cur < limit.rlim_max) {
    limit.rlim_cur = limit.rlim_max;
    ::setrlimit(RLIMIT_NOFILE, &limit);
  }
}

int g_stop_pipe[2] = {-1, -1};

void on_stop_signal(int) {
  const char byte = 1;
  const ssize_t ignored = ::write(g_stop_pipe[1], &byte, 1);
  (void)ignored;
}

// Blocks until SIGINT or SIGTERM, whichever thread receives it.
void wait_for_stop_signal() {
  if (::pipe2(g_stop_pipe, O_CLOEXEC) != 0) {
    ::pause();
    return;
  }
  struct sigaction action {};
  action.sa_handler = on_stop_signal;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGINT, &action, nullptr);
  ::sigaction(SIGTERM, &action, nullptr);
  char byte;
  while (::read(g_stop_pipe[0], &byte, 1) < 0 && errno == EINTR) {
  }
}

int refuse_out_of_place(CommandContext&) {
  std::fprintf(stderr, "tessel: serve is a command of its own: tessel [OPTIONS] serve [SERVE OPTIONS]\n");
  return 2;
}

const HostCommandRegistration serve_command{60, {"serve", kServeUsage, {}, {}, refuse_out_of_place}};

}  // namespace

int serve_bridge(const MemoryPropertyBag& defaults, const std::vector<std::string>& args, std::FILE* out) {
  ServeOptions options;
  if (!parse_serve_options(args, &options)) return 2;
  if (!options.library.empty()) setenv("TESSEL_HID_LIBRARY", options.library.c_str(), 1);
  raise_descriptor_limit();
  ::signal(SIGPIPE, SIG_IGN);

  SessionSettings settings;
  settings.program = own_program_path();
  settings.trace_output = ::fileno(out);
  settings.max_sessions = static_cast<size_t>(options.max_sessions);
  settings.idle = std::chrono::seconds(options.idle);
  settings.box_patience = std::chrono::seconds(options.box_timeout);
  settings.call_limit = std::chrono::seconds(options.call_timeout);
  settings.choose_printer = printer_chooser(options.printer, settings.box_patience);
  if (settings.program.empty()) {
    std::fprintf(stderr, "tessel: cannot find the tessel program for the sessions' controls\n");
    return 1;
  }
  SessionTable sessions(settings);

  BridgeConfig config;
  config.origins = options.origins;
  config.defaults = defaults;
  config.web_dir = options.web_dir;
  config.samples_dir = options.samples_dir;
  config.max_timeout = options.max_timeout;
  BridgeApi api(std::move(config), sessions);

  HttpServerLimits server_limits;
  server_limits.max_body = static_cast<size_t>(options.max_body);
  HttpServer server([&api](const HttpRequest& request, HttpReply reply) { api.handle(request, std::move(reply)); },
                    server_limits);
  std::string error;
  if (!server.listen("127.0.0.1", options.port, &error)) {
    std::fprintf(stderr, "tessel: %s\n", error.c_str());
    return 1;
  }
  api.set_own_port(server.port());
  sessions.start_reaper();
  server.run();
  std::fprintf(out, "tessel serve: http://127.0.0.1:%d/ (demo page; SIGINT or SIGTERM stops)\n", server.port());
  if (const auto src = api.config().defaults.read("src"); src && src->kind == PropertyValue::Kind::String)
    std::fprintf(out, "tessel serve: sessions open %s unless they name a document\n", src->text.c_str());
  std::fflush(out);

  wait_for_stop_signal();
  g_stopping = true;
  // Whatever still runs, the bridge is gone within two seconds.
  std::thread([] {
    std::this_thread::sleep_for(std::chrono::milliseconds(1900));
    std::_Exit(0);
  }).detach();
  server.stop_accepting();
  // Every session's process ends (killed when it is busy), which answers
  // the requests that wait for it; then the connections close.
  sessions.stop();
  server.stop();
  std::fprintf(out, "tessel serve: stopped\n");
  std::fflush(out);
  return 0;
}
