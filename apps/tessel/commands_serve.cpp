// tessel serve: the loopback bridge through which web pages drive controls.
// It parses its options, installs the message-box and print-dialog handlers
// that route to page sessions, and serves until SIGINT or SIGTERM.
#include "apps/tessel/host.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "apps/tessel/bridge_api.h"
#include "apps/tessel/bridge_session.h"
#include "bridge/http_server.h"
#include "platform/message_box.h"
#include "platform/print_dialog.h"
#include "platform/print_settings.h"
#include "platform/print_spooler.h"
#include "platform/shared_library.h"

namespace {

constexpr int kDefaultPort = 8421;

const char kServeUsage[] =
    "serve [--port P] [--allow-origin ORIGIN]... [--printer NAME] [--library SO]\n"
    "      [--idle S] [--box-timeout S] [--max-body BYTES] [--max-sessions N]\n"
    "                     serve web pages on 127.0.0.1:P (default 8421, 0: any free port)\n"
    "                     that drive controls through tessel.js; the options before\n"
    "                     serve are the sessions' defaults (default src: the sample)";

struct ServeOptions {
    int port = kDefaultPort;
    std::vector<std::string> origins;
    std::string printer;
    std::string library;
    long idle = 600;
    long box_timeout = 60;
    long max_body = 64 * 1024;
    long max_sessions = 64;
    std::string web_dir;
    std::string samples_dir;
};

bool parse_number(const std::string& text, long low, long high, long* value)
{
    errno = 0;
    char* end = nullptr;
    const long n = std::strtol(text.c_str(), &end, 10);
    if (text.empty() || *end != '\0' || errno != 0 || n < low || n > high)
        return false;
    *value = n;
    return true;
}

// An origin as browsers send it: scheme "://" host [":" port], nothing else.
bool looks_like_origin(const std::string& origin)
{
    const size_t scheme = origin.find("://");
    return scheme != std::string::npos && scheme > 0 && origin.size() > scheme + 3 &&
           origin.find('/', scheme + 3) == std::string::npos;
}

// An installed host has its folders in ../share/tessel; one in the build
// tree takes them from the sources.
std::string source_folder(const char* built_in, const char* below_source, const char* installed)
{
    const std::string source = built_in != nullptr && *built_in != '\0'
                                   ? std::string(built_in)
                                   : from_program((std::string("../../") + below_source).c_str());
    return first_existing({from_program(installed), source});
}

bool parse_serve_options(const std::vector<std::string>& args, ServeOptions* o)
{
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

std::string ask_for_printer(const std::string& session, const std::string& suggestion)
{
    std::fprintf(stderr, "tessel serve: session %s asks to print. Printer (a CUPS queue or pdf:FILE%s%s; "
                         "\"-\" to cancel): ",
                 session.c_str(), suggestion.empty() ? "" : ", empty for ", suggestion.c_str());
    std::fflush(stderr);
    char line[1024];
    if (std::fgets(line, sizeof line, stdin) == nullptr)
        return {};
    std::string name = line;
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r'))
        name.pop_back();
    if (name.empty())
        return suggestion;
    return name == "-" ? "" : name;
}

// The printer a page's Print goes to is never the page's choice: the
// bridge's --printer (for unattended kiosks), else whoever runs the bridge
// picks and confirms it on its terminal.
void install_print_dialog(const std::string& printer)
{
    set_print_dialog_handler([printer](const PrintDialogRequest& request, PrintDialogChoice* choice) {
        ControlCall* call = ControlCall::current();
        const std::string session = call != nullptr ? call->session()->id() : "-";
        std::string name = printer;
        if (name.empty()) {
            if (!::isatty(STDIN_FILENO)) {
                std::fprintf(stderr, "tessel serve: session %s asked to print: cancelled (no --printer and no "
                                     "terminal to ask)\n", session.c_str());
                return false;
            }
            const std::string suggestion =
                !request.preselected.empty() ? request.preselected : print_default_destination();
            auto ask = [&] { return ask_for_printer(session, suggestion); };
            name = call != nullptr ? call->outside(ask) : ask();
        }
        if (name.empty()) {
            std::fprintf(stderr, "tessel serve: session %s: printing cancelled\n", session.c_str());
            return false;
        }
        std::fprintf(stderr, "tessel serve: session %s prints on %s\n", session.c_str(), name.c_str());
        choice->printer = name;
        choice->dev_mode.copies = 1;
        choice->driver_copies = !print_is_pdf_destination(name);
        return true;
    });
}

void install_message_boxes(std::chrono::seconds patience)
{
    set_message_box_handler([patience](const char* text, const char* title, int buttons) {
        ControlCall* call = ControlCall::current();
        std::fprintf(stderr, "tessel serve: session %s: %s: %s\n",
                     call != nullptr ? call->session()->id().c_str() : "-", title, text);
        if (call == nullptr)
            return buttons == MB_RETRYCANCEL ? IDCANCEL : IDOK;
        return call->session()->raise_box(text, title, buttons, patience);
    });
}

int g_stop_pipe[2] = {-1, -1};

void on_stop_signal(int)
{
    const char byte = 1;
    const ssize_t ignored = ::write(g_stop_pipe[1], &byte, 1);
    (void)ignored;
}

// Blocks until SIGINT or SIGTERM, whichever thread receives it.
void wait_for_stop_signal()
{
    if (::pipe2(g_stop_pipe, O_CLOEXEC) != 0) {
        ::pause();
        return;
    }
    struct sigaction action{};
    action.sa_handler = on_stop_signal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGINT, &action, nullptr);
    ::sigaction(SIGTERM, &action, nullptr);
    char byte;
    while (::read(g_stop_pipe[0], &byte, 1) < 0 && errno == EINTR) {
    }
}

int refuse_out_of_place(CommandContext&)
{
    std::fprintf(stderr, "tessel: serve is a command of its own: tessel [OPTIONS] serve [SERVE OPTIONS]\n");
    return 2;
}

const HostCommandRegistration serve_command{60, {"serve", kServeUsage, {}, {}, refuse_out_of_place}};

} // namespace

int serve_bridge(const MemoryPropertyBag& defaults, const std::vector<std::string>& args, std::FILE* out)
{
    ServeOptions options;
    if (!parse_serve_options(args, &options))
        return 2;
    if (!options.library.empty())
        setenv("TESSEL_HID_LIBRARY", options.library.c_str(), 1);

    SessionLimits limits;
    limits.max_sessions = static_cast<size_t>(options.max_sessions);
    limits.idle = std::chrono::seconds(options.idle);
    limits.box_patience = std::chrono::seconds(options.box_timeout);
    SessionTable sessions(limits);
    std::string error;
    if (!sessions.open_module(&error)) {
        std::fprintf(stderr, "tessel: %s\n", error.c_str());
        return 1;
    }
    install_message_boxes(limits.box_patience);
    install_print_dialog(options.printer);

    BridgeConfig config;
    config.origins = options.origins;
    config.defaults = defaults;
    config.web_dir = options.web_dir;
    config.samples_dir = options.samples_dir;
    BridgeApi api(std::move(config), sessions);

    HttpServerLimits server_limits;
    server_limits.max_body = static_cast<size_t>(options.max_body);
    HttpServer server([&api](const HttpRequest& request) { return api.handle(request); }, server_limits);
    if (!server.listen("127.0.0.1", options.port, &error)) {
        std::fprintf(stderr, "tessel: %s\n", error.c_str());
        return 1;
    }
    api.set_own_port(server.port());
    sessions.start_reaper();
    server.run();
    std::fprintf(out, "tessel serve: http://127.0.0.1:%d/ (demo page; SIGINT or SIGTERM stops)\n", server.port());
    std::fflush(out);

    wait_for_stop_signal();
    // Sessions first: closing lets a box that waits for a page answer Cancel,
    // so the request behind it ends and the server's workers can be joined.
    sessions.stop();
    server.stop();
    std::fprintf(out, "tessel serve: stopped\n");
    std::fflush(out);
    return 0;
}
