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
    data_.append(buffer, format_int(buffer, value));
    return *this;
  }
  // Writes the decimal digits of value at p (room for 21 bytes); answers
  // the end. Coordinates are mostly below 10000, which take a fast path.
  static char* format_int(char* p, int64_t value) {
    if (value >= 0 && value < 10000) {
      static constexpr char kPairs[] =
          "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
          "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
          "8081828384858687888990919293949596979899";
      const int v = static_cast<int>(value);
      if (v < 10) {
        *p++ = static_cast<char>('0' + v);
      } else if (v < 100) {
        *p++ = kPairs[2 * v];
        *p++ = kPairs[2 * v + 1];
      } else if (v < 1000) {
        *p++ = static_cast<char>('0' + v / 100);
        *p++ = kPairs[2 * (v % 100)];
        *p++ = kPairs[2 * (v % 100) + 1];
      } else {
        *p++ = kPairs[2 * (v / 100)];
        *p++ = kPairs[2 * (v / 100) + 1];
        *p++ = kPairs[2 * (v % 100)];
        *p++ = kPairs[2 * (v % 100) + 1];
      }
      return p;
    }
    return std::to_chars(p, p + 21, value).ptr;
  }
  // Several integers, each followed by a space, then an operator: one
  // append for a whole content stream operation.
  template <typename... Ints>
  PdfBytes& op(std::string_view name, Ints... values) {
    char buffer[24 * sizeof...(values) + 16];
    char* p = buffer;
    ((p = format_int(p, static_cast<int64_t>(values)), *p++ = ' '), ...);
    if (name.size() <= 16) {
      for (char c : name) *p++ = c;
      data_.append(buffer, p);
    } else {
      data_.append(buffer, p).append(name);
    }
    return *this;
  }
  template <typename... Ints>
  PdfBytes& nums(Ints... values) {
    return op({}, values...);
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
