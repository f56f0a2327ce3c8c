// Pieces the formatting engine's files share: the character writer over a
// sink and the parsed form of one directive.
#pragma once

#include <climits>
#include <cstddef>

#include "support/qelformat.h"

namespace qelformat {

// Feeds characters into a sink, calling its flush function when the sink is
// full, and counts what was produced. Once stopped it takes nothing more.
class Writer {
 public:
  Writer(QELFormatFlush flush, QELFormatSink* sink) : flush_(flush), sink_(sink) {}

  bool put(char c) {
    if (sink_->pos >= sink_->end && !make_room()) return false;
    *sink_->pos++ = c;
    ++count_;
    return true;
  }
  bool write(const char* text, size_t length) {
    while (length > 0) {
      if (sink_->pos >= sink_->end && !make_room()) return false;
      size_t room = static_cast<size_t>(sink_->end - sink_->pos);
      size_t n = length < room ? length : room;
      for (size_t i = 0; i < n; ++i) sink_->pos[i] = text[i];
      sink_->pos += n;
      text += n;
      length -= n;
      count_ += static_cast<long long>(n);
    }
    return true;
  }
  bool repeat(char c, long long times) {
    for (; times > 0; --times)
      if (!put(c)) return false;
    return true;
  }
  bool stopped() const { return stopped_; }
  long long count() const { return count_; }

 private:
  bool make_room() {
    // A flush function that answers "go on" without making room would
    // otherwise be called forever.
    if (stopped_ || !flush_ || flush_(sink_) != 0 || sink_->pos >= sink_->end) {
      stopped_ = true;
      return false;
    }
    return true;
  }

  QELFormatFlush flush_;
  QELFormatSink* sink_;
  long long count_ = 0;
  bool stopped_ = false;
};

struct Directive {
  bool left = false;   // "-"
  bool plus = false;   // "+"
  bool space = false;  // " "
  bool alt = false;    // "#"
  bool zero = false;   // "0"
  int width = 0;
  int precision = -1;  // -1: not given
  char conversion = 0;
};

// Writes sign, zero padding and body, padded to the directive's width: the
// pad goes before the sign (spaces) or between sign and body (zeros) when
// right-adjusted, after the body when left-adjusted.
inline bool write_padded(Writer& w, const Directive& d, const char* sign, size_t sign_length, const char* body,
                         size_t body_length, bool zeros_allowed = true) {
  long long pad = static_cast<long long>(d.width) - static_cast<long long>(sign_length + body_length);
  char pad_char = (d.zero && zeros_allowed) ? '0' : ' ';
  if (!d.left && pad_char == ' ' && !w.repeat(' ', pad)) return false;
  if (!w.write(sign, sign_length)) return false;
  if (!d.left && pad_char == '0' && !w.repeat('0', pad)) return false;
  if (!w.write(body, body_length)) return false;
  return !d.left || w.repeat(pad_char, pad);
}

// f, e, E, g, G.
bool write_double(Writer& w, const Directive& d, double value);

// The text and address extensions of %p: letter is the character after
// "p", sub the one after "pj" (0 otherwise). html_previous carries the
// space-run state of %pr and %pR through one formatting call.
bool write_extension(Writer& w, const Directive& d, char letter, char sub, const void* argument, char& html_previous);

// The process-wide characters of %pq.
char quote_character();
char escape_character();
char escape_escape_character();

// Whether "%p" followed by letter takes a pointer argument.
bool is_extension_letter(char letter);

}  // namespace qelformat
