// Fuzz target: a request as a page (or anyone on loopback) sends it to the
// bridge: the head is parsed within its bound, then the body as JSON.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "bridge/http_request.h"
#include "bridge/json.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view input(reinterpret_cast<const char*>(data), size);
  HttpRequest request;
  size_t head_length = 0;
  std::string error;
  if (http_parse_head(input, 16 * 1024, &request, &head_length, &error) == HttpHeadStatus::Complete) {
    (void)request.query_param("after");
    (void)request.header("origin");
    const std::string_view body = input.substr(head_length);
    JsonValue value;
    if (json_parse(body, &value, &error)) {
      if (const JsonValue* member = value.find("member"); member != nullptr && member->is_string())
        (void)json_quote(utf8_to_cp1252(member->as_string()));
    }
  }
  // Quoting must make valid JSON of any bytes.
  JsonValue back;
  if (!json_parse(json_quote(input), &back, &error)) __builtin_trap();
  (void)cp1252_to_utf8(input);
  return 0;
}
