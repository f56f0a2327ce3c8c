// PDF syntax into a byte buffer: integers through std::to_chars, reals as
// fixed decimals made from integers, names, strings and references. Content
// streams of long tables are millions of numbers, so nothing goes through
// printf and its locale.
#pragma once

#include <charconv>
#include <cstdint>
#include <string>
#include <string_view>

class PdfBytes {
 public:
  std::string& str() { return data_; }
  const std::string& str() const { return data_; }
  size_t size() const { return data_.size(); }
  void clear() { data_.clear(); }

  PdfBytes& put(std::string_view text) {
    data_.append(text);
    return *this;
  }
  PdfBytes& put(char c) {
    data_.push_back(c);
    return *this;
  }
  PdfBytes& num(int64_t value) {
    char buffer[24];
    const auto end = std::to_chars(buffer, buffer + sizeof buffer, value).ptr;
    data_.append(buffer, end);
    return *this;
  }
  // Several integers, each followed by a space.
  template <typename... Ints>
  PdfBytes& nums(Ints... values) {
    char buffer[24 * sizeof...(values)];
    char* p = buffer;
    ((p = std::to_chars(p, buffer + sizeof buffer, static_cast<int64_t>(values)).ptr, *p++ = ' '),
     ...);
    data_.append(buffer, p);
    return *this;
  }
  // A real with at most `decimals` digits after the point, trailing zeros
  // dropped ("0.12", "612", "-0.5").
  PdfBytes& real(double value, int decimals = 4);
  // "/Name", delimiters and bytes outside the printable range as #XX.
  PdfBytes& name(std::string_view text);
  // "(text)" with the bytes that need it escaped.
  PdfBytes& literal(std::string_view bytes);
  // "<hex>".
  PdfBytes& hex(std::string_view bytes);
  PdfBytes& ref(int object) {
    num(object);
    return put(" 0 R");
  }

 private:
  std::string data_;
};
