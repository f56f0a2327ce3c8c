// Shared pieces of the HTTP client tests: a recorder for callbacks, a
// private settings store without proxies, and file helpers.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "common/temp_dir.h"
#include "net/qelhttp.h"

namespace tessel_testing {

// What the callbacks saw; pass it as user value and header user value.
struct HttpRecorder {
  std::vector<std::pair<int, std::string>> statuses;
  std::vector<std::string> header_lines;
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  QELHTTP* cancel_on_body = nullptr;  // cancels the transfer at the first block

  static void status(void* user, int code, const char* text);
  static void header_line(void* user, const char* line, int length);
  static void header(void* user, const char* name, const char* value);
  static inline int body_block(void* user, const char* data, int length);
  // Installs every callback above on the object with this recorder as user.
  inline void attach(QELHTTP* http);
  bool saw_status(int code, const std::string& text) const;
};

template <typename Function>
void set_callback(QELHTTP* http, int option, Function function) {
  QELHTTPSetOptionInt(http, option, reinterpret_cast<intptr_t>(function));
}

int HttpRecorder::body_block(void* user, const char* data, int length) {
  auto* self = static_cast<HttpRecorder*>(user);
  self->body.append(data, static_cast<size_t>(length));
  if (self->cancel_on_body) QELHTTPCancel(self->cancel_on_body);
  return 0;
}

// Header-only so that the fixture library itself needs no network code.
void HttpRecorder::attach(QELHTTP* http) {
  QELHTTPSetOption(http, QELHTTP_OPT_USER_DATA, this);
  QELHTTPSetOption(http, QELHTTP_OPT_HEADER_USER_DATA, this);
  set_callback(http, QELHTTP_OPT_STATUS_CALLBACK, &HttpRecorder::status);
  set_callback(http, QELHTTP_OPT_HEADER_LINE_CALLBACK, &HttpRecorder::header_line);
  set_callback(http, QELHTTP_OPT_HEADER_CALLBACK, &HttpRecorder::header);
  set_callback(http, QELHTTP_OPT_BODY_CALLBACK, &HttpRecorder::body_block);
}

// Points the current user's settings store at an empty folder and clears
// the proxy variables, so that no transfer picks up a proxy by accident.
class NoSystemProxy {
 public:
  NoSystemProxy();
  ~NoSystemProxy();

 private:
  TempDir store_;
};

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& contents);

}  // namespace tessel_testing
