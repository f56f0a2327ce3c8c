// Reading the head of an HTTP request.
#include "bridge/http_request.h"

#include <cctype>

namespace {

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool is_token_char(unsigned char c) {
  return std::isalnum(c) || std::string_view("!#$%&'*+-.^_`|~").find(static_cast<char>(c)) != std::string_view::npos;
}

std::string_view trim(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

// Content-Length: decimal digits only, and small enough for size_t.
bool parse_length(std::string_view text, size_t* length) {
  if (text.empty() || text.size() > 15) return false;
  size_t value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<size_t>(c - '0');
  }
  *length = value;
  return true;
}

HttpHeadStatus malformed(std::string* error, const char* why) {
  if (error != nullptr) *error = why;
  return HttpHeadStatus::Malformed;
}

}  // namespace

const std::string* HttpRequest::header(std::string_view name) const {
  for (const auto& [key, value] : headers)
    if (key == name) return &value;
  return nullptr;
}

std::string HttpRequest::query_param(std::string_view name) const {
  std::string_view rest = query;
  while (!rest.empty()) {
    const size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    const size_t eq = pair.find('=');
    std::string key, value;
    if (!http_percent_decode(pair.substr(0, eq), &key) || key != name) continue;
    if (eq != std::string_view::npos && http_percent_decode(pair.substr(eq + 1), &value)) return value;
    return "";
  }
  return "";
}

bool http_host_is_loopback(const HttpRequest& request, int port) {
  const std::string* host = request.header("host");
  if (host == nullptr) return false;
  std::string name;
  for (const char c : *host) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string suffix = ":" + std::to_string(port);
  if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
    name.resize(name.size() - suffix.size());
  else if (port != 80)
    return false;
  return name == "127.0.0.1" || name == "localhost" || name == "[::1]";
}

bool http_percent_decode(std::string_view text, std::string* out) {
  out->clear();
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      *out += text[i];
      continue;
    }
    if (i + 2 >= text.size() || hex_digit(text[i + 1]) < 0 || hex_digit(text[i + 2]) < 0) return false;
    const char c = static_cast<char>(hex_digit(text[i + 1]) * 16 + hex_digit(text[i + 2]));
    if (c == '\0') return false;
    *out += c;
    i += 2;
  }
  return true;
}

HttpHeadStatus http_parse_head(std::string_view data, size_t max_head, HttpRequest* request, size_t* head_length,
                               std::string* error) {
  const size_t end = data.find("\r\n\r\n");
  if (end == std::string_view::npos)
    return data.size() > max_head ? HttpHeadStatus::TooLarge : HttpHeadStatus::Incomplete;
  if (end + 4 > max_head) return HttpHeadStatus::TooLarge;
  *head_length = end + 4;
  std::string_view head = data.substr(0, end + 2);

  // Request line: METHOD SP TARGET SP VERSION
  const size_t line_end = head.find("\r\n");
  const std::string_view line = head.substr(0, line_end);
  const size_t sp1 = line.find(' ');
  const size_t sp2 = sp1 == std::string_view::npos ? sp1 : line.find(' ', sp1 + 1);
  if (sp1 == std::string_view::npos || sp2 == std::string_view::npos || line.find(' ', sp2 + 1) != line.npos)
    return malformed(error, "bad request line");
  request->method = std::string(line.substr(0, sp1));
  request->target = std::string(line.substr(sp1 + 1, sp2 - sp1 - 1));
  request->version = std::string(line.substr(sp2 + 1));
  if (request->method.empty()) return malformed(error, "bad request line");
  for (const char c : request->method)
    if (!is_token_char(static_cast<unsigned char>(c))) return malformed(error, "bad method");
  if (request->version != "HTTP/1.1" && request->version != "HTTP/1.0")
    return malformed(error, "unsupported HTTP version");
  if (request->target.empty() || request->target[0] != '/') return malformed(error, "the target must be a path");
  for (const char c : request->target)
    if (static_cast<unsigned char>(c) <= 0x20 || static_cast<unsigned char>(c) >= 0x7F)
      return malformed(error, "bad character in the target");
  const size_t question = request->target.find('?');
  const std::string raw_path = request->target.substr(0, question);
  request->query = question == std::string::npos ? "" : request->target.substr(question + 1);
  if (!http_percent_decode(raw_path, &request->path)) return malformed(error, "bad percent escape in the path");

  // Header fields: NAME ":" OWS VALUE OWS, no folded lines.
  request->headers.clear();
  bool have_length = false;
  size_t pos = line_end + 2;
  while (pos < head.size()) {
    const size_t next = head.find("\r\n", pos);
    const std::string_view field = head.substr(pos, next - pos);
    pos = next + 2;
    const size_t colon = field.find(':');
    if (colon == std::string_view::npos || colon == 0) return malformed(error, "bad header line");
    std::string name(field.substr(0, colon));
    for (char& c : name) {
      if (!is_token_char(static_cast<unsigned char>(c))) return malformed(error, "bad header name");
      c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    const std::string_view value = trim(field.substr(colon + 1));
    for (const char c : value)
      if ((static_cast<unsigned char>(c) < 0x20 && c != '\t') || c == 0x7F)
        return malformed(error, "bad character in a header value");
    if (name == "content-length") {
      size_t length;
      if (!parse_length(value, &length) || (have_length && length != request->content_length))
        return malformed(error, "bad Content-Length");
      request->content_length = length;
      have_length = true;
    }
    if (name == "transfer-encoding") return HttpHeadStatus::Unsupported;
    request->headers.emplace_back(std::move(name), std::string(value));
  }
  return HttpHeadStatus::Complete;
}

const char* http_reason(int status) {
  switch (status) {
    case 200: return "OK";
    case 201: return "Created";
    case 204: return "No Content";
    case 400: return "Bad Request";
    case 403: return "Forbidden";
    case 404: return "Not Found";
    case 405: return "Method Not Allowed";
    case 408: return "Request Timeout";
    case 409: return "Conflict";
    case 410: return "Gone";
    case 411: return "Length Required";
    case 413: return "Content Too Large";
    case 421: return "Misdirected Request";
    case 431: return "Request Header Fields Too Large";
    case 500: return "Internal Server Error";
    case 502: return "Bad Gateway";
    case 503: return "Service Unavailable";
    default: return "Unknown";
  }
}
