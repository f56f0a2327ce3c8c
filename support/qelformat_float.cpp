// Floating-point conversions of the formatting engine. Digits come from the
// exact binary value: the integer part by repeated division by 10, the
// fraction by repeated multiplication by 10, the last digit rounded half up.
#include <cmath>
#include <cstdint>
#include <cstring>

#include "support/qelformat_internal.h"

namespace qelformat {
namespace {

constexpr int kMaxIntegerDigits = 80;
constexpr int kMaxPrecision = 78;
constexpr int kMaxBinaryExponent = 266;  // 2^266 > 10^80: more than 80 integer digits

// Exact decimal digits of a finite, non-negative double.
class Digits {
 public:
  explicit Digits(double v) {
    int exponent = 0;
    double m = std::frexp(v, &exponent);
    uint64_t mantissa = static_cast<uint64_t>(std::ldexp(m, 53));
    int e2 = exponent - 53;
    if (e2 >= 0) {
      if (exponent > kMaxBinaryExponent) {
        too_large_ = true;
        return;
      }
      integer_from_shift(mantissa, e2);
    } else {
      int k = -e2;
      uint64_t integer = k < 64 ? mantissa >> k : 0;
      uint64_t fraction = k < 64 ? mantissa & ((uint64_t{1} << k) - 1) : mantissa;
      integer_from_u64(integer);
      fraction_bits_ = k;
      if (k <= 60) {
        small_fraction_ = fraction;
      } else {
        big_ = true;
        limbs_ = k / 32 + 2;
        limb_[0] = static_cast<uint32_t>(fraction);
        limb_[1] = static_cast<uint32_t>(fraction >> 32);
      }
    }
    if (integer_length_ > kMaxIntegerDigits) too_large_ = true;
  }

  bool too_large() const { return too_large_; }
  // Integer digits, most significant first; empty for a zero integer part.
  const char* integer() const { return integer_ + sizeof integer_ - integer_length_; }
  int integer_length() const { return integer_length_; }

  int next_fraction_digit() {
    if (fraction_bits_ == 0) return 0;
    int k = fraction_bits_;
    if (!big_) {
      uint64_t t = small_fraction_ * 10;
      small_fraction_ = t & ((uint64_t{1} << k) - 1);
      return static_cast<int>(t >> k);
    }
    uint64_t carry = 0;
    for (int i = 0; i < limbs_; ++i) {
      uint64_t t = uint64_t{limb_[i]} * 10 + carry;
      limb_[i] = static_cast<uint32_t>(t);
      carry = t >> 32;
    }
    int li = k / 32, bi = k % 32;
    uint64_t top = ((uint64_t{limb_[li + 1]} << 32) | limb_[li]) >> bi;
    limb_[li] &= bi == 0 ? 0u : (1u << bi) - 1;
    limb_[li + 1] = 0;
    return static_cast<int>(top);
  }

 private:
  void integer_from_u64(uint64_t v) {
    char* p = integer_ + sizeof integer_;
    while (v != 0) {
      *--p = static_cast<char>('0' + v % 10);
      v /= 10;
    }
    integer_length_ = static_cast<int>(integer_ + sizeof integer_ - p);
  }

  // mantissa * 2^shift, at most 2^266.
  void integer_from_shift(uint64_t mantissa, int shift) {
    if (shift <= 10) {
      integer_from_u64(mantissa << shift);
      return;
    }
    uint32_t n[10] = {};
    int word = shift / 32, bit = shift % 32;
    unsigned __int128 wide = static_cast<unsigned __int128>(mantissa) << bit;
    for (int i = 0; i < 3 && word + i < 10; ++i) n[word + i] = static_cast<uint32_t>(wide >> (32 * i));
    int used = 10;
    char* p = integer_ + sizeof integer_;
    for (;;) {
      while (used > 0 && n[used - 1] == 0) --used;
      if (used == 0) break;
      uint64_t rest = 0;
      for (int i = used - 1; i >= 0; --i) {
        uint64_t cur = (rest << 32) | n[i];
        n[i] = static_cast<uint32_t>(cur / 10);
        rest = cur % 10;
      }
      if (p == integer_) {  // cannot happen below 2^266; guards the buffer
        too_large_ = true;
        break;
      }
      *--p = static_cast<char>('0' + rest);
    }
    integer_length_ = static_cast<int>(integer_ + sizeof integer_ - p);
  }

  char integer_[96];
  int integer_length_ = 0;
  bool too_large_ = false;
  int fraction_bits_ = 0;
  bool big_ = false;
  uint64_t small_fraction_ = 0;
  uint32_t limb_[40] = {};
  int limbs_ = 0;
};

// Adds one unit in the last place of digits[0..n); answers true when the
// carry ran out of the first digit (the digits are then all zeros).
bool round_up(char* digits, int n) {
  for (int i = n - 1; i >= 0; --i) {
    if (digits[i] != '9') {
      ++digits[i];
      return false;
    }
    digits[i] = '0';
  }
  return true;
}

// Integer digits and precision fraction digits, rounded. Answers the total
// count; *integer_length tells where the point goes.
int fixed_digits(Digits& digits, int precision, char* out, int* integer_length) {
  int n = digits.integer_length();
  if (n == 0) {
    out[0] = '0';
    n = 1;
  } else {
    std::memcpy(out, digits.integer(), static_cast<size_t>(n));
  }
  for (int i = 0; i < precision; ++i) out[n + i] = static_cast<char>('0' + digits.next_fraction_digit());
  int total = n + precision;
  if (digits.next_fraction_digit() >= 5 && round_up(out, total)) {
    std::memmove(out + 1, out, static_cast<size_t>(total));
    out[0] = '1';
    ++total;
    ++n;
  }
  *integer_length = n;
  return total;
}

// count significant digits, rounded; *k is the position of the point
// relative to the first digit (1 for values from 1 to 9.99...).
void significant_digits(double value, Digits& digits, int count, char* out, int* k) {
  if (value == 0) {
    std::memset(out, '0', static_cast<size_t>(count));
    *k = 1;
    return;
  }
  int have = 0;
  int next = 0;
  int n = digits.integer_length();
  if (n > 0) {
    *k = n;
    have = n < count ? n : count;
    std::memcpy(out, digits.integer(), static_cast<size_t>(have));
    next = n > count ? digits.integer()[count] - '0' : -1;
  } else {
    int zeros = 0;
    int d = digits.next_fraction_digit();
    for (; d == 0; d = digits.next_fraction_digit()) ++zeros;
    *k = -zeros;
    out[have++] = static_cast<char>('0' + d);
    next = -1;
  }
  if (next < 0) {
    while (have < count) out[have++] = static_cast<char>('0' + digits.next_fraction_digit());
    next = digits.next_fraction_digit();
  }
  if (next >= 5 && round_up(out, count)) {
    out[0] = '1';
    ++*k;
  }
}

char* put_exponent(char* p, char letter, int exponent, int min_digits) {
  *p++ = letter;
  *p++ = exponent < 0 ? '-' : '+';
  unsigned e = static_cast<unsigned>(exponent < 0 ? -exponent : exponent);
  char tmp[8];
  int n = 0;
  do {
    tmp[n++] = static_cast<char>('0' + e % 10);
    e /= 10;
  } while (e != 0);
  while (n < min_digits) tmp[n++] = '0';
  while (n > 0) *p++ = tmp[--n];
  return p;
}

}  // namespace

bool write_double(Writer& w, const Directive& d, double value) {
  if (!std::isfinite(value)) return write_padded(w, d, "", 0, "inf", 3);
  char sign[1];
  size_t sign_length = 0;
  if (value < 0)
    sign[sign_length++] = '-';
  else if (d.plus)
    sign[sign_length++] = '+';
  else if (d.space)
    sign[sign_length++] = ' ';
  double magnitude = std::fabs(value);
  Digits digits(magnitude);
  if (digits.too_large()) return write_padded(w, d, "", 0, "inf", 3);

  char out[2 * kMaxIntegerDigits + 8];
  char body[2 * kMaxIntegerDigits + 32];
  char* p = body;
  int precision = d.precision < 0 ? 6 : (d.precision > kMaxPrecision ? kMaxPrecision : d.precision);
  char c = d.conversion;
  if (c == 'f') {
    int integer_length = 0;
    int n = fixed_digits(digits, precision, out, &integer_length);
    std::memcpy(p, out, static_cast<size_t>(integer_length));
    p += integer_length;
    if (precision > 0 || d.alt) *p++ = '.';
    std::memcpy(p, out + integer_length, static_cast<size_t>(n - integer_length));
    p += n - integer_length;
  } else if (c == 'e' || c == 'E') {
    int k = 0;
    significant_digits(magnitude, digits, precision + 1, out, &k);
    *p++ = out[0];
    if (precision > 0 || d.alt) *p++ = '.';
    std::memcpy(p, out + 1, static_cast<size_t>(precision));
    p += precision;
    p = put_exponent(p, c, magnitude == 0 ? 0 : k - 1, 2);
  } else {  // g, G
    int count = precision == 0 ? 1 : precision;
    int k = 0;
    significant_digits(magnitude, digits, count, out, &k);
    int n = count;
    while (n > 1 && out[n - 1] == '0') --n;
    if (k - n > 4 || k < -3) {
      *p++ = out[0];
      *p++ = '.';
      std::memcpy(p, out + 1, static_cast<size_t>(n - 1));
      p += n - 1;
      p = put_exponent(p, c == 'G' ? 'E' : 'e', k - 1, 1);
    } else {
      if (k <= 0) {
        *p++ = '0';
        *p++ = '.';
        for (int i = 0; i < -k; ++i) *p++ = '0';
        std::memcpy(p, out, static_cast<size_t>(n));
        p += n;
      } else if (k < n) {
        std::memcpy(p, out, static_cast<size_t>(k));
        p += k;
        *p++ = '.';
        std::memcpy(p, out + k, static_cast<size_t>(n - k));
        p += n - k;
      } else {
        std::memcpy(p, out, static_cast<size_t>(n));
        p += n;
        for (int i = n; i < k; ++i) *p++ = '0';
        *p++ = '.';
      }
      bool has_point = std::memchr(body, '.', static_cast<size_t>(p - body)) != nullptr;
      if (p[-1] == '.' && !d.alt)
        --p;
      else if (!has_point && d.alt)
        *p++ = '.';
    }
  }
  return write_padded(w, d, sign, sign_length, body, static_cast<size_t>(p - body));
}

}  // namespace qelformat
