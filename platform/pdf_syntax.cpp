// PDF syntax; see pdf_syntax.h.
#include "platform/pdf_syntax.h"

#include <cmath>

PdfBytes& PdfBytes::real(double value, int decimals) {
  static constexpr int64_t kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
  if (decimals < 0) decimals = 0;
  if (decimals > 6) decimals = 6;
  if (!std::isfinite(value) || std::fabs(value) > 1e12) value = 0;
  int64_t scaled = std::llround(value * static_cast<double>(kScale[decimals]));
  if (scaled < 0) {
    put('-');
    scaled = -scaled;
  }
  num(scaled / kScale[decimals]);
  int64_t fraction = scaled % kScale[decimals];
  if (fraction == 0) return *this;
  while (fraction % 10 == 0) {
    fraction /= 10;
    --decimals;
  }
  char digits[8];
  for (int i = decimals - 1; i >= 0; --i) {
    digits[i] = static_cast<char>('0' + fraction % 10);
    fraction /= 10;
  }
  put('.');
  data_.append(digits, static_cast<size_t>(decimals));
  return *this;
}

PdfBytes& PdfBytes::name(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  put('/');
  for (unsigned char c : text) {
    const bool plain = c > 0x20 && c < 0x7F && c != '#' && c != '/' && c != '(' && c != ')' && c != '<' && c != '>' &&
                       c != '[' && c != ']' && c != '{' && c != '}' && c != '%';
    if (plain) {
      put(static_cast<char>(c));
    } else {
      put('#').put(kHex[c >> 4]).put(kHex[c & 0xF]);
    }
  }
  return *this;
}

PdfBytes& PdfBytes::literal(std::string_view bytes) {
  put('(');
  for (char c : bytes) {
    if (c == '(' || c == ')' || c == '\\') put('\\');
    if (c == '\r') {
      put("\\r");  // a bare CR in a string would be read as a line end
      continue;
    }
    put(c);
  }
  return put(')');
}

PdfBytes& PdfBytes::hex(std::string_view bytes) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  put('<');
  for (unsigned char c : bytes) put(kHex[c >> 4]).put(kHex[c & 0xF]);
  return put('>');
}
