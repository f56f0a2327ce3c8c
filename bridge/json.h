// JSON values as the bridge exchanges them with web pages: a strict parser
// for request bodies (bounded depth, valid UTF-8 only) and the quoting the
// answers need.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

class JsonValue {
 public:
  using Array = std::vector<JsonValue>;
  using Member = std::pair<std::string, JsonValue>;
  using Object = std::vector<Member>;  // in the order written; names are unique

  JsonValue() = default;
  explicit JsonValue(bool b) : value_(b) {}
  explicit JsonValue(double n) : value_(n) {}
  explicit JsonValue(std::string s) : value_(std::move(s)) {}
  explicit JsonValue(Array a) : value_(std::move(a)) {}
  explicit JsonValue(Object o) : value_(std::move(o)) {}

  bool is_null() const { return std::holds_alternative<std::monostate>(value_); }
  bool is_bool() const { return std::holds_alternative<bool>(value_); }
  bool is_number() const { return std::holds_alternative<double>(value_); }
  bool is_string() const { return std::holds_alternative<std::string>(value_); }
  bool is_array() const { return std::holds_alternative<Array>(value_); }
  bool is_object() const { return std::holds_alternative<Object>(value_); }

  bool as_bool() const { return std::get<bool>(value_); }
  double as_number() const { return std::get<double>(value_); }
  const std::string& as_string() const { return std::get<std::string>(value_); }
  const Array& as_array() const { return std::get<Array>(value_); }
  const Object& as_object() const { return std::get<Object>(value_); }

  // The member of an object by name; null when this is no object or has
  // no such member.
  const JsonValue* find(std::string_view name) const;

 private:
  std::variant<std::monostate, bool, double, std::string, Array, Object> value_;
};

// Nesting deeper than this is refused, so a hostile body cannot exhaust the
// stack.
inline constexpr int kJsonMaxDepth = 32;

// Parses one JSON text (surrounding white space allowed). On failure answers
// false and a message naming the problem and its byte offset.
bool json_parse(std::string_view text, JsonValue* out, std::string* error);

// The JSON string literal of UTF-8 text, quotes included. Bytes that are not
// valid UTF-8 become U+FFFD, so the answer is always valid JSON.
std::string json_quote(std::string_view utf8);

// Text between UTF-8 and the component's 8-bit code page (Windows-1252).
// Characters without an 8-bit form become '?'.
std::string utf8_to_cp1252(std::string_view utf8);
std::string cp1252_to_utf8(std::string_view text);
