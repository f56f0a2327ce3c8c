// The current user's proxy settings: whether a proxy is on, which hosts
// bypass it, and the proxy address for http or https transfers.
#include <cstring>
#include <string>

#include "net/qelhttp_internal.h"
#include "net/qelproxy_bypass.h"
#include "platform/registry.h"
#include "support/qelstring.h"

namespace {

constexpr int kTextSize = 1024;

// Reads a text value into text (kTextSize bytes, terminated). False when
// the key has no such value.
bool read_text(RegKey* key, const char* name, char* text) {
  std::memset(text, 0, kTextSize);
  uint32_t length = kTextSize - 1;
  if (RegQueryValue(key, name, nullptr, text, &length) != REG_OK) return false;
  text[length < kTextSize ? length : kTextSize - 1] = 0;
  return true;
}

// ProxyOverride: host prefixes separated by ";", an entry written with a
// scheme compared from after its "//".
bool overridden(const char* list, const char* host) {
  const std::string text = list;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    std::string entry = text.substr(start, end - start);
    start = end + 1;
    if (entry.empty()) continue;
    const size_t slashes = entry.find("//");
    if (entry.rfind("http", 0) == 0 && slashes != std::string::npos) entry.erase(0, slashes + 2);
    if (!entry.empty() && std::strncmp(host, entry.c_str(), entry.size()) == 0) return true;
  }
  return false;
}

// Whether the host goes direct by either list of the settings.
bool bypassed(RegKey* key, const char* host, const char* port) {
  if (!host) return false;
  char text[kTextSize];
  if (read_text(key, "ProxyOverride", text) && overridden(text, host)) return true;
  return read_text(key, "NoProxy", text) && qelproxy_bypassed(text, host, port);
}

// The proxy text for the scheme from a ProxyServer value: one address for
// every scheme, or the entry "https=..." / "http=..." of a per-scheme list.
// False when a per-scheme list has no entry for the scheme: that scheme
// then goes direct rather than through a proxy meant for the other.
bool proxy_for(const char* server, int https, char* buffer, int size) {
  const std::string marker = https ? "https=" : "http=";
  const std::string text = server;
  for (size_t start = 0; start <= text.size();) {
    size_t end = text.find(';', start);
    if (end == std::string::npos) end = text.size();
    std::string entry = text.substr(start, end - start);
    entry.erase(0, entry.find_first_not_of(' '));
    if (entry.compare(0, marker.size(), marker) == 0) {
      qel_strlcpy(buffer, entry.c_str() + marker.size(), static_cast<size_t>(size));
      return true;
    }
    start = end + 1;
  }
  if (text.find('=') != std::string::npos) return false;
  qel_strlcpy(buffer, server, static_cast<size_t>(size));
  return true;
}

}  // namespace

char* qelhttp::system_proxy(char* buffer, int size, int https, const char* host, const char* port) {
  if (!buffer || size <= 0) return nullptr;
  RegKey* key = nullptr;
  if (RegOpenKey(RegRoot::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                 REG_ACCESS_READ, &key) != REG_OK)
    return nullptr;
  const RegKeyPtr owned(key);

  unsigned char enable[10] = {};
  uint32_t length = sizeof enable;
  if (RegQueryValue(key, "ProxyEnable", nullptr, enable, &length) != REG_OK || enable[0] == 0) return nullptr;
  if (bypassed(key, host, port)) return nullptr;
  char server[kTextSize];
  if (!read_text(key, "ProxyServer", server)) return nullptr;
  return proxy_for(server, https, buffer, size) ? buffer : nullptr;
}

char* QELHTTPSystemProxy(char* buffer, int size, int https, const char* host) {
  return qelhttp::system_proxy(buffer, size, https, host, nullptr);
}
