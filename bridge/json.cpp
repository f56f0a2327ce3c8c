// The strict JSON reader and the string quoting of the bridge.
#include "bridge/json.h"

#include <array>
#include <cstdlib>
#include <cstring>

#include "platform/cp1252.h"

namespace {

// Decodes one UTF-8 sequence at text[i]; answers its length, 0 when the
// bytes there are no valid sequence (overlong forms, surrogates and values
// above U+10FFFF included).
size_t decode_utf8(std::string_view text, size_t i, char32_t* code_point) {
  const unsigned char lead = static_cast<unsigned char>(text[i]);
  size_t length;
  char32_t value;
  if (lead < 0x80) {
    *code_point = lead;
    return 1;
  } else if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    value = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    value = lead & 0x0F;
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    value = lead & 0x07;
  } else {
    return 0;
  }
  if (text.size() - i < length) return 0;
  for (size_t k = 1; k < length; ++k) {
    const unsigned char c = static_cast<unsigned char>(text[i + k]);
    if ((c & 0xC0) != 0x80) return 0;
    value = (value << 6) | (c & 0x3F);
  }
  static constexpr char32_t kSmallest[] = {0, 0, 0x80, 0x800, 0x10000};
  if (value < kSmallest[length] || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) return 0;
  *code_point = value;
  return length;
}

class Parser {
 public:
  explicit Parser(std::string_view text) : text_(text) {}

  bool parse(JsonValue* out, std::string* error) {
    skip_space();
    if (!value(out, 0)) return fail_into(error);
    skip_space();
    if (pos_ != text_.size()) {
      problem_ = "unexpected text after the value";
      return fail_into(error);
    }
    return true;
  }

 private:
  bool fail_into(std::string* error) {
    if (error != nullptr) *error = problem_ + " at offset " + std::to_string(pos_);
    return false;
  }

  bool fail(const char* problem) {
    problem_ = problem;
    return false;
  }

  void skip_space() {
    while (pos_ < text_.size() && std::strchr(" \t\r\n", text_[pos_]) != nullptr && text_[pos_] != '\0') ++pos_;
  }

  bool literal(const char* word) {
    const size_t n = std::strlen(word);
    if (text_.substr(pos_, n) != word) return fail("unknown literal");
    pos_ += n;
    return true;
  }

  bool value(JsonValue* out, int depth) {
    if (pos_ >= text_.size()) return fail("unexpected end of input");
    switch (text_[pos_]) {
      case '{': return object(out, depth + 1);
      case '[': return array(out, depth + 1);
      case '"': {
        std::string s;
        if (!string(&s)) return false;
        *out = JsonValue(std::move(s));
        return true;
      }
      case 't': *out = JsonValue(true); return literal("true");
      case 'f': *out = JsonValue(false); return literal("false");
      case 'n': *out = JsonValue(); return literal("null");
      default: return number(out);
    }
  }

  bool object(JsonValue* out, int depth) {
    if (depth > kJsonMaxDepth) return fail("nesting too deep");
    ++pos_;
    JsonValue::Object members;
    skip_space();
    if (pos_ < text_.size() && text_[pos_] == '}') {
      ++pos_;
      *out = JsonValue(std::move(members));
      return true;
    }
    for (;;) {
      skip_space();
      if (pos_ >= text_.size() || text_[pos_] != '"') return fail("expected a member name");
      std::string name;
      if (!string(&name)) return false;
      for (const auto& member : members)
        if (member.first == name) return fail("duplicate member name");
      skip_space();
      if (pos_ >= text_.size() || text_[pos_] != ':') return fail("expected ':'");
      ++pos_;
      skip_space();
      JsonValue member;
      if (!value(&member, depth)) return false;
      members.emplace_back(std::move(name), std::move(member));
      skip_space();
      if (pos_ < text_.size() && text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (pos_ < text_.size() && text_[pos_] == '}') {
        ++pos_;
        *out = JsonValue(std::move(members));
        return true;
      }
      return fail("expected ',' or '}'");
    }
  }

  bool array(JsonValue* out, int depth) {
    if (depth > kJsonMaxDepth) return fail("nesting too deep");
    ++pos_;
    JsonValue::Array items;
    skip_space();
    if (pos_ < text_.size() && text_[pos_] == ']') {
      ++pos_;
      *out = JsonValue(std::move(items));
      return true;
    }
    for (;;) {
      skip_space();
      JsonValue item;
      if (!value(&item, depth)) return false;
      items.push_back(std::move(item));
      skip_space();
      if (pos_ < text_.size() && text_[pos_] == ',') {
        ++pos_;
        continue;
      }
      if (pos_ < text_.size() && text_[pos_] == ']') {
        ++pos_;
        *out = JsonValue(std::move(items));
        return true;
      }
      return fail("expected ',' or ']'");
    }
  }

  bool hex4(char32_t* value) {
    if (text_.size() - pos_ < 4) return fail("short \\u escape");
    *value = 0;
    for (int k = 0; k < 4; ++k) {
      const char c = text_[pos_++];
      int digit;
      if (c >= '0' && c <= '9')
        digit = c - '0';
      else if (c >= 'a' && c <= 'f')
        digit = c - 'a' + 10;
      else if (c >= 'A' && c <= 'F')
        digit = c - 'A' + 10;
      else
        return fail("bad \\u escape");
      *value = *value * 16 + static_cast<char32_t>(digit);
    }
    return true;
  }

  bool escape(std::string* out) {
    if (pos_ >= text_.size()) return fail("unterminated string");
    const char c = text_[pos_++];
    switch (c) {
      case '"':
      case '\\':
      case '/': *out += c; return true;
      case 'b': *out += '\b'; return true;
      case 'f': *out += '\f'; return true;
      case 'n': *out += '\n'; return true;
      case 'r': *out += '\r'; return true;
      case 't': *out += '\t'; return true;
      case 'u': {
        char32_t unit;
        if (!hex4(&unit)) return false;
        if (unit >= 0xDC00 && unit <= 0xDFFF) return fail("lone low surrogate");
        if (unit >= 0xD800 && unit <= 0xDBFF) {
          char32_t low;
          if (text_.substr(pos_, 2) != "\\u") return fail("lone high surrogate");
          pos_ += 2;
          if (!hex4(&low)) return false;
          if (low < 0xDC00 || low > 0xDFFF) return fail("lone high surrogate");
          unit = 0x10000 + ((unit - 0xD800) << 10) + (low - 0xDC00);
        }
        append_utf8(*out, unit);
        return true;
      }
      default: --pos_; return fail("unknown escape");
    }
  }

  bool string(std::string* out) {
    ++pos_;  // the opening quote
    for (;;) {
      if (pos_ >= text_.size()) return fail("unterminated string");
      const unsigned char c = static_cast<unsigned char>(text_[pos_]);
      if (c == '"') {
        ++pos_;
        return true;
      }
      if (c == '\\') {
        ++pos_;
        if (!escape(out)) return false;
        continue;
      }
      if (c < 0x20) return fail("control character in string");
      char32_t ignored;
      const size_t n = decode_utf8(text_, pos_, &ignored);
      if (n == 0) return fail("invalid UTF-8");
      out->append(text_.substr(pos_, n));
      pos_ += n;
    }
  }

  bool digits() {
    const size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] >= '0' && text_[pos_] <= '9') ++pos_;
    return pos_ > start;
  }

  bool number(JsonValue* out) {
    const size_t start = pos_;
    if (pos_ < text_.size() && text_[pos_] == '-') ++pos_;
    if (pos_ < text_.size() && text_[pos_] == '0')
      ++pos_;
    else if (!digits())
      return fail(pos_ == start ? "unexpected character" : "bad number");
    if (pos_ < text_.size() && text_[pos_] == '.') {
      ++pos_;
      if (!digits()) return fail("bad number");
    }
    if (pos_ < text_.size() && (text_[pos_] == 'e' || text_[pos_] == 'E')) {
      ++pos_;
      if (pos_ < text_.size() && (text_[pos_] == '+' || text_[pos_] == '-')) ++pos_;
      if (!digits()) return fail("bad number");
    }
    // strtod needs a terminated copy; the grammar above bounds what it sees.
    const std::string copy(text_.substr(start, pos_ - start));
    *out = JsonValue(std::strtod(copy.c_str(), nullptr));
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
  std::string problem_;
};

}  // namespace

const JsonValue* JsonValue::find(std::string_view name) const {
  if (!is_object()) return nullptr;
  for (const Member& member : as_object())
    if (member.first == name) return &member.second;
  return nullptr;
}

bool json_parse(std::string_view text, JsonValue* out, std::string* error) {
  JsonValue parsed;
  if (!Parser(text).parse(&parsed, error)) return false;
  *out = std::move(parsed);
  return true;
}

std::string json_quote(std::string_view utf8) {
  static const char hex[] = "0123456789abcdef";
  std::string out = "\"";
  for (size_t i = 0; i < utf8.size();) {
    const unsigned char c = static_cast<unsigned char>(utf8[i]);
    char32_t code_point;
    const size_t n = decode_utf8(utf8, i, &code_point);
    if (n == 0) {
      out += "\xEF\xBF\xBD";
      ++i;
      continue;
    }
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F || c == '<' || c == '>' || c == '&') {
      // Markup characters are escaped too, so an answer shown in a page
      // can never close a script element.
      out += "\\u00";
      out += hex[c >> 4];
      out += hex[c & 15];
    } else {
      out.append(utf8.substr(i, n));
    }
    i += n;
  }
  out += '"';
  return out;
}

std::string utf8_to_cp1252(std::string_view utf8) {
  static const std::array<std::pair<char32_t, unsigned char>, 32> high = [] {
    std::array<std::pair<char32_t, unsigned char>, 32> table{};
    for (int b = 0x80; b < 0xA0; ++b)
      table[b - 0x80] = {cp1252_to_unicode(static_cast<unsigned char>(b)), static_cast<unsigned char>(b)};
    return table;
  }();
  std::string out;
  for (size_t i = 0; i < utf8.size();) {
    char32_t code_point;
    size_t n = decode_utf8(utf8, i, &code_point);
    if (n == 0) {
      out += '?';
      ++i;
      continue;
    }
    i += n;
    if (code_point < 0x80 || (code_point >= 0xA0 && code_point <= 0xFF)) {
      out += static_cast<char>(code_point);
      continue;
    }
    char mapped = '?';
    for (const auto& [unicode, byte] : high)
      if (unicode == code_point) mapped = static_cast<char>(byte);
    out += mapped;
  }
  return out;
}

std::string cp1252_to_utf8(std::string_view text) {
  std::string out;
  for (const char c : text) append_utf8(out, cp1252_to_unicode(static_cast<unsigned char>(c)));
  return out;
}
