// Tessel's own printf-style formatting engine: one engine writing through a
// sink, with bounded-buffer, length, allocating and stream front ends and
// pointer extensions for addresses and escaped text.
#pragma once

#include <cstdarg>
#include <cstddef>
#include <cstdio>

// Conversions: d i u o x X c s f e E g G n %, flags "-+ #0", width and
// precision (digits or *), length "ll" (long long), "l" (long), "z", "j",
// "t" (64-bit), "h" (ignored). Differences from the C library: the "0" flag
// pads with zeros even with a precision or with "-" (then on the right);
// rounding of floating point is half up on the exact decimal digits; values
// whose integer part has more than 80 digits, infinities and NaNs print
// "inf"; %g picks its form from the digits it keeps (see qelformat.cpp);
// unknown conversions print "%" and the character.
//
// Pointer extensions, "%p" and one letter (the letter is consumed):
//   %pp pointer in lower-case hex     %pA in_addr (network order), dotted
//   %pI sockaddr_in, "a.b.c.d:port"   %pl HTML-escaped text
//   %pL %pl, empty text as "&nbsp;"    %pr %pl plus "<br>" and space runs
//   %pR %pr, empty text as "&nbsp;"    %pe URL-escaped text
//   %px XML-escaped text              %pq text with the quoting characters
//   %pjS %pjs JavaScript string body for "..." or '...'
//   %pje URL escaping inside '...'    %pjl %pl escapes plus %pjs escapes
//   %pj and another letter: the text argument is consumed, nothing written
//   %p and any other letter: "bogus %p", no argument consumed
//   %p followed by a non-letter: the pointer in hex, like %pp
// Null text prints "(null)"; precision limits the source characters; width
// counts source characters, padding is always spaces.
//
// Compiler checks: the entry points carry the printf format attribute, so
// wrong argument types fail the build. Two uses of the extensions fall
// outside what the compiler's printf checks accept: a precision on a %p
// directive ("%.*pl") and "%p" with a letter that takes no argument. Call
// sites that need them either use the va_list forms or wrap the call in
// QEL_FORMAT_UNCHECKED_BEGIN / QEL_FORMAT_UNCHECKED_END, which switch the
// format warnings off for exactly those lines.
#define QEL_FORMAT_ATTR(fmt, first) __attribute__((format(printf, fmt, first)))
#define QEL_FORMAT_UNCHECKED_BEGIN                                              \
  _Pragma("GCC diagnostic push") _Pragma("GCC diagnostic ignored \"-Wformat\"") \
      _Pragma("GCC diagnostic ignored \"-Wformat-extra-args\"")
#define QEL_FORMAT_UNCHECKED_END _Pragma("GCC diagnostic pop")

// Where the engine writes. It writes at pos while pos < end; when pos has
// reached end and another character comes, it calls the flush function,
// which may empty the buffer (resetting pos and end) and answer 0 to go on,
// or answer non-zero to stop the engine. context is for the flush function.
struct QELFormatSink {
  char* pos = nullptr;
  char* end = nullptr;
  void* context = nullptr;
};
using QELFormatFlush = int (*)(QELFormatSink* sink);

// Formats into the sink. Answers the number of characters produced, or -1
// when the flush function asked to stop (or is null, or made no room).
int QELFormat(QELFormatFlush flush, QELFormatSink* sink, const char* format, va_list args);

// With size 0 nothing is written and the answer is 0. Otherwise at most
// size - 1 characters and a terminator are written; the answer is the
// number of characters written when the whole text fitted, and size itself
// when it was cut.
int QELSnprintf(char* buffer, size_t size, const char* format, ...) QEL_FORMAT_ATTR(3, 4);
int QELVsnprintf(char* buffer, size_t size, const char* format, va_list args) QEL_FORMAT_ATTR(3, 0);

// The length of the formatted text; nothing is kept.
int QELFormatLength(const char* format, ...) QEL_FORMAT_ATTR(1, 2);
int QELVFormatLength(const char* format, va_list args) QEL_FORMAT_ATTR(1, 0);

// A new malloc'ed buffer holding the text (free it with free()), or null
// when memory runs out. Its size is the text length plus one, rounded down
// to a multiple of 4, plus 4.
char* QELAsprintf(const char* format, ...) QEL_FORMAT_ATTR(1, 2);
char* QELVAsprintf(const char* format, va_list args) QEL_FORMAT_ATTR(1, 0);

// Writes to the stream in pieces of 1023 characters, flushing after each.
// Answers the number of characters, or -1 when writing or the final flush
// failed.
int QELFprintf(FILE* stream, const char* format, ...) QEL_FORMAT_ATTR(2, 3);
int QELVFprintf(FILE* stream, const char* format, va_list args) QEL_FORMAT_ATTR(2, 0);
int QELPrintf(const char* format, ...) QEL_FORMAT_ATTR(1, 2);
int QELVPrintf(const char* format, va_list args) QEL_FORMAT_ATTR(1, 0);

// The characters of %pq, shared by the whole process: the quote character
// (initially '\''), the escape character written before it (initially '\\')
// and the character written before an escape character (initially '\\').
// Each setter answers the previous character.
char QELFormatSetQuote(char quote);
char QELFormatSetEscape(char escape);
char QELFormatSetEscapeEscape(char escape_escape);
