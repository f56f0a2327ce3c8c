// The bridge's HTTP/JSON protocol: who may call, the session requests, and
// the static files (the script library, the demo page, the samples).
#pragma once

#include <mutex>
#include <string>
#include <vector>

#include "apps/tessel/bridge_session.h"
#include "bridge/http_server.h"
#include "bridge/json.h"
#include "platform/property_bag.h"

struct BridgeConfig {
    std::vector<std::string> origins;  // allowed besides the bridge's own
    MemoryPropertyBag defaults;        // parameters for sessions that do not give them
    std::string web_dir;               // tessel.js, demo.html
    std::string samples_dir;           // served under /samples/
    int max_view_side = 4096;
};

class BridgeApi {
public:
    BridgeApi(BridgeConfig config, SessionTable& sessions) : config_(std::move(config)), sessions_(sessions) {}

    // The bridge's own origins once its port is known (before it serves),
    // and the sample it serves as the default document.
    void set_own_port(int port);
    HttpResponse handle(const HttpRequest& request);

    const BridgeConfig& config() const { return config_; }

private:
    bool origin_allowed(const std::string& origin) const;
    HttpResponse route(const HttpRequest& request, const std::string& origin);
    HttpResponse create_session(const JsonValue& body);
    HttpResponse session_request(BridgeSession& session, const std::string& action, const JsonValue& body);
    HttpResponse call_member(BridgeSession& session, const JsonValue& body);
    HttpResponse draw_view(BridgeSession& session, const JsonValue& body);
    HttpResponse list_boxes(BridgeSession& session, const JsonValue& body);
    HttpResponse answer_box(BridgeSession& session, const JsonValue& body);
    HttpResponse static_file(const HttpRequest& request);

    BridgeConfig config_;
    SessionTable& sessions_;
    std::vector<std::string> own_origins_;
    // Print and Sync reach shared outputs (the print dialog, the device
    // link's process-wide state): one of them at a time in the process.
    std::timed_mutex output_;
};
