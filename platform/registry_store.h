// In-memory form of one registry tree file, its text format, and the
// environment-derived Internet Settings values shown beside the stored ones.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace registry_store {

struct Value {
  std::string name;  // empty = the key's unnamed value
  uint32_t type = 0;
  std::vector<unsigned char> data;
};

struct Key {
  std::string path;  // as first created, levels joined by '\'
  std::vector<Value> values;
};

// Keys by their folded path (ASCII lower case), so lookups ignore case and
// a key's subkeys follow it in order.
using Tree = std::map<std::string, Key>;

// Joins the non-empty levels of path with single '\'. Empty result = the root.
std::string normalize_path(const char* path);
std::string fold(const std::string& text);
bool same_text(const std::string& a, const std::string& b);  // ignoring ASCII case

// Text form: "[path]" lines open a key; value lines are "@=" or "\"name\"="
// followed by "\"text\"", "dword:XXXXXXXX" or "hex(T):aa,bb,...". Lines that
// do not parse are skipped, so a damaged file loses only those lines.
Tree parse(const std::string& text);
std::string serialize(const Tree& tree);

// Values the current user's Internet Settings key shows when the store holds
// none of them, derived from http_proxy, https_proxy and no_proxy (either
// case): ProxyEnable, ProxyServer with an entry for each scheme that has a
// proxy ("http=HOST:PORT;https=HOST:PORT"), and NoProxy, the no_proxy list
// as the environment gives it (comma-separated). Empty when the environment
// names no proxy.
std::vector<Value> environment_proxy_values();
bool is_internet_settings(const std::string& normalized_path);

}  // namespace registry_store
