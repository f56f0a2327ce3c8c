// The formatting engine's directive parser, its integer and text
// conversions, and the buffer, length, allocating and stream front ends.
#include "support/qelformat.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "support/qelformat_internal.h"

namespace {

using qelformat::Directive;
using qelformat::Writer;

std::atomic<char> quote_char{'\''};
std::atomic<char> escape_char{'\\'};
std::atomic<char> escape_escape_char{'\\'};

enum class Length { normal, long_, long_long, wide };  // wide: z, j, t

bool is_lower(char c) {
  return c >= 'a' && c <= 'z';
}
bool is_letter(char c) {
  return is_lower(c) || (c >= 'A' && c <= 'Z');
}
bool is_digit(char c) {
  return c >= '0' && c <= '9';
}

// Reads decimal digits, saturating instead of overflowing.
int read_number(const char*& p) {
  int n = 0;
  for (; is_digit(*p); ++p) n = n > (INT_MAX - 9) / 10 ? INT_MAX : n * 10 + (*p - '0');
  return n;
}

// Digits of value in the given base, written backwards from the end of buf.
// Answers the first digit.
char* to_digits(uint64_t value, unsigned base, const char* alphabet, char* buf_end) {
  char* p = buf_end;
  do {
    *--p = alphabet[value % base];
    value /= base;
  } while (value != 0);
  return p;
}

bool write_integer(Writer& w, const Directive& d, uint64_t magnitude, bool negative) {
  char buf[32];
  char* end = buf + sizeof buf;
  const char* alphabet = d.conversion == 'X' ? "0123456789ABCDEF" : "0123456789abcdef";
  unsigned base = 10;
  if (d.conversion == 'o') base = 8;
  if (d.conversion == 'x' || d.conversion == 'X') base = 16;
  char* digits = to_digits(magnitude, base, alphabet, end);
  long long ndigits = end - digits;
  long long zeros = d.precision > ndigits ? d.precision - ndigits : 0;

  char sign[2];
  size_t sign_length = 0;
  bool is_signed = d.conversion == 'd' || d.conversion == 'i';
  if (is_signed && negative)
    sign[sign_length++] = '-';
  else if (is_signed && d.plus)
    sign[sign_length++] = '+';
  else if (is_signed && d.space)
    sign[sign_length++] = ' ';

  // The alternate prefix belongs to the converted text: zero padding from
  // the width goes in front of it.
  const char* prefix = "";
  if (d.alt && base == 16 && magnitude != 0) prefix = d.conversion == 'X' ? "0X" : "0x";
  if (d.alt && base == 8 && zeros == 0 && digits[0] != '0') prefix = "0";
  long long prefix_length = static_cast<long long>(std::strlen(prefix));

  long long pad = d.width - (static_cast<long long>(sign_length) + prefix_length + zeros + ndigits);
  char pad_char = d.zero ? '0' : ' ';
  if (!d.left && !d.zero && !w.repeat(' ', pad)) return false;
  if (!w.write(sign, sign_length)) return false;
  if (!d.left && d.zero && !w.repeat('0', pad)) return false;
  if (!w.write(prefix, static_cast<size_t>(prefix_length)) || !w.repeat('0', zeros) ||
      !w.write(digits, static_cast<size_t>(ndigits)))
    return false;
  return !d.left || w.repeat(pad_char, pad);
}

bool write_text(Writer& w, const Directive& d, const char* text) {
  if (!text) text = "(null)";
  // Never look further than the precision: the text need not be terminated.
  size_t length = d.precision >= 0 ? strnlen(text, static_cast<size_t>(d.precision)) : std::strlen(text);
  return qelformat::write_padded(w, d, "", 0, text, length, false);
}

// Holds the argument list so that it can be passed on by reference.
struct Arguments {
  va_list list;
};

int64_t signed_argument(Arguments& a, Length length) {
  switch (length) {
    case Length::long_: return va_arg(a.list, long);
    case Length::long_long: return va_arg(a.list, long long);
    case Length::wide: return va_arg(a.list, intptr_t);
    default: return va_arg(a.list, int);
  }
}

uint64_t unsigned_argument(Arguments& a, Length length) {
  switch (length) {
    case Length::long_: return va_arg(a.list, unsigned long);
    case Length::long_long: return va_arg(a.list, unsigned long long);
    case Length::wide: return va_arg(a.list, uintptr_t);
    default: return va_arg(a.list, unsigned);
  }
}

void store_count(Arguments& a, Length length, long long count) {
  switch (length) {
    case Length::long_: *va_arg(a.list, long*) = static_cast<long>(count); break;
    case Length::long_long: *va_arg(a.list, long long*) = count; break;
    case Length::wide: *va_arg(a.list, intptr_t*) = static_cast<intptr_t>(count); break;
    default: *va_arg(a.list, int*) = count > INT_MAX ? INT_MAX : static_cast<int>(count); break;
  }
}

bool write_pointer(Writer& w, const Directive& d, const void* pointer) {
  char buf[24];
  char* end = buf + sizeof buf;
  char* digits = to_digits(reinterpret_cast<uintptr_t>(pointer), 16, "0123456789abcdef", end);
  return qelformat::write_padded(w, d, "", 0, digits, static_cast<size_t>(end - digits), false);
}

// One directive, p pointing just after the "%". Answers false once the
// writer has stopped; p is left after the directive.
bool directive(Writer& w, const char*& p, Arguments& args, char& html_previous) {
  Directive d;
  if (!is_lower(*p)) {
    for (;; ++p) {
      if (*p == '-')
        d.left = true;
      else if (*p == '+')
        d.plus = true;
      else if (*p == ' ')
        d.space = true;
      else if (*p == '#')
        d.alt = true;
      else if (*p == '0')
        d.zero = true;
      else
        break;
    }
    if (*p == '*') {
      ++p;
      int width = va_arg(args.list, int);
      if (width < 0) {
        d.left = true;
        width = width == INT_MIN ? INT_MAX : -width;
      }
      d.width = width;
    } else {
      d.width = read_number(p);
    }
    if (*p == '.') {
      ++p;
      if (*p == '*') {
        ++p;
        int precision = va_arg(args.list, int);
        d.precision = precision < 0 ? 0 : precision;
      } else {
        d.precision = read_number(p);
      }
    }
  }
  Length length = Length::normal;
  for (;; ++p) {
    if (*p == 'h') continue;
    if (*p == 'l') {
      length = length == Length::long_ ? Length::long_long : Length::long_;
      continue;
    }
    if (*p == 'z' || *p == 'j' || *p == 't') {
      length = Length::wide;
      continue;
    }
    break;
  }
  d.conversion = *p;
  if (d.conversion == '\0') return true;  // a directive cut by the end of the format prints nothing
  ++p;
  switch (d.conversion) {
    case 'd':
    case 'i': {
      int64_t v = signed_argument(args, length);
      uint64_t magnitude = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
      return write_integer(w, d, magnitude, v < 0);
    }
    case 'u':
    case 'o':
    case 'x':
    case 'X': return write_integer(w, d, unsigned_argument(args, length), false);
    case 'c': {
      char c = static_cast<char>(va_arg(args.list, int));
      return qelformat::write_padded(w, d, "", 0, &c, 1, false);
    }
    case 's': return write_text(w, d, va_arg(args.list, const char*));
    case 'f':
    case 'e':
    case 'E':
    case 'g':
    case 'G': return qelformat::write_double(w, d, va_arg(args.list, double));
    case 'n': store_count(args, length, w.count()); return true;
    case '%': return w.put('%');
    case 'p': {
      char letter = *p;
      if (!is_letter(letter)) return write_pointer(w, d, va_arg(args.list, const void*));
      ++p;
      if (letter == 'p') return write_pointer(w, d, va_arg(args.list, const void*));
      if (!qelformat::is_extension_letter(letter)) return qelformat::write_padded(w, d, "", 0, "bogus %p", 8, false);
      char sub = 0;
      if (letter == 'j' && *p != '\0') sub = *p++;
      return qelformat::write_extension(w, d, letter, sub, va_arg(args.list, const void*), html_previous);
    }
    default: {
      char both[2] = {'%', d.conversion};
      return w.write(both, 2);
    }
  }
}

int clamp_count(long long count) {
  return count > INT_MAX ? INT_MAX : static_cast<int>(count);
}

// Sink state of the bounded buffer: stop as soon as it is full.
int stop_flush(QELFormatSink*) {
  return 1;
}

// Sink of the length count and the stream: a scratch buffer that is emptied
// whenever it fills.
struct ScratchSink {
  QELFormatSink sink;
  char buffer[1024];
  FILE* stream = nullptr;
  bool failed = false;

  explicit ScratchSink(FILE* out) : stream(out) { reset(); }
  void reset() {
    sink.pos = buffer;
    sink.end = buffer + sizeof buffer - 1;
    sink.context = this;
  }
  // Writes what has been collected and flushes the stream.
  bool drain() {
    size_t n = static_cast<size_t>(sink.pos - buffer);
    if (stream && n > 0 && std::fwrite(buffer, 1, n, stream) != n) failed = true;
    if (stream && n > 0 && std::fflush(stream) != 0) failed = true;
    reset();
    return !failed;
  }
};

int scratch_flush(QELFormatSink* sink) {
  static_cast<ScratchSink*>(sink->context)->drain();
  return 0;
}

}  // namespace

int QELFormat(QELFormatFlush flush, QELFormatSink* sink, const char* format, va_list args) {
  Writer w(flush, sink);
  Arguments a;
  va_copy(a.list, args);
  char html_previous = ';';
  const char* p = format;
  while (*p && !w.stopped()) {
    const char* run = p;
    while (*p && *p != '%') ++p;
    if (p > run && !w.write(run, static_cast<size_t>(p - run))) break;
    if (*p == '%') {
      ++p;
      if (!directive(w, p, a, html_previous)) break;
    }
  }
  va_end(a.list);
  return w.stopped() ? -1 : clamp_count(w.count());
}

int QELVsnprintf(char* buffer, size_t size, const char* format, va_list args) {
  if (size == 0) return 0;
  QELFormatSink sink;
  sink.pos = buffer;
  sink.end = buffer + size - 1;
  int n = QELFormat(stop_flush, &sink, format, args);
  *sink.pos = '\0';
  if (n < 0) return size > INT_MAX ? INT_MAX : static_cast<int>(size);
  return n;
}

int QELSnprintf(char* buffer, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = QELVsnprintf(buffer, size, format, args);
  va_end(args);
  return n;
}

int QELVFormatLength(const char* format, va_list args) {
  ScratchSink scratch(nullptr);
  return QELFormat(scratch_flush, &scratch.sink, format, args);
}

int QELFormatLength(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = QELVFormatLength(format, args);
  va_end(args);
  return n;
}

char* QELVAsprintf(const char* format, va_list args) {
  va_list copy;
  va_copy(copy, args);
  int length = QELVFormatLength(format, copy);
  va_end(copy);
  if (length < 0 || length >= INT_MAX - 8) return nullptr;
  size_t size = (static_cast<size_t>(length + 1) & ~static_cast<size_t>(3)) + 4;
  char* buffer = static_cast<char*>(std::malloc(size));
  if (!buffer) return nullptr;
  QELVsnprintf(buffer, size, format, args);
  return buffer;
}

char* QELAsprintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  char* text = QELVAsprintf(format, args);
  va_end(args);
  return text;
}

int QELVFprintf(FILE* stream, const char* format, va_list args) {
  ScratchSink scratch(stream);
  int n = QELFormat(scratch_flush, &scratch.sink, format, args);
  size_t rest = static_cast<size_t>(scratch.sink.pos - scratch.buffer);
  if (rest > 0 && std::fwrite(scratch.buffer, 1, rest, stream) != rest) scratch.failed = true;
  if (std::fflush(stream) != 0) scratch.failed = true;
  return scratch.failed ? -1 : n;
}

int QELFprintf(FILE* stream, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = QELVFprintf(stream, format, args);
  va_end(args);
  return n;
}

int QELVPrintf(const char* format, va_list args) {
  return QELVFprintf(stdout, format, args);
}

int QELPrintf(const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = QELVFprintf(stdout, format, args);
  va_end(args);
  return n;
}

char QELFormatSetQuote(char quote) {
  return quote_char.exchange(quote, std::memory_order_relaxed);
}
char QELFormatSetEscape(char escape) {
  return escape_char.exchange(escape, std::memory_order_relaxed);
}
char QELFormatSetEscapeEscape(char escape_escape) {
  return escape_escape_char.exchange(escape_escape, std::memory_order_relaxed);
}

namespace qelformat {
char quote_character() {
  return quote_char.load(std::memory_order_relaxed);
}
char escape_character() {
  return escape_char.load(std::memory_order_relaxed);
}
char escape_escape_character() {
  return escape_escape_char.load(std::memory_order_relaxed);
}
}  // namespace qelformat
