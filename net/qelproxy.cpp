// The current user's proxy settings: whether a proxy is on, which hosts
// bypass it, and the proxy address for http or https transfers.
#include <cstring>
#include <string>

#include "net/qelhttp.h"
#include "platform/registry.h"
#include "support/qelstring.h"

char* QELHTTPSystemProxy(char* buffer, int size, int https, const char* host) {
  if (!buffer || size <= 0) return nullptr;
  RegKey* key = nullptr;
  if (RegOpenKey(RegRoot::CurrentUser, "Software\\Microsoft\\Windows\\CurrentVersion\\Internet Settings",
                 REG_ACCESS_READ, &key) != REG_OK)
    return nullptr;

  unsigned char enable[10] = {};
  uint32_t length = sizeof enable;
  if (RegQueryValue(key, "ProxyEnable", nullptr, enable, &length) != REG_OK || enable[0] == 0) {
    RegCloseKey(key);
    return nullptr;
  }

  char text[1024] = {};
  length = sizeof text - 1;
  if (RegQueryValue(key, "ProxyOverride", nullptr, text, &length) == REG_OK && host) {
    text[length < sizeof text ? length : sizeof text - 1] = 0;
    std::string list = text;
    size_t start = 0;
    while (start < list.size()) {
      size_t end = list.find(';', start);
      if (end == std::string::npos) end = list.size();
      std::string entry = list.substr(start, end - start);
      start = end + 1;
      if (entry.empty()) continue;
      size_t slashes = entry.find("//");
      if (entry.rfind("http", 0) == 0 && slashes != std::string::npos) entry.erase(0, slashes + 2);
      if (!entry.empty() && std::strncmp(host, entry.c_str(), entry.size()) == 0) {
        RegCloseKey(key);
        return nullptr;
      }
    }
  }

  std::memset(text, 0, sizeof text);
  length = sizeof text - 1;
  long rc = RegQueryValue(key, "ProxyServer", nullptr, text, &length);
  RegCloseKey(key);
  if (rc != REG_OK) return nullptr;
  text[length < sizeof text ? length : sizeof text - 1] = 0;

  const char* marker = https ? "https=" : "http=";
  const char* found = std::strstr(text, marker);
  if (found) {
    found += std::strlen(marker);
    size_t n = std::strcspn(found, ";");
    std::string entry(found, n);
    qel_strlcpy(buffer, entry.c_str(), static_cast<size_t>(size));
  } else {
    qel_strlcpy(buffer, text, static_cast<size_t>(size));
  }
  return buffer;
}
