// Text format of a registry tree file: parsing that tolerates damage and the
// writer that produces what the parser reads back unchanged.
#include "platform/registry_store.h"

#include <cstdio>
#include <cstring>

namespace registry_store {

namespace {

char lower(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

int hex_digit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

void append_escaped(std::string& out, const unsigned char* data, size_t length) {
  static const char digits[] = "0123456789abcdef";
  for (size_t i = 0; i < length; ++i) {
    unsigned char c = data[i];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || c == 0x7f) {
      out += "\\x";
      out += digits[c >> 4];
      out += digits[c & 15];
    } else {
      out += static_cast<char>(c);
    }
  }
}

// Reads a quoted string starting at text[pos] == '"'; pos ends after the
// closing quote. False when the string is not closed or an escape is bad.
bool read_quoted(const std::string& text, size_t& pos, std::string& out) {
  if (pos >= text.size() || text[pos] != '"') return false;
  ++pos;
  out.clear();
  while (pos < text.size()) {
    char c = text[pos++];
    if (c == '"') return true;
    if (c != '\\') {
      out += c;
      continue;
    }
    if (pos >= text.size()) return false;
    char e = text[pos++];
    if (e == 'x') {
      if (pos + 2 > text.size()) return false;
      int hi = hex_digit(text[pos]), lo = hex_digit(text[pos + 1]);
      if (hi < 0 || lo < 0) return false;
      out += static_cast<char>(hi * 16 + lo);
      pos += 2;
    } else if (e == '"' || e == '\\') {
      out += e;
    } else {
      return false;
    }
  }
  return false;
}

bool parse_value_data(const std::string& text, size_t pos, Value& value) {
  if (pos < text.size() && text[pos] == '"') {
    std::string s;
    if (!read_quoted(text, pos, s) || pos != text.size()) return false;
    value.type = 1;  // string with its terminator
    value.data.assign(s.begin(), s.end());
    value.data.push_back(0);
    return true;
  }
  std::string rest = text.substr(pos);
  if (rest.rfind("dword:", 0) == 0) {
    std::string digits = rest.substr(6);
    if (digits.empty() || digits.size() > 8) return false;
    uint32_t v = 0;
    for (char c : digits) {
      int d = hex_digit(c);
      if (d < 0) return false;
      v = v * 16 + static_cast<uint32_t>(d);
    }
    value.type = 4;
    value.data = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                  static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    return true;
  }
  if (rest.rfind("hex(", 0) == 0) {
    size_t close = rest.find("):");
    if (close == std::string::npos || close == 4 || close > 14) return false;
    uint32_t type = 0;
    for (size_t i = 4; i < close; ++i) {
      if (rest[i] < '0' || rest[i] > '9') return false;
      type = type * 10 + static_cast<uint32_t>(rest[i] - '0');
    }
    value.type = type;
    value.data.clear();
    size_t i = close + 2;
    while (i < rest.size()) {
      if (i + 2 > rest.size()) return false;
      int hi = hex_digit(rest[i]), lo = hex_digit(rest[i + 1]);
      if (hi < 0 || lo < 0) return false;
      value.data.push_back(static_cast<unsigned char>(hi * 16 + lo));
      i += 2;
      if (i < rest.size()) {
        if (rest[i] != ',') return false;
        ++i;
      }
    }
    return true;
  }
  return false;
}

void put_value(Key& key, Value value) {
  for (Value& v : key.values) {
    if (same_text(v.name, value.name)) {
      v = std::move(value);
      return;
    }
  }
  key.values.push_back(std::move(value));
}

}  // namespace

std::string fold(const std::string& text) {
  std::string out(text);
  for (char& c : out) c = lower(c);
  return out;
}

bool same_text(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (lower(a[i]) != lower(b[i])) return false;
  return true;
}

std::string normalize_path(const char* path) {
  std::string out;
  if (!path) return out;
  const char* p = path;
  while (*p) {
    while (*p == '\\') ++p;
    const char* start = p;
    while (*p && *p != '\\') ++p;
    if (p > start) {
      if (!out.empty()) out += '\\';
      out.append(start, static_cast<size_t>(p - start));
    }
  }
  return out;
}

Tree parse(const std::string& text) {
  Tree tree;
  Key* current = nullptr;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == ';') continue;
    if (line[0] == '[' && line.back() == ']' && line.size() > 2) {
      std::string path = normalize_path(line.substr(1, line.size() - 2).c_str());
      if (path.empty()) {
        current = nullptr;
        continue;
      }
      Key& key = tree[fold(path)];
      if (key.path.empty()) key.path = path;
      current = &key;
      continue;
    }
    if (!current) continue;
    Value value;
    size_t pos = 0;
    if (line[0] == '@') {
      pos = 1;
    } else if (!read_quoted(line, pos, value.name) || value.name.empty()) {
      continue;
    }
    if (pos >= line.size() || line[pos] != '=') continue;
    if (parse_value_data(line, pos + 1, value)) put_value(*current, std::move(value));
  }
  return tree;
}

std::string serialize(const Tree& tree) {
  std::string out = "; Tessel settings. Written by the program; edits are kept when they parse.\n";
  for (const auto& [folded, key] : tree) {
    out += '\n';
    out += '[' + key.path + "]\n";
    for (const Value& v : key.values) {
      if (v.name.empty()) {
        out += '@';
      } else {
        out += '"';
        append_escaped(out, reinterpret_cast<const unsigned char*>(v.name.data()), v.name.size());
        out += '"';
      }
      out += '=';
      bool plain_string = v.type == 1 && !v.data.empty() && v.data.back() == 0 &&
                          std::memchr(v.data.data(), 0, v.data.size() - 1) == nullptr;
      if (plain_string) {
        out += '"';
        append_escaped(out, v.data.data(), v.data.size() - 1);
        out += '"';
      } else if (v.type == 4 && v.data.size() == 4) {
        char buf[16];
        uint32_t n = v.data[0] | (v.data[1] << 8) | (v.data[2] << 16) | (static_cast<uint32_t>(v.data[3]) << 24);
        std::snprintf(buf, sizeof buf, "dword:%08x", n);
        out += buf;
      } else {
        out += "hex(" + std::to_string(v.type) + "):";
        char buf[4];
        for (size_t i = 0; i < v.data.size(); ++i) {
          std::snprintf(buf, sizeof buf, i ? ",%02x" : "%02x", v.data[i]);
          out += buf;
        }
      }
      out += '\n';
    }
  }
  return out;
}

}  // namespace registry_store
