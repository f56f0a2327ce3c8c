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
  long default_timeout = 30;  // seconds, the control's `timeout` when neither page nor defaults give one
  long max_timeout = 60;      // no page's `timeout` goes above this
};

class BridgeApi {
 public:
  BridgeApi(BridgeConfig config, SessionTable& sessions);

  // The bridge's own origins once its port is known (before it serves),
  // and the sample it serves as the default document.
  void set_own_port(int port);
  // Answers at once, or hands the reply to the session the request is for.
  void handle(const HttpRequest& request, HttpReply reply);

  const BridgeConfig& config() const { return config_; }

 private:
  bool origin_allowed(const std::string& origin) const;
  void route(const HttpRequest& request, HttpReply reply);
  void create_session(const JsonValue& body, HttpReply reply);
  void session_request(BridgeSession& session, const std::string& action, const JsonValue& body, HttpReply reply);
  void call_member(BridgeSession& session, const JsonValue& body, HttpReply reply);
  void draw_view(BridgeSession& session, const JsonValue& body, HttpReply reply);
  HttpResponse list_boxes(BridgeSession& session, const JsonValue& body);
  HttpResponse answer_box(BridgeSession& session, const JsonValue& body);
  HttpResponse static_file(const HttpRequest& request);
  std::string frame_ancestors() const;

  BridgeConfig config_;
  SessionTable& sessions_;
  int port_ = 0;
  std::vector<std::string> own_origins_;
  std::string web_root_, samples_root_;  // real paths
  // One device: a Sync waits for the one before it, in whatever session.
  std::timed_mutex device_;
};
