// The bridge's requests: every call from a page carries an allowed Origin
// and, for an existing session, that session's token; a refused request
// changes nothing.
#include "apps/tessel/bridge_api.h"

#include <sys/stat.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <iterator>

#include "bridge/json.h"
#include "control/tessel_ctrl.h"
#include "platform/dc_cairo.h"
#include "platform/message_box.h"

namespace {

constexpr auto kSessionBusyWait = std::chrono::seconds(10);
constexpr size_t kMaxParams = 32;
constexpr size_t kMaxParamName = 64;

HttpResponse json_response(int status, std::string body)
{
    HttpResponse response;
    response.status = status;
    response.body = std::move(body);
    return response;
}

const char* button_name(int buttons)
{
    return buttons == MB_RETRYCANCEL ? "RetryCancel" : "OK";
}

std::string answer_name(int answer)
{
    switch (answer) {
    case IDOK: return "\"OK\"";
    case IDRETRY: return "\"Retry\"";
    case IDCANCEL: return "\"Cancel\"";
    default: return "null";
    }
}

// An integer member of a JSON object within [low, high].
bool integer_member(const JsonValue& body, const char* name, double low, double high, double* value)
{
    const JsonValue* member = body.find(name);
    if (member == nullptr || !member->is_number())
        return false;
    const double n = member->as_number();
    if (n != std::floor(n) || n < low || n > high)
        return false;
    *value = n;
    return true;
}

std::string hresult_json(HRESULT hr)
{
    return std::to_string(static_cast<int32_t>(hr));
}

const char* content_type_of(const std::string& path)
{
    const size_t dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
    if (ext == "html" || ext == "htm")
        return "text/html; charset=utf-8";
    if (ext == "js" || ext == "mjs")
        return "text/javascript; charset=utf-8";
    if (ext == "css")
        return "text/css; charset=utf-8";
    if (ext == "png")
        return "image/png";
    if (ext == "jpg" || ext == "jpeg")
        return "image/jpeg";
    if (ext == "bmp")
        return "image/bmp";
    return "application/octet-stream";
}

bool read_file(const std::string& path, std::string* data)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    data->assign(std::istreambuf_iterator<char>(in), {});
    return !in.bad();
}

// A path below a folder: no empty, "." or ".." segments.
bool safe_relative_path(const std::string& path)
{
    if (path.empty())
        return false;
    size_t start = 0;
    while (start <= path.size()) {
        const size_t slash = path.find('/', start);
        const std::string segment = path.substr(start, slash - start);
        if (segment.empty() || segment == "." || segment == "..")
            return false;
        if (slash == std::string::npos)
            break;
        start = slash + 1;
    }
    return true;
}

} // namespace

void BridgeApi::set_own_port(int port)
{
    own_origins_ = {"http://127.0.0.1:" + std::to_string(port), "http://localhost:" + std::to_string(port)};
    // Sessions that name no document get the built-in sample.
    if (!config_.defaults.read("src"))
        config_.defaults.set("src", own_origins_[0] + "/samples/report.html");
}

bool BridgeApi::origin_allowed(const std::string& origin) const
{
    for (const std::string& allowed : own_origins_)
        if (origin == allowed)
            return true;
    for (const std::string& allowed : config_.origins)
        if (origin == allowed)
            return true;
    return false;
}

HttpResponse BridgeApi::handle(const HttpRequest& request)
{
    const bool api = request.path.rfind("/api/", 0) == 0;
    const std::string* origin = request.header("origin");
    if (!api) {
        if (request.method != "GET" && request.method != "HEAD")
            return http_error_response(405, "only GET here");
        HttpResponse response = static_file(request);
        // Pages of allowed origins may load the script library from here.
        if (origin != nullptr && origin_allowed(*origin)) {
            response.headers.emplace_back("Access-Control-Allow-Origin", *origin);
            response.headers.emplace_back("Vary", "Origin");
        }
        return response;
    }
    if (origin == nullptr || !origin_allowed(*origin))
        return http_error_response(403, origin == nullptr ? "requests need an Origin" : "origin not allowed");

    HttpResponse response;
    if (request.method == "OPTIONS") {
        response.status = 204;
        response.content_type.clear();
        response.headers = {{"Access-Control-Allow-Methods", "POST"},
                            {"Access-Control-Allow-Headers", "Content-Type, X-Tessel-Token"},
                            {"Access-Control-Max-Age", "600"}};
    } else if (request.method != "POST") {
        response = http_error_response(405, "the bridge's requests are POST");
    } else {
        response = route(request, *origin);
    }
    response.headers.emplace_back("Access-Control-Allow-Origin", *origin);
    response.headers.emplace_back("Access-Control-Expose-Headers", "X-Tessel-Page, X-Tessel-Left-Out");
    response.headers.emplace_back("Vary", "Origin");
    response.headers.emplace_back("Cache-Control", "no-store");
    return response;
}

HttpResponse BridgeApi::route(const HttpRequest& request, const std::string&)
{
    JsonValue body{JsonValue::Object{}};
    std::string problem;
    if (!request.body.empty() && !json_parse(request.body, &body, &problem))
        return http_error_response(400, "malformed JSON: " + problem);
    if (!body.is_object())
        return http_error_response(400, "the body must be a JSON object");

    if (request.path == "/api/sessions")
        return create_session(body);
    if (request.path == "/api/status")
        return json_response(200, "{\"sessions\":" + std::to_string(sessions_.size()) + "}");

    // /api/sessions/ID/ACTION
    static const std::string prefix = "/api/sessions/";
    if (request.path.rfind(prefix, 0) != 0)
        return http_error_response(404, "no such request");
    const std::string rest = request.path.substr(prefix.size());
    const size_t slash = rest.find('/');
    if (slash == std::string::npos)
        return http_error_response(404, "no such request");
    const std::string id = rest.substr(0, slash);
    const std::string action = rest.substr(slash + 1);
    const std::string* token = request.header("x-tessel-token");
    const std::shared_ptr<BridgeSession> session = sessions_.find(id);
    if (session == nullptr || token == nullptr || !session->token_matches(*token))
        return http_error_response(403, "unknown session or wrong token");
    if (action == "close") {
        sessions_.close(id);
        return json_response(200, "{\"closed\":true}");
    }
    session->enter();
    HttpResponse response = session_request(*session, action, body);
    session->leave();
    return response;
}

HttpResponse BridgeApi::create_session(const JsonValue& body)
{
    MemoryPropertyBag bag = config_.defaults;
    if (const JsonValue* params = body.find("params"); params != nullptr) {
        if (!params->is_object())
            return http_error_response(400, "params must be an object");
        if (params->as_object().size() > kMaxParams)
            return http_error_response(400, "at most " + std::to_string(kMaxParams) + " params");
        for (const auto& [name, value] : params->as_object()) {
            if (name.empty() || name.size() > kMaxParamName)
                return http_error_response(400, "a param name must have 1 to " + std::to_string(kMaxParamName) +
                                                    " bytes");
            if (value.is_string()) {
                bag.set(name, utf8_to_cp1252(value.as_string()));
            } else if (value.is_number() && value.as_number() == std::floor(value.as_number()) &&
                       std::fabs(value.as_number()) <= 2147483647.0) {
                bag.write(name, PropertyValue::integer(static_cast<long>(value.as_number())));
            } else {
                return http_error_response(400, "param " + name + " must be a string or an integer");
            }
        }
    }
    std::string error;
    const std::shared_ptr<BridgeSession> session = sessions_.create(&bag, &error);
    if (session == nullptr)
        return http_error_response(503, error);
    std::fprintf(stderr, "tessel serve: session %s opened\n", session->id().c_str());
    return json_response(201, "{\"id\":" + json_quote(session->id()) + ",\"token\":" +
                                  json_quote(session->token()) + "}");
}

HttpResponse BridgeApi::session_request(BridgeSession& session, const std::string& action, const JsonValue& body)
{
    // These two run beside a call that waits for the page's answer.
    if (action == "messages")
        return list_boxes(session, body);
    if (action == "answer")
        return answer_box(session, body);
    if (action != "call" && action != "view")
        return http_error_response(404, "no such request");
    std::unique_lock<std::timed_mutex> one_call(session.call_mutex, kSessionBusyWait);
    if (!one_call.owns_lock())
        return http_error_response(503, "the session is busy with another call");
    if (!session.control)
        return http_error_response(403, "unknown session or wrong token");
    return action == "call" ? call_member(session, body) : draw_view(session, body);
}

HttpResponse BridgeApi::call_member(BridgeSession& session, const JsonValue& body)
{
    const JsonValue* member_value = body.find("member");
    if (member_value == nullptr || !member_value->is_string())
        return http_error_response(400, "name the member to call (\"member\")");
    const std::string member = member_value->as_string();
    const bool property = member == "FillColor" || member == "src";
    const bool method = member == "Print" || member == "NextPage" || member == "PrevPage" || member == "Sync";
    if (!property && !method)
        return http_error_response(400, "unknown member " + member);
    const JsonValue* value = body.find("value");
    std::string op = value != nullptr ? "put" : property ? "get" : "call";
    if (const JsonValue* given = body.find("op"); given != nullptr) {
        if (!given->is_string())
            return http_error_response(400, "op must be \"get\", \"put\" or \"call\"");
        op = given->as_string();
    }
    if (method ? op != "call" : op != "get" && op != "put")
        return http_error_response(400, "member " + member + (method ? " is a method" : " is a property") +
                                            ": op " + op + " does not apply");

    Variant argument;
    if (op == "put") {
        if (value == nullptr)
            return http_error_response(400, "put needs a value");
        if (member == "FillColor") {
            double colour;
            if (!integer_member(body, "value", 0, 4294967295.0, &colour))
                return http_error_response(400, "FillColor takes a colour from 0 to 4294967295");
            argument.vt = VT_I4;
            argument.lVal = static_cast<int32_t>(static_cast<uint32_t>(colour));
        } else {
            if (!value->is_string())
                return http_error_response(400, "src takes a string");
            argument.vt = VT_BSTR;
            argument.bstrVal = bstr_from_ansi(utf8_to_cp1252(value->as_string()).c_str());
        }
    }

    // Print and Sync wait for the shared outputs; the control lock is taken
    // only afterwards so that other sessions draw meanwhile.
    std::unique_lock<std::timed_mutex> output(output_, std::defer_lock);
    if (member == "Print" || member == "Sync") {
        if (!output.try_lock_for(sessions_.limits().box_patience + kSessionBusyWait))
            return http_error_response(503, "another page is printing or syncing");
    }
    HRESULT hr;
    std::string result = "null";
    // Print and Sync answer how many elements their pages left out.
    std::string left_out;
    {
        ControlCall call(&session);
        ControlHost& control = *session.control;
        if (op == "call") {
            hr = control.call(member.c_str());
            const CTesselCtrl* state = control.state();
            if ((member == "Print" || member == "Sync") && state != nullptr)
                left_out = ",\"leftOut\":" + std::to_string(state->m_leftOut.elements);
        } else if (op == "put") {
            hr = control.put(member.c_str(), argument);
        } else {
            Variant got;
            hr = control.get(member.c_str(), &got);
            if (SUCCEEDED(hr) && got.vt == VT_BSTR)
                result = json_quote(cp1252_to_utf8(bstr_to_ansi(got.bstrVal)));
            else if (SUCCEEDED(hr) && (got.vt == VT_I4 || got.vt == VT_UI4))
                result = std::to_string(got.ulVal);
        }
    }
    return json_response(200, "{\"member\":" + json_quote(member) + ",\"op\":" + json_quote(op) +
                                  ",\"ok\":" + (SUCCEEDED(hr) ? "true" : "false") + ",\"hresult\":" +
                                  hresult_json(hr) + ",\"value\":" + result + left_out + "}");
}

HttpResponse BridgeApi::draw_view(BridgeSession& session, const JsonValue& body)
{
    double width, height;
    const double side = config_.max_view_side;
    if (!integer_member(body, "width", 1, side, &width) || !integer_member(body, "height", 1, side, &height))
        return http_error_response(400, "width and height must be integers from 1 to " +
                                            std::to_string(config_.max_view_side));
    const int w = static_cast<int>(width), h = static_cast<int>(height);
    std::string png;
    int page = 0;
    int left_out = 0;
    {
        ControlCall call(&session);
        auto dc = CairoDc::create_screen(w, h);
        if (!dc)
            return http_error_response(503, "no memory for a view of that size");
        // As the host repaints: the background erased to white, then the
        // control's own drawing.
        const DcObject background = dc->create_solid_brush(dc_rgb(255, 255, 255));
        dc->fill_rect({0, 0, w, h}, background);
        dc->delete_object(background);
        if (FAILED(session.control->draw(dc.get(), {0, 0, w, h})))
            return http_error_response(500, "the control could not draw");
        if (!dc->encode_png(&png))
            return http_error_response(500, "the view could not be encoded");
        if (const CTesselCtrl* state = session.control->state()) {
            page = state->m_nCurrentPage;
            left_out = state->m_leftOut.elements;
        }
    }
    HttpResponse response;
    response.content_type = "image/png";
    response.body = std::move(png);
    response.headers.emplace_back("X-Tessel-Page", std::to_string(page));
    response.headers.emplace_back("X-Tessel-Left-Out", std::to_string(left_out));
    return response;
}

HttpResponse BridgeApi::list_boxes(BridgeSession& session, const JsonValue& body)
{
    double after = 0;
    if (body.find("after") != nullptr && !integer_member(body, "after", 0, 2147483647.0, &after))
        return http_error_response(400, "after must be a box id");
    std::string list = "[";
    for (const BridgeBox& box : session.boxes_after(static_cast<int>(after))) {
        if (list.size() > 1)
            list += ',';
        list += "{\"id\":" + std::to_string(box.id) + ",\"title\":" + json_quote(box.title) +
                ",\"text\":" + json_quote(box.text) + ",\"buttons\":\"" + button_name(box.buttons) +
                "\",\"waiting\":" + (box.waiting ? "true" : "false") + ",\"answer\":" + answer_name(box.answer) +
                "}";
    }
    return json_response(200, "{\"messages\":" + list + "]}");
}

HttpResponse BridgeApi::answer_box(BridgeSession& session, const JsonValue& body)
{
    double id;
    const JsonValue* answer = body.find("answer");
    if (!integer_member(body, "id", 1, 2147483647.0, &id) || answer == nullptr || !answer->is_string() ||
        (answer->as_string() != "Retry" && answer->as_string() != "Cancel"))
        return http_error_response(400, "answer with {\"id\": box id, \"answer\": \"Retry\" or \"Cancel\"}");
    if (!session.answer_box(static_cast<int>(id), answer->as_string() == "Retry" ? IDRETRY : IDCANCEL))
        return http_error_response(409, "that box does not wait for an answer");
    return json_response(200, "{\"answered\":true}");
}

HttpResponse BridgeApi::static_file(const HttpRequest& request)
{
    std::string file;
    const std::string name = request.path.substr(1);
    if (request.path == "/")
        file = config_.web_dir + "/demo.html";
    else if (name.find('/') == std::string::npos && safe_relative_path(name))
        file = config_.web_dir + "/" + name;
    else if (request.path.rfind("/samples/", 0) == 0 && safe_relative_path(request.path.substr(9)))
        file = config_.samples_dir + "/" + request.path.substr(9);
    HttpResponse response;
    if (file.empty() || !read_file(file, &response.body))
        return http_error_response(404, "not found");
    response.content_type = content_type_of(file);
    if (file.size() >= 5 && file.compare(file.size() - 5, 5, ".html") == 0 && request.path.rfind("/samples/", 0) != 0)
        response.headers.emplace_back("Content-Security-Policy",
                                      "default-src 'self'; img-src 'self' blob:; connect-src 'self' blob:; "
                                      "style-src 'self' 'unsafe-inline'");
    response.headers.emplace_back("Cache-Control", "no-cache");
    return response;
}
