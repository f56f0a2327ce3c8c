// The bridge's requests: every request names the bridge itself in its Host;
// every call from a page carries an allowed Origin and, for an existing
// session, that session's token; a refused request changes nothing.
#include "apps/tessel/bridge_api.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "apps/tessel/published_files.h"
#include "bridge/http_files.h"
#include "bridge/json.h"
#include "platform/message_box.h"

namespace {

constexpr size_t kMaxParams = 32;
constexpr size_t kMaxParamName = 64;

HttpResponse json_response(int status, std::string body) {
  HttpResponse response;
  response.status = status;
  response.body = std::move(body);
  return response;
}

const char* button_name(int buttons) {
  return buttons == MB_RETRYCANCEL ? "RetryCancel" : "OK";
}

std::string answer_name(int answer) {
  switch (answer) {
    case IDOK: return "\"OK\"";
    case IDRETRY: return "\"Retry\"";
    case IDCANCEL: return "\"Cancel\"";
    default: return "null";
  }
}

// An integer member of a JSON object within [low, high].
bool integer_member(const JsonValue& body, const char* name, double low, double high, double* value) {
  const JsonValue* member = body.find(name);
  if (member == nullptr || !member->is_number()) return false;
  const double n = member->as_number();
  if (n != std::floor(n) || n < low || n > high) return false;
  *value = n;
  return true;
}

std::string real_folder(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : path;
}

// Seconds as a page or the command line gives them: a whole number from 1.
bool parse_seconds(const PropertyValue& value, long* seconds) {
  if (value.kind == PropertyValue::Kind::Integer) {
    *seconds = value.number;
    return value.number >= 1;
  }
  if (value.kind != PropertyValue::Kind::String || value.text.empty() || value.text.size() > 9) return false;
  char* end = nullptr;
  *seconds = std::strtol(value.text.c_str(), &end, 10);
  return *end == '\0' && *seconds >= 1;
}

// The call's answer as the page reads it; members the control adds beyond
// these are passed on as they are. A job that failed (jobFailed) is answered
// with ok false, although the member itself succeeded.
std::string call_answer(const std::string& member, const std::string& op, const JsonValue& control) {
  const JsonValue* ok = control.find("ok");
  const JsonValue* job_failed = control.find("jobFailed");
  const bool answered_ok = ok != nullptr && ok->is_bool() && ok->as_bool() &&
                           !(job_failed != nullptr && job_failed->is_bool() && job_failed->as_bool());
  const JsonValue* hresult = control.find("hresult");
  const JsonValue* value = control.find("value");
  std::string text =
      "{\"member\":" + json_quote(member) + ",\"op\":" + json_quote(op) +
      ",\"ok\":" + (answered_ok ? "true" : "false") + ",\"hresult\":" +
      std::to_string(hresult != nullptr && hresult->is_number() ? static_cast<long long>(hresult->as_number()) : 0) +
      ",\"value\":";
  if (value != nullptr && value->is_string())
    text += json_quote(value->as_string());
  else if (value != nullptr && value->is_number())
    text += std::to_string(static_cast<long long>(value->as_number()));
  else
    text += "null";
  if (control.is_object()) {
    for (const auto& [name, extra] : control.as_object()) {
      if (name == "done" || name == "ok" || name == "jobFailed" || name == "hresult" || name == "value") continue;
      if (extra.is_number())
        text += "," + json_quote(name) + ":" + std::to_string(static_cast<long long>(extra.as_number()));
      else if (extra.is_bool())
        text += "," + json_quote(name) + ":" + (extra.as_bool() ? "true" : "false");
      else if (extra.is_string())
        text += "," + json_quote(name) + ":" + json_quote(extra.as_string());
    }
  }
  return text + "}";
}

}  // namespace

BridgeApi::BridgeApi(BridgeConfig config, SessionTable& sessions) : config_(std::move(config)), sessions_(sessions) {
  web_root_ = real_folder(config_.web_dir);
  samples_root_ = real_folder(config_.samples_dir);
}

void BridgeApi::set_own_port(int port) {
  port_ = port;
  own_origins_ = {"http://127.0.0.1:" + std::to_string(port), "http://localhost:" + std::to_string(port)};
  // Sessions that name no document get the built-in sample.
  if (!config_.defaults.read("src")) config_.defaults.set("src", own_origins_[0] + "/samples/report.html");
}

bool BridgeApi::origin_allowed(const std::string& origin) const {
  for (const std::string& allowed : own_origins_)
    if (origin == allowed) return true;
  for (const std::string& allowed : config_.origins)
    if (origin == allowed) return true;
  return false;
}

void BridgeApi::handle(const HttpRequest& request, HttpReply reply) {
  // A page elsewhere that points a name of its own at 127.0.0.1 reaches
  // the bridge as the same origin; the Host it sends gives it away.
  if (!http_host_is_loopback(request, port_))
    return reply.send(http_error_response(421, "this bridge answers only to 127.0.0.1:" + std::to_string(port_) +
                                                   ", localhost:" + std::to_string(port_) +
                                                   " and [::1]:" + std::to_string(port_)));
  const bool api = request.path.rfind("/api/", 0) == 0;
  const std::string* origin = request.header("origin");
  if (!api) {
    if (request.method != "GET" && request.method != "HEAD")
      return reply.send(http_error_response(405, "only GET here"));
    HttpResponse response = static_file(request);
    // Pages of allowed origins may load the script library from here.
    if (origin != nullptr && origin_allowed(*origin)) {
      response.headers.emplace_back("Access-Control-Allow-Origin", *origin);
      response.headers.emplace_back("Vary", "Origin");
    }
    return reply.send(std::move(response));
  }
  if (origin == nullptr || !origin_allowed(*origin))
    return reply.send(http_error_response(403, origin == nullptr ? "requests need an Origin" : "origin not allowed"));

  reply.add_header("Access-Control-Allow-Origin", *origin);
  reply.add_header("Access-Control-Expose-Headers", "X-Tessel-Page, X-Tessel-Left-Out");
  reply.add_header("Vary", "Origin");
  reply.add_header("Cache-Control", "no-store");
  if (request.method == "OPTIONS") {
    HttpResponse response;
    response.status = 204;
    response.content_type.clear();
    response.headers = {{"Access-Control-Allow-Methods", "POST"},
                        {"Access-Control-Allow-Headers", "Content-Type, X-Tessel-Token"},
                        {"Access-Control-Max-Age", "600"}};
    return reply.send(std::move(response));
  }
  if (request.method != "POST") return reply.send(http_error_response(405, "the bridge's requests are POST"));
  route(request, std::move(reply));
}

void BridgeApi::route(const HttpRequest& request, HttpReply reply) {
  JsonValue body{JsonValue::Object{}};
  std::string problem;
  if (!request.body.empty() && !json_parse(request.body, &body, &problem))
    return reply.send(http_error_response(400, "malformed JSON: " + problem));
  if (!body.is_object()) return reply.send(http_error_response(400, "the body must be a JSON object"));

  if (request.path == "/api/sessions") return create_session(body, std::move(reply));
  if (request.path == "/api/status")
    return reply.send(json_response(200, "{\"sessions\":" + std::to_string(sessions_.size()) + "}"));

  // /api/sessions/ID/ACTION
  static const std::string prefix = "/api/sessions/";
  if (request.path.rfind(prefix, 0) != 0) return reply.send(http_error_response(404, "no such request"));
  const std::string rest = request.path.substr(prefix.size());
  const size_t slash = rest.find('/');
  if (slash == std::string::npos) return reply.send(http_error_response(404, "no such request"));
  const std::string id = rest.substr(0, slash);
  const std::string action = rest.substr(slash + 1);
  const std::string* token = request.header("x-tessel-token");
  const std::shared_ptr<BridgeSession> session = sessions_.find(id);
  if (session == nullptr || !session->ready() || token == nullptr || !session->token_matches(*token))
    return reply.send(http_error_response(403, "unknown session or wrong token"));
  if (action == "close") {
    if (!sessions_.close(id, reply)) reply.send(http_error_response(403, "unknown session or wrong token"));
    return;
  }
  session_request(*session, action, body, std::move(reply));
}

void BridgeApi::create_session(const JsonValue& body, HttpReply reply) {
  MemoryPropertyBag bag = config_.defaults;
  if (const JsonValue* params = body.find("params"); params != nullptr) {
    if (!params->is_object()) return reply.send(http_error_response(400, "params must be an object"));
    if (params->as_object().size() > kMaxParams)
      return reply.send(http_error_response(400, "at most " + std::to_string(kMaxParams) + " params"));
    for (const auto& [name, value] : params->as_object()) {
      if (name.empty() || name.size() > kMaxParamName)
        return reply.send(
            http_error_response(400, "a param name must have 1 to " + std::to_string(kMaxParamName) + " bytes"));
      if (value.is_string()) {
        bag.set(name, utf8_to_cp1252(value.as_string()));
      } else if (value.is_number() && value.as_number() == std::floor(value.as_number()) &&
                 std::fabs(value.as_number()) <= 2147483647.0) {
        bag.write(name, PropertyValue::integer(static_cast<long>(value.as_number())));
      } else {
        return reply.send(http_error_response(400, "param " + name + " must be a string or an integer"));
      }
    }
  }
  // Every download the session's control makes waits at most `timeout`
  // seconds, and no page sets that above the bridge's maximum.
  long timeout = config_.default_timeout;
  if (const auto given = bag.read("timeout"); given && !parse_seconds(*given, &timeout))
    return reply.send(http_error_response(400, "param timeout must be a whole number of seconds from 1"));
  bag.set("timeout", std::to_string(timeout < config_.max_timeout ? timeout : config_.max_timeout));
  sessions_.create(std::move(bag), std::move(reply));
}

void BridgeApi::session_request(BridgeSession& session, const std::string& action, const JsonValue& body,
                                HttpReply reply) {
  // These two run beside a call that waits for the page's answer.
  if (action == "messages") return reply.send(list_boxes(session, body));
  if (action == "answer") return reply.send(answer_box(session, body));
  if (action == "call") return call_member(session, body, std::move(reply));
  if (action == "view") return draw_view(session, body, std::move(reply));
  if (action == "reopen") {
    // A session whose control's process ended starts a new one, loaded
    // with the same parameters; the page keeps its id and token.
    return session.submit(
        [](BridgeSession& s) {
          const BridgeSession::Answer opened = s.open();
          return opened.status != 200 ? session_error_response(opened) : json_response(200, "{\"reopened\":true}");
        },
        std::move(reply));
  }
  reply.send(http_error_response(404, "no such request"));
}

void BridgeApi::call_member(BridgeSession& session, const JsonValue& body, HttpReply reply) {
  const JsonValue* member_value = body.find("member");
  if (member_value == nullptr || !member_value->is_string())
    return reply.send(http_error_response(400, "name the member to call (\"member\")"));
  const std::string member = member_value->as_string();
  const bool property = member == "FillColor" || member == "src";
  const bool method = member == "Print" || member == "NextPage" || member == "PrevPage" || member == "Sync";
  if (!property && !method) return reply.send(http_error_response(400, "unknown member " + member));
  const JsonValue* value = body.find("value");
  std::string op = value != nullptr ? "put" : property ? "get" : "call";
  if (const JsonValue* given = body.find("op"); given != nullptr) {
    if (!given->is_string()) return reply.send(http_error_response(400, "op must be \"get\", \"put\" or \"call\""));
    op = given->as_string();
  }
  if (method ? op != "call" : op != "get" && op != "put")
    return reply.send(http_error_response(
        400, "member " + member + (method ? " is a method" : " is a property") + ": op " + op + " does not apply"));

  std::string request = "{\"do\":\"call\",\"member\":" + json_quote(member) + ",\"op\":" + json_quote(op);
  if (op == "put") {
    if (value == nullptr) return reply.send(http_error_response(400, "put needs a value"));
    if (member == "FillColor") {
      double colour;
      if (!integer_member(body, "value", 0, 4294967295.0, &colour))
        return reply.send(http_error_response(400, "FillColor takes a colour from 0 to 4294967295"));
      request += ",\"value\":" + std::to_string(static_cast<uint32_t>(colour));
    } else {
      if (!value->is_string()) return reply.send(http_error_response(400, "src takes a string"));
      request += ",\"value\":" + json_quote(value->as_string());
    }
  }
  request += "}";

  const bool sync = member == "Sync";
  const std::chrono::seconds device_wait = sessions_.settings().box_patience + sessions_.settings().busy_wait;
  session.submit(
      [this, member, op, request, sync, device_wait](BridgeSession& s) {
        // One device for every session: a Sync waits for the one before,
        // unless its own session closes meanwhile.
        std::unique_lock<std::timed_mutex> device(device_, std::defer_lock);
        const auto give_up = std::chrono::steady_clock::now() + device_wait;
        while (sync && !device.try_lock_for(std::chrono::milliseconds(100)))
          if (s.closing() || std::chrono::steady_clock::now() >= give_up)
            return http_error_response(503, "another page is syncing");
        const BridgeSession::Answer answer = s.ask(request);
        if (answer.status != 200) return session_error_response(answer);
        return json_response(200, call_answer(member, op, answer.json));
      },
      std::move(reply));
}

void BridgeApi::draw_view(BridgeSession& session, const JsonValue& body, HttpReply reply) {
  double width, height;
  const double side = config_.max_view_side;
  if (!integer_member(body, "width", 1, side, &width) || !integer_member(body, "height", 1, side, &height))
    return reply.send(http_error_response(
        400, "width and height must be integers from 1 to " + std::to_string(config_.max_view_side)));
  const std::string request = "{\"do\":\"view\",\"width\":" + std::to_string(static_cast<int>(width)) +
                              ",\"height\":" + std::to_string(static_cast<int>(height)) + "}";
  session.submit(
      [request](BridgeSession& s) {
        BridgeSession::Answer answer = s.ask(request);
        if (answer.status != 200) return session_error_response(answer);
        const auto whole = [&answer](const char* name) {
          const JsonValue* field = answer.json.find(name);
          return std::to_string(field != nullptr && field->is_number() ? static_cast<long>(field->as_number()) : 0);
        };
        HttpResponse response;
        response.content_type = "image/png";
        response.body = std::move(answer.payload);
        response.headers.emplace_back("X-Tessel-Page", whole("page"));
        response.headers.emplace_back("X-Tessel-Left-Out", whole("leftOut"));
        return response;
      },
      std::move(reply));
}

HttpResponse BridgeApi::list_boxes(BridgeSession& session, const JsonValue& body) {
  double after = 0;
  if (body.find("after") != nullptr && !integer_member(body, "after", 0, 2147483647.0, &after))
    return http_error_response(400, "after must be a box id");
  std::string list = "[";
  for (const BridgeBox& box : session.boxes_after(static_cast<int>(after))) {
    if (list.size() > 1) list += ',';
    list += "{\"id\":" + std::to_string(box.id) + ",\"title\":" + json_quote(box.title) +
            ",\"text\":" + json_quote(box.text) + ",\"buttons\":\"" + button_name(box.buttons) +
            "\",\"waiting\":" + (box.waiting ? "true" : "false") + ",\"answer\":" + answer_name(box.answer) + "}";
  }
  return json_response(200, "{\"messages\":" + list + "]}");
}

HttpResponse BridgeApi::answer_box(BridgeSession& session, const JsonValue& body) {
  double id;
  const JsonValue* answer = body.find("answer");
  if (!integer_member(body, "id", 1, 2147483647.0, &id) || answer == nullptr || !answer->is_string() ||
      (answer->as_string() != "Retry" && answer->as_string() != "Cancel"))
    return http_error_response(400, "answer with {\"id\": box id, \"answer\": \"Retry\" or \"Cancel\"}");
  if (!session.answer_box(static_cast<int>(id), answer->as_string() == "Retry" ? IDRETRY : IDCANCEL))
    return http_error_response(409, "that box does not wait for an answer");
  return json_response(200, "{\"answered\":true}");
}

// Framing by the bridge's own pages and those of the allowed origins only,
// so no other site can put them under a visitor's clicks.
std::string BridgeApi::frame_ancestors() const {
  std::string sources = "frame-ancestors 'self'";
  for (const std::string& origin : own_origins_) sources += " " + origin;
  for (const std::string& origin : config_.origins) sources += " " + origin;
  return sources;
}

HttpResponse BridgeApi::static_file(const HttpRequest& request) {
  std::string file;
  const std::string name = request.path.substr(1);
  if (request.path == "/")
    file = published_file_below(web_root_, "demo.html");
  else if (name.find('/') == std::string::npos)
    file = published_file_below(web_root_, name);
  else if (request.path.rfind("/samples/", 0) == 0)
    file = published_file_below(samples_root_, request.path.substr(9));
  if (file.empty()) return http_error_response(404, "not found");
  HttpResponse response = http_file_response(file, "utf-8");
  if (response.status != 200) return response;
  if (response.content_type.rfind("text/html", 0) == 0) {
    const bool own_page = request.path.rfind("/samples/", 0) != 0;
    response.headers.emplace_back("Content-Security-Policy",
                                  own_page ? "default-src 'self'; img-src 'self' blob:; connect-src 'self' blob:; "
                                             "style-src 'self' 'unsafe-inline'; " +
                                                 frame_ancestors()
                                           : frame_ancestors());
    response.headers.emplace_back("X-Frame-Options", "SAMEORIGIN");
  }
  response.headers.emplace_back("Cache-Control", "no-cache");
  return response;
}
