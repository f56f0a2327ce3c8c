// The formatting engine's integer and text conversions, padding, directive
// parsing and its buffer, length, allocating and stream front ends.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>

#include "support/format_helpers.h"
#include "support/qelformat.h"

namespace {

using format_testing::fmt;
using format_testing::libc;

TEST(FormatBuffer, ResultAndTruncation) {
  char b[16];
  EXPECT_EQ(QELSnprintf(b, 10, "%s", "123456789"), 9);
  EXPECT_STREQ(b, "123456789");
  EXPECT_EQ(QELSnprintf(b, 10, "%s", "1234567890"), 10);
  EXPECT_STREQ(b, "123456789");
  EXPECT_EQ(QELSnprintf(b, 10, "%d%s", 12345, "67890abc"), 10);
  EXPECT_STREQ(b, "123456789");

  b[0] = 'x';
  EXPECT_EQ(QELSnprintf(b, 0, "abc"), 0);
  EXPECT_EQ(b[0], 'x');
  EXPECT_EQ(QELSnprintf(b, 1, "abc"), 1);
  EXPECT_STREQ(b, "");
  EXPECT_EQ(QELSnprintf(b, 1, "%s", ""), 0);

  // Nothing is written past the bound, even for wide padding.
  char guard[8] = {'a', 'a', 'a', 'a', 'z', 'z', 'z', 'z'};
  EXPECT_EQ(QELSnprintf(guard, 4, "%100d", 1), 4);
  EXPECT_STREQ(guard, "   ");
  EXPECT_EQ(guard[4], 'z');
}

TEST(FormatBuffer, LengthAllocatingAndStreamAgree) {
  EXPECT_EQ(QELFormatLength("%s=%d", "key", 12345), 9);
  // Longer than the scratch buffer.
  EXPECT_EQ(QELFormatLength("%3000d|%s", 7, "tail"), 3005);

  for (int length : {0, 1, 2, 3, 4, 7, 8, 1023, 1024, 1025, 5000}) {
    char* text = QELAsprintf("%*s", length, "");
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(std::string(text), std::string(static_cast<size_t>(length), ' '));
    std::free(text);
  }
  char* text = QELAsprintf("%s%s", "http://h/", "a.png");
  ASSERT_NE(text, nullptr);
  EXPECT_STREQ(text, "http://h/a.png");
  std::free(text);

  char* data = nullptr;
  size_t size = 0;
  FILE* stream = open_memstream(&data, &size);
  ASSERT_NE(stream, nullptr);
  // Crosses the 1023-character pieces, and keeps a NUL character.
  EXPECT_EQ(QELFprintf(stream, "%2500d%c!", 5, 0), 2502);
  std::fclose(stream);
  ASSERT_EQ(size, 2502u);
  EXPECT_EQ(data[2499], '5');
  EXPECT_EQ(data[2500], '\0');
  EXPECT_EQ(data[2501], '!');
  std::free(data);
}

TEST(FormatBuffer, StreamWriteFailureIsReported) {
  FILE* full = std::fopen("/dev/full", "w");
  if (!full) GTEST_SKIP() << "no /dev/full";
  EXPECT_EQ(QELFprintf(full, "%s", "lost"), -1);
  EXPECT_EQ(QELFprintf(full, "%3000d", 1), -1);
  std::fclose(full);
}

struct Collect {
  char buffer[4];
  std::string text;
  int flushes = 0;
  int stop_after = -1;
};

int collect_flush(QELFormatSink* sink) {
  auto* c = static_cast<Collect*>(sink->context);
  c->text.append(c->buffer, static_cast<size_t>(sink->pos - c->buffer));
  if (++c->flushes == c->stop_after) return 1;
  sink->pos = c->buffer;
  sink->end = c->buffer + sizeof c->buffer;
  return 0;
}

int call_format(QELFormatFlush flush, QELFormatSink* sink, const char* format, ...) {
  va_list args;
  va_start(args, format);
  int n = QELFormat(flush, sink, format, args);
  va_end(args);
  return n;
}

TEST(FormatEngine, FlushFunctionDrivesTheSink) {
  Collect c;
  QELFormatSink sink{c.buffer, c.buffer + sizeof c.buffer, &c};
  EXPECT_EQ(call_format(collect_flush, &sink, "%s-%d", "abcdefg", 123456), 14);
  c.text.append(c.buffer, static_cast<size_t>(sink.pos - c.buffer));
  EXPECT_EQ(c.text, "abcdefg-123456");
  EXPECT_EQ(c.flushes, 3);

  Collect s;
  s.stop_after = 2;
  QELFormatSink stopping{s.buffer, s.buffer + sizeof s.buffer, &s};
  EXPECT_EQ(call_format(collect_flush, &stopping, "%s", "0123456789abc"), -1);
  EXPECT_EQ(s.text, "01234567");

  // A flush that claims success without making room stops the engine
  // instead of spinning.
  char one[1];
  QELFormatSink stuck{one, one, nullptr};
  EXPECT_EQ(call_format([](QELFormatSink*) { return 0; }, &stuck, "abc"), -1);
  QELFormatSink no_flush{one, one + 1, nullptr};
  EXPECT_EQ(call_format(nullptr, &no_flush, "ab"), -1);
}

TEST(FormatIntegers, PaddingFlagsAndPrecision) {
  EXPECT_EQ(fmt("%5d|%-5d|%05d|%-05d", 42, 42, -42, 42), "   42|42   |-0042|42000");
  EXPECT_EQ(fmt("%+d|% d|%+d|% d", 5, 5, -5, -5), "+5| 5|-5|-5");
  EXPECT_EQ(fmt("%+05d|% 05d", 42, 42), "+0042| 0042");
  EXPECT_EQ(fmt("%.4d|%8.4d|%-8.4d|", -42, 42, 42), "-0042|    0042|0042    |");
  // Zero padding is kept together with a precision.
  EXPECT_EQ(fmt("%08.4d", 42), "00000042");
  EXPECT_EQ(fmt("%*d|%*d|%.*d|%.*d", 4, 1, -4, 1, 3, 1, -3, 1), "   1|1   |001|1");
  EXPECT_EQ(fmt("%.d|%.0d|%.0x", 0, 0, 0), "0|0|0");
  EXPECT_EQ(fmt("%#x|%#X|%#x|%#o|%#o|%#.3o", 255, 255, 0, 8, 0, 8), "0xff|0XFF|0|010|0|010");
  // The alternate prefix is part of the text: zeros from the width go first.
  EXPECT_EQ(fmt("%#08x|%#-8x|", 255, 255), "00000xff|0xff    |");
  EXPECT_EQ(fmt("%+u|% x", 7u, 7u), "7|7");
}

TEST(FormatIntegers, LengthModifiers) {
  EXPECT_EQ(fmt("%lld|%llu|%llx", -9223372036854775807LL - 1, 18446744073709551615ULL, 0x123456789abcdefULL),
            "-9223372036854775808|18446744073709551615|123456789abcdef");
  EXPECT_EQ(fmt("%ld|%lu|%zu|%zd|%jd|%td", -3L, 3000000000UL, size_t{99}, ptrdiff_t{-2}, intmax_t{-1}, ptrdiff_t{4}),
            "-3|3000000000|99|-2|-1|4");
  EXPECT_EQ(fmt("%d|%u|%x", -2147483647 - 1, 4294967295u, 0xdeadbeefu), "-2147483648|4294967295|deadbeef");
  // "h" is read and ignored: the full int is printed.
  EXPECT_EQ(fmt("%hd|%hhu", 70000, 300), "70000|300");
}

TEST(FormatDirectives, TextCharactersAndOddDirectives) {
  const char* volatile no_text = nullptr;  // hidden from the compiler's null check
  EXPECT_EQ(fmt("%s|%.3s|%6.2s|%-6s|", no_text, "abcdef", "abc", "ab"), "(null)|abc|    ab|ab    |");
  // Precision bounds the read: the text need not be terminated.
  const char unterminated[3] = {'x', 'y', 'z'};
  EXPECT_EQ(fmt("%.3s", unterminated), "xyz");
  EXPECT_EQ(fmt("%c%c|%3c|%-3c|%03c", 'a', 'b', 'c', 'd', 'e'), "ab|  c|d  |  e");
  EXPECT_EQ(fmt("%y|%5%|%%|%k"), "%y|%|%|%k");
  EXPECT_EQ(fmt("abc%"), "abc");
  EXPECT_EQ(fmt("abc%-08"), "abc");
  EXPECT_EQ(fmt("%pZ|%pj", "ignored"), "bogus %p|");

  int at = -1;
  long long wide_at = -1;
  EXPECT_EQ(fmt("abc%n%5d%lln|", &at, 1, &wide_at), "abc    1|");
  EXPECT_EQ(at, 3);
  EXPECT_EQ(wide_at, 8);

  // Huge widths saturate instead of overflowing.
  char b[8];
  std::string huge = "%" + std::string(14, '9') + "d";
  EXPECT_EQ(QELSnprintf(b, sizeof b, huge.c_str(), 1), 8);
  EXPECT_STREQ(b, "       ");
}

TEST(FormatQuoting, SettersAnswerThePreviousCharacter) {
  EXPECT_EQ(fmt("%pq", "it's a\\b"), "it\\'s a\\\\b");
  EXPECT_EQ(QELFormatSetEscape('\''), '\\');
  EXPECT_EQ(fmt("%pq", "it's"), "it''s");
  EXPECT_EQ(QELFormatSetQuote('"'), '\'');
  EXPECT_EQ(QELFormatSetEscapeEscape('^'), '\\');
  EXPECT_EQ(fmt("%pq", "a\"b'c"), "a'\"b^'c");
  EXPECT_EQ(QELFormatSetQuote('\''), '"');
  EXPECT_EQ(QELFormatSetEscape('\\'), '\'');
  EXPECT_EQ(QELFormatSetEscapeEscape('\\'), '^');
}

// Where the C library agrees: plain conversions over generated values.
TEST(FormatIntegers, AgreesWithTheCLibrary) {
  std::mt19937_64 random(7);
  const char* formats[] = {"%d",     "%i",  "%u",  "%x",     "%X",   "%o",   "%8d",  "%-8d|", "%+d",  "% d", "%.5d",
                           "%12.7x", "%#x", "%#o", "%-+9d|", "%08d", "%08u", "%08x", "%08o",  "%3c|", "%c"};
  const char* texts[] = {"", "a", "hello world", "\xe9t\xe9"};
  for (int round = 0; round < 400; ++round) {
    int shift = static_cast<int>(random() % 32);
    int v = static_cast<int>(static_cast<uint32_t>(random()) >> shift);
    if (round % 2) v = -v;
    if (round % 50 == 0) v = 0;
    for (const char* f : formats) {
      if ((f[1] == 'c' || f[2] == 'c') && (v & 0xff) == 0) continue;
      EXPECT_EQ(fmt(f, v), libc(f, v)) << f << " " << v;
    }
    long long w = static_cast<long long>(random() >> shift);
    EXPECT_EQ(fmt("%lld|%llx|%20llu|%-20llo|", w, w, w, w), libc("%lld|%llx|%20llu|%-20llo|", w, w, w, w));
    const char* t = texts[round % 4];
    EXPECT_EQ(fmt("%s|%10s|%-10s|%.2s", t, t, t, t), libc("%s|%10s|%-10s|%.2s", t, t, t, t));
  }
}

}  // namespace
