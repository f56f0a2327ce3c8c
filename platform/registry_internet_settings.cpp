// The current user's Internet Settings proxy values as the proxy environment
// variables describe them, for machines whose settings store holds none.
#include <cstdlib>

#include "platform/registry_store.h"

namespace registry_store {

namespace {

const char* environment(const char* lower_name, const char* upper_name) {
  const char* v = std::getenv(lower_name);
  if (!v || !*v) v = std::getenv(upper_name);
  return (v && *v) ? v : nullptr;
}

std::string trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t");
  if (b == std::string::npos) return {};
  size_t e = s.find_last_not_of(" \t");
  return s.substr(b, e - b + 1);
}

// "http://user@proxy:3128/" -> "user@proxy:3128": the settings store keeps
// proxies as host:port without a scheme.
std::string strip_scheme(const char* address) {
  std::string s = trim(address);
  size_t sep = s.find("://");
  if (sep != std::string::npos) s.erase(0, sep + 3);
  while (!s.empty() && s.back() == '/') s.pop_back();
  return s;
}

Value string_value(const char* name, const std::string& text) {
  Value v;
  v.name = name;
  v.type = 1;
  v.data.assign(text.begin(), text.end());
  v.data.push_back(0);
  return v;
}

}  // namespace

bool is_internet_settings(const std::string& normalized_path) {
  return same_text(normalized_path, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings");
}

std::vector<Value> environment_proxy_values() {
  std::vector<Value> values;
  // Each variable names the proxy of its own scheme only; the lookup goes
  // direct for a scheme the list has no entry for.
  const char* http = environment("http_proxy", "HTTP_PROXY");
  const char* https = environment("https_proxy", "HTTPS_PROXY");
  std::string server;
  if (http) server = "http=" + strip_scheme(http);
  if (https) {
    if (!server.empty()) server += ';';
    server += "https=" + strip_scheme(https);
  }
  if (server.empty()) return values;

  Value enable;
  enable.name = "ProxyEnable";
  enable.type = 4;
  enable.data = {1, 0, 0, 0};
  values.push_back(enable);
  values.push_back(string_value("ProxyServer", server));

  // The bypass list keeps the environment's own form and rules (name
  // suffixes, "*", addresses, ports), which a list of prefixes cannot say,
  // so it goes into a value of its own.
  if (const char* no_proxy = environment("no_proxy", "NO_PROXY")) {
    std::string list;
    std::string text = no_proxy;
    size_t start = 0;
    while (start <= text.size()) {
      size_t comma = text.find(',', start);
      if (comma == std::string::npos) comma = text.size();
      const std::string entry = trim(text.substr(start, comma - start));
      if (!entry.empty()) {
        if (!list.empty()) list += ',';
        list += entry;
      }
      start = comma + 1;
    }
    if (!list.empty()) values.push_back(string_value("NoProxy", list));
  }
  return values;
}

}  // namespace registry_store
