// HTTP/1.x requests as the bridge reads them off a connection: the head is
// parsed strictly and within fixed bounds before any body is read.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

struct HttpRequest {
  std::string method;                                        // as sent, e.g. "POST"
  std::string target;                                        // the request target as sent
  std::string path;                                          // the target up to '?', percent-decoded
  std::string query;                                         // after '?', still encoded
  std::string version;                                       // "HTTP/1.0" or "HTTP/1.1"
  std::vector<std::pair<std::string, std::string>> headers;  // names in lower case
  size_t content_length = 0;
  std::string body;

  // The value of a header (name in lower case), or null when absent.
  const std::string* header(std::string_view name) const;
  // A query parameter, percent-decoded; "" when absent.
  std::string query_param(std::string_view name) const;
};

enum class HttpHeadStatus {
  Complete,     // the head is parsed; the body follows
  Incomplete,   // no blank line yet: read more
  Malformed,    // answer 400
  TooLarge,     // the head is over the bound: answer 431
  Unsupported,  // a body framing we do not read (Transfer-Encoding): answer 411
};

// Parses the head at the start of `data`. On Complete, *head_length is the
// number of bytes up to and including the blank line; on Malformed, *error
// says why.
HttpHeadStatus http_parse_head(std::string_view data, size_t max_head, HttpRequest* request, size_t* head_length,
                               std::string* error);

// Whether the request names this loopback server in its Host header:
// 127.0.0.1, localhost or [::1] with `port` (the port may be left out only
// when it is 80). Anything else (another name pointed at 127.0.0.1, no Host
// at all) is refused, so pages elsewhere cannot reach the server by name.
bool http_host_is_loopback(const HttpRequest& request, int port);

// Percent-decoding; false for a '%' without two hex digits after it or an
// encoded NUL.
bool http_percent_decode(std::string_view text, std::string* out);

// The reason phrase of the status codes the bridge answers.
const char* http_reason(int status);
