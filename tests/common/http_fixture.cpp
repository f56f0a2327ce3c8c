// Callback recorder, file helpers and a proxy-free settings store for the
// HTTP client tests.
#include "common/http_fixture.h"

#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <sstream>

namespace tessel_testing {

void HttpRecorder::status(void* user, int code, const char* text) {
  static_cast<HttpRecorder*>(user)->statuses.emplace_back(code, text ? text : "");
}

void HttpRecorder::header_line(void* user, const char* line, int length) {
  static_cast<HttpRecorder*>(user)->header_lines.emplace_back(line, static_cast<size_t>(length));
}

void HttpRecorder::header(void* user, const char* name, const char* value) {
  static_cast<HttpRecorder*>(user)->headers.emplace_back(name, value);
}

bool HttpRecorder::saw_status(int code, const std::string& text) const {
  for (const auto& s : statuses)
    if (s.first == code && s.second == text) return true;
  return false;
}

namespace {
const char* const kProxyVariables[] = {"http_proxy",  "HTTP_PROXY", "https_proxy",
                                       "HTTPS_PROXY", "no_proxy",   "NO_PROXY"};
}

NoSystemProxy::NoSystemProxy() {
  setenv("TESSEL_REGISTRY_USER", store_.path().c_str(), 1);
  for (const char* v : kProxyVariables) unsetenv(v);
}

NoSystemProxy::~NoSystemProxy() {
  unsetenv("TESSEL_REGISTRY_USER");
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void write_file(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

}  // namespace tessel_testing
