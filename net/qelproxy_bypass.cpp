// Matching a host against the environment's no_proxy list.
#include "net/qelproxy_bypass.h"

#include <arpa/inet.h>

#include <cctype>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

namespace {

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

std::string trimmed(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return {};
  return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

bool all_digits(const std::string& text) {
  if (text.empty()) return false;
  for (char c : text)
    if (!std::isdigit(static_cast<unsigned char>(c))) return false;
  return true;
}

// An entry split into its host part and its port ("" when it has none).
struct Entry {
  std::string host;
  std::string port;
};

Entry split_entry(const std::string& text) {
  Entry entry{text, ""};
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == std::string::npos) return entry;
    entry.host = text.substr(1, close - 1);
    if (close + 1 < text.size() && text[close + 1] == ':') entry.port = text.substr(close + 2);
    return entry;
  }
  // One colon separates a port; more than one is an IPv6 address.
  const size_t colon = text.find(':');
  if (colon != std::string::npos && text.find(':', colon + 1) == std::string::npos) {
    entry.host = text.substr(0, colon);
    entry.port = text.substr(colon + 1);
  }
  return entry;
}

bool ipv4(const std::string& text, uint32_t* address) {
  in_addr parsed{};
  if (inet_pton(AF_INET, text.c_str(), &parsed) != 1) return false;
  *address = ntohl(parsed.s_addr);
  return true;
}

bool ipv6(const std::string& text, in6_addr* address) {
  return inet_pton(AF_INET6, text.c_str(), address) == 1;
}

// An address entry, with an optional IPv4 prefix length; false when the
// entry is no address at all (then it is a name).
bool address_matches(const std::string& entry, const std::string& host, bool* is_address) {
  const size_t slash = entry.find('/');
  const std::string address = entry.substr(0, slash);
  uint32_t want4 = 0, have4 = 0;
  in6_addr want6{}, have6{};
  if (ipv4(address, &want4)) {
    *is_address = true;
    if (!ipv4(host, &have4)) return false;
    if (slash == std::string::npos) return want4 == have4;
    const std::string bits_text = entry.substr(slash + 1);
    if (!all_digits(bits_text) || bits_text.size() > 2) return false;
    const int bits = std::atoi(bits_text.c_str());
    if (bits > 32) return false;
    const uint32_t mask = bits == 0 ? 0 : ~uint32_t{0} << (32 - bits);
    return (want4 & mask) == (have4 & mask);
  }
  if (slash == std::string::npos && ipv6(address, &want6)) {
    *is_address = true;
    return ipv6(host, &have6) && std::memcmp(&want6, &have6, sizeof want6) == 0;
  }
  *is_address = false;
  return false;
}

// The name itself or any name below it.
bool name_matches(std::string entry, const std::string& host) {
  if (entry.rfind("*.", 0) == 0)
    entry.erase(0, 2);
  else if (entry.rfind('.', 0) == 0)
    entry.erase(0, 1);
  if (entry.empty()) return false;
  if (host == entry) return true;
  return host.size() > entry.size() && host.compare(host.size() - entry.size(), entry.size(), entry) == 0 &&
         host[host.size() - entry.size() - 1] == '.';
}

bool entry_matches(const std::string& text, const std::string& host, const char* port) {
  if (text == "*") return true;
  Entry entry = split_entry(text);
  if (!entry.port.empty() && (!port || !all_digits(entry.port) || std::atol(entry.port.c_str()) != std::atol(port)))
    return false;
  bool is_address = false;
  if (address_matches(entry.host, host, &is_address)) return true;
  return !is_address && name_matches(lower(entry.host), host);
}

}  // namespace

bool qelproxy_bypassed(const char* list, const char* host, const char* port) {
  if (!list || !host || !*host) return false;
  std::string name = lower(host);
  if (name.size() > 1 && name.back() == '.') name.pop_back();
  const std::string text = list;
  size_t start = 0;
  while (start <= text.size()) {
    size_t comma = text.find(',', start);
    if (comma == std::string::npos) comma = text.size();
    const std::string entry = trimmed(text.substr(start, comma - start));
    if (!entry.empty() && entry_matches(entry, name, port)) return true;
    start = comma + 1;
  }
  return false;
}
