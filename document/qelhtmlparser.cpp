// The tokenizer's byte loop: tags collect in one fixed buffer, text runs are
// handed out as pointers into the caller's bytes, entities are decoded on
// the fly.
#include "document/qelhtmlparser.h"

#include <strings.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>

#include "support/qelstring.h"

int qelhtmlparser_char_trace = 0;

namespace {

// Largest piece handed to the byte loop at once, so that run lengths fit the
// handlers' int.
constexpr size_t kMaxPiece = size_t{1} << 30;

bool is_space(unsigned char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

int hex_digit(unsigned char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// Hex digits up to the first other byte; wraps instead of overflowing since
// only the low byte is used.
unsigned parse_hex(const char* s, const char* end) {
  unsigned v = 0;
  for (; s < end && hex_digit(static_cast<unsigned char>(*s)) >= 0; ++s)
    v = v * 16 + static_cast<unsigned>(hex_digit(static_cast<unsigned char>(*s)));
  return v;
}

// atoi's reading (leading whitespace, sign, digits) without its overflow.
unsigned parse_decimal(const char* s, const char* end) {
  while (s < end && is_space(static_cast<unsigned char>(*s))) ++s;
  bool negative = false;
  if (s < end && (*s == '+' || *s == '-')) negative = *s++ == '-';
  unsigned v = 0;
  for (; s < end && *s >= '0' && *s <= '9'; ++s) v = v * 10 + static_cast<unsigned>(*s - '0');
  return negative ? 0u - v : v;
}

struct NamedEntity {
  const char* name;  // without '&'
  size_t length;
  unsigned char byte;
};

constexpr NamedEntity kEntities[] = {
    {"lt", 2, 0x3C},    {"gt", 2, 0x3E},     {"amp", 3, 0x26},    {"deg", 3, 0xB0},
    {"nbsp", 4, 0xA0},  {"quot", 4, 0x22},   {"apos", 4, 0x27},   {"copy", 4, 0xA9},
    {"micro", 5, 0xB5}, {"frac14", 6, 0xBC}, {"frac12", 6, 0xBD}, {"frac34", 6, 0xBE},
};

// Case-insensitive comparison with a lower-case ASCII name; tags are
// compared with a few fixed names on every tag, so this stays inline.
bool is_name(const char* s, const char* lower) {
  for (; *lower; ++s, ++lower) {
    unsigned char c = static_cast<unsigned char>(*s);
    if (c >= 'A' && c <= 'Z') c = static_cast<unsigned char>(c + ('a' - 'A'));
    if (c != static_cast<unsigned char>(*lower)) return false;
  }
  return *s == '\0';
}

// Entity name of `length` bytes, case-sensitive (text) or not (attributes).
int lookup_entity(const char* name, size_t length, bool ignore_case) {
  for (const NamedEntity& e : kEntities) {
    if (e.length != length) continue;
    if (ignore_case ? strncasecmp(e.name, name, length) == 0 : memcmp(e.name, name, length) == 0) return e.byte;
  }
  return -1;
}

class Tokenizer {
 public:
  explicit Tokenizer(qelhtmlparser* p) : p_(p) {}
  void run(const char* bytes, int length);

 private:
  void characters(const char* bytes, int length);
  void text_characters(const char* bytes, int length);
  void deliver_owed_end();
  void append(char c);
  void comment_byte(const char* bytes, int i, unsigned char c, int& run_start);
  void prolog_byte(const char* bytes, int i, unsigned char c, int& run_start);
  void text_byte(const char* bytes, int i, unsigned char c, int& run_start);
  void end_tag_byte(int i, unsigned char c, int& run_start);
  void deliver_rest(const char* bytes, int length, int run_start);
  void entity_byte(int i, unsigned char c, int& run_start);
  void tag_byte(unsigned char c, int i, int& run_start);
  bool tag_first_byte(unsigned char c, int i, int& run_start);
  void tag_text_byte(unsigned char c, int i, int& run_start);
  void complete_start_tag();
  int split_attributes(char* s, char* end);
  bool note_auto_end(const char* name, const char* const* attrs, int count);
  void complete_end_tag();
  void report_overflow();

  qelhtmlparser* p_;
};

void Tokenizer::characters(const char* bytes, int length) {
  if (p_->characters_handler) p_->characters_handler(p_->user, bytes, length);
}

// Character data of the document proper. An element whose end tag is still
// owed (an image, a meta tag) takes no content, so the end goes out first;
// otherwise text that happens to arrive in a piece of its own, or before an
// entity, would land inside it.
void Tokenizer::text_characters(const char* bytes, int length) {
  if (p_->auto_end && p_->auto_end_pending) deliver_owed_end();
  characters(bytes, length);
}

void Tokenizer::deliver_owed_end() {
  if (p_->trace) printf("-AUTO End Tag: %s\n", p_->last_tag);
  p_->auto_end_pending = 0;
  if (p_->end_element_handler) p_->end_element_handler(p_->user, p_->last_tag);
}

void Tokenizer::report_overflow() {
  if (p_->error_handler) p_->error_handler(p_->user, "TAG is too large for processor!", p_->line, p_->column);
}

// Appends to the tag text; a full buffer keeps its first tag_cap - 1
// characters and the newest byte takes the last place.
void Tokenizer::append(char c) {
  if (p_->tag_len >= p_->tag_cap) p_->tag_len = p_->tag_cap - 1;
  p_->tag_buf[p_->tag_len++] = c;
}

// Bytes that end a stretch of plain text: everything else in text outside
// raw-text mode only moves the column.
struct TextStops {
  bool stop[256] = {};
  constexpr TextStops() {
    stop[static_cast<unsigned char>('<')] = true;
    stop[static_cast<unsigned char>('&')] = true;
    stop[static_cast<unsigned char>('\n')] = true;
  }
};
constexpr TextStops kTextStops;

void Tokenizer::run(const char* bytes, int length) {
  int run_start = 0;
  for (int i = 0; i < length; ++i) {
    if (p_->state == S_TEXT && p_->comment_state == 0 && !p_->script && !p_->pi_question && !qelhtmlparser_char_trace) {
      // Fast path over plain text; the byte it stops at goes the normal way.
      int j = i;
      while (j < length && !kTextStops.stop[static_cast<unsigned char>(bytes[j])]) ++j;
      p_->column += j - i;
      p_->return_state = S_TEXT;
      i = j;
      if (i == length) break;
    }
    const unsigned char c = static_cast<unsigned char>(bytes[i]);
    if (qelhtmlparser_char_trace)
      printf("-s:%d(c:%d)(len:%d)(q:%d)(s:%d):%c-\n", p_->state, p_->comment_state, p_->tag_len, p_->in_quote,
             p_->script, c);
    p_->column += 1;
    if (c == '\n') {
      p_->line += 1;
      p_->column = 0;
    }

    if (p_->comment_state >= 1) {
      comment_byte(bytes, i, c, run_start);
      continue;
    }

    switch (p_->state) {
      case S_PROLOG: prolog_byte(bytes, i, c, run_start); break;
      case S_TEXT: text_byte(bytes, i, c, run_start); break;
      case S_TAG: tag_byte(c, i, run_start); break;
      case S_END_TAG: end_tag_byte(i, c, run_start); break;
      default:  // S_ENTITY
        entity_byte(i, c, run_start);
        break;
    }
  }
  deliver_rest(bytes, length, run_start);
}

// Inside a comment: counts the dashes before a '>' that closes it.
void Tokenizer::comment_byte(const char* bytes, int i, unsigned char c, int& run_start) {
  switch (p_->comment_state) {
    case 1:
      if (c == '-') p_->comment_state = 2;
      break;
    case 2: p_->comment_state = c == '-' ? 3 : 1; break;
    default:
      if (c == '>') {
        const int len = i - 2 - run_start;
        if (len > 0 && p_->comment_handler) p_->comment_handler(p_->user, bytes + run_start, len);
        p_->comment_state = 0;
        p_->state = static_cast<uint8_t>(p_->return_state);
        run_start = i + 1;
      } else if (c != '-') {
        p_->comment_state = 1;
      }
      break;
  }
}

void Tokenizer::prolog_byte(const char* bytes, int i, unsigned char c, int& run_start) {
  p_->return_state = S_PROLOG;
  if (c == '<') {
    if (i > run_start && p_->prolog_handler) p_->prolog_handler(p_->user, bytes + run_start, i - run_start);
    run_start = i;
    p_->state = S_TAG;
  }
}

void Tokenizer::text_byte(const char* bytes, int i, unsigned char c, int& run_start) {
  p_->return_state = S_TEXT;
  if (p_->pi_question) {
    if (c == '>') {
      p_->script = 0;
      return;
    }
    p_->pi_question = 0;
  }
  if (p_->script && c == '?') {
    p_->pi_question = 1;
  } else if (c == '<') {
    if (p_->auto_end && p_->auto_end_pending) deliver_owed_end();
    if (i != run_start) characters(bytes + run_start, i - run_start);
    run_start = i;
    p_->state = S_TAG;
  } else if (c == '&' && !p_->script) {
    text_characters(bytes + run_start, i - run_start);
    p_->entity_buf[0] = '&';
    p_->entity_buf[1] = '\0';
    p_->state = S_ENTITY;
  }
}

void Tokenizer::end_tag_byte(int i, unsigned char c, int& run_start) {
  if (c != '>') {
    p_->tag_buf[p_->tag_len++] = static_cast<char>(c);
    if (p_->tag_len < p_->tag_cap) return;
  }
  complete_end_tag();
  run_start = i + 1;
  p_->state = S_TEXT;
}

// The unfinished run at the end of a piece goes out as far as it can.
void Tokenizer::deliver_rest(const char* bytes, int length, int run_start) {
  const int rest = length - run_start;
  if (rest <= 0) return;
  if (p_->state == S_TEXT) {
    text_characters(bytes + run_start, rest);
  } else if (p_->state == S_PROLOG) {
    if (p_->prolog_handler) p_->prolog_handler(p_->user, bytes + run_start, rest);
  } else if (p_->comment_state >= 1 && p_->comment_handler) {
    p_->comment_handler(p_->user, bytes + run_start, rest);
  }
}

// The first byte after '<': an end tag, a processing instruction, raw text
// or the start of a comment. Returns whether the byte was taken.
bool Tokenizer::tag_first_byte(unsigned char c, int i, int& run_start) {
  if (c == '/') {
    p_->state = S_END_TAG;
    return true;
  }
  if (c == '?' || p_->script) {
    // A processing instruction, or '<' and this byte in raw text: text
    // from here on, after a '<' of its own. Whatever came between the '<'
    // and this byte is dropped (as a '<' right after '<' is for a tag), and
    // the '<' need not be in this piece of the input.
    if (c == '?') p_->script = 1;
    p_->state = S_TEXT;
    p_->comment_state = 0;
    characters("<", 1);
    run_start = i;
    return true;
  }
  if (c == '!') {
    p_->comment_state = -2;
    return true;
  }
  if (c != '-' && p_->comment_state == -2) {
    p_->comment_state = 0;
    append('!');
    append(static_cast<char>(c));
    return true;
  }
  return false;
}

void Tokenizer::tag_byte(unsigned char c, int i, int& run_start) {
  if (p_->tag_len == 0 && tag_first_byte(c, i, run_start)) return;

  if (p_->tag_len >= p_->tag_cap) {
    report_overflow();
    p_->tag_len = p_->tag_cap - 1;
  }
  if (p_->in_quote) {
    append(static_cast<char>(c));
    if (c == '"') p_->in_quote = 0;
    return;
  }
  if (c == '"') {
    p_->in_quote = 1;
    append('"');
    return;
  }
  if (c == '<') {
    p_->return_state = S_TAG;
    p_->comment_state = -1;
    return;
  }
  if (c == '>') {
    complete_start_tag();
    run_start = i + 1;
    p_->state = S_TEXT;
    return;
  }
  tag_text_byte(c, i, run_start);
}

// A byte of the tag text, unless it is part of a "<!--" that opens a comment;
// the bytes of an opening that falls short are tag text after all.
void Tokenizer::tag_text_byte(unsigned char c, int i, int& run_start) {
  switch (p_->comment_state) {
    case -1:
      if (c == '!') {
        p_->comment_state = -2;
      } else {
        p_->comment_state = 0;
        if (p_->tag_len > 0) append('<');
        append(static_cast<char>(c));
      }
      break;
    case -2:
      if (c == '-') {
        p_->comment_state = -3;
      } else {
        p_->comment_state = 0;
        if (p_->tag_len > 0) append('<');
        append('!');
        append(static_cast<char>(c));
      }
      break;
    case -3:
      if (c == '-') {
        p_->comment_state = 1;
        run_start = i + 1;
      } else {
        p_->comment_state = 0;
        if (p_->tag_len > 0) append('<');
        append('!');
        append('-');
        append(static_cast<char>(c));
      }
      break;
    default: append(static_cast<char>(c)); break;
  }
}

void Tokenizer::entity_byte(int i, unsigned char c, int& run_start) {
  char* buf = p_->entity_buf;
  const bool ampersand = c == '&';
  size_t n = strlen(buf);
  buf[n++] = static_cast<char>(c);
  buf[n] = '\0';

  const char* result = nullptr;
  int result_len = 0;
  if (n >= 4 && n <= 8) {
    const int byte = lookup_entity(buf + 1, n - 2, false);
    if (byte >= 0) {
      buf[0] = static_cast<char>(byte);
      result_len = 1;
      if (c != ';' && c != '&' && c != '<') buf[result_len++] = static_cast<char>(c);
      buf[result_len] = '\0';
      result = buf;
    }
  } else if (n >= 9 || ampersand) {
    // Nothing known starts here: the collected bytes are plain text.
    result_len = static_cast<int>(n);
    if (c == '&' || c == '<') --result_len;
    result = buf;
  }

  if (result) {
    text_characters(result, result_len);
    p_->state = S_TEXT;
    run_start = i + 1;
  } else if (c == ';') {
    if (buf[1] == '#') {
      const char* end = buf + n - 1;
      const unsigned value = buf[2] == 'x' ? parse_hex(buf + 3, end) : parse_decimal(buf + 2, end);
      const unsigned char byte = static_cast<unsigned char>(value & 0xFF);
      if (byte > 10) {
        buf[0] = static_cast<char>(byte);
        text_characters(buf, 1);
      }
    } else {
      text_characters(buf, static_cast<int>(n - 1));
    }
    run_start = i + 1;
    p_->state = S_TEXT;
  } else if (c == '&') {
    text_characters(buf, static_cast<int>(n - 1));
    run_start = i + 1;
  }

  if (ampersand) {
    p_->entity_buf[0] = '&';
    p_->entity_buf[1] = '\0';
    p_->state = S_ENTITY;
  }
  if (c == '<') {
    if (!result) text_characters(buf, static_cast<int>(n - 1));
    p_->state = S_TAG;
    // As from text: the '<' stays the start of the run, in case the tag
    // turns out to be a processing instruction.
    run_start = i;
  }
}

// Decodes character references in an attribute value, in place.
void decode_value(char* value) {
  char* out = value;
  char* candidate = nullptr;  // where the open '&' was written
  for (const char* in = value; *in; ++in) {
    if (*in == '&') {
      candidate = out;
      *out++ = '&';
    } else if (*in == ';' && candidate) {
      const char* name = candidate + 1;
      const size_t len = static_cast<size_t>(out - name);
      int byte = lookup_entity(name, len, true);
      if (byte < 0 && len > 0 && name[0] == '#') {
        unsigned v = 0;
        if (len > 2 && name[1] == 'x')
          v = parse_hex(name + 2, out);
        else if (len > 1)
          v = parse_decimal(name + 1, out);
        byte = static_cast<int>(v & 0xFF);
      }
      if (byte > 0) {
        out = candidate;
        *out++ = static_cast<char>(byte);
      }
      candidate = nullptr;
    } else {
      *out++ = *in;
    }
  }
  *out = '\0';
}

// Splits the attributes after the tag name into name/value pairs in
// attr_buf, in place, and decodes the values; returns the number of entries.
int Tokenizer::split_attributes(char* s, char* const end) {
  const char** attrs = p_->attr_buf;
  const int limit = p_->tag_cap + 2;  // entries before the closing "" and null
  int count = 0;
  while (s < end && count < limit) {
    const char q = *s;
    if (q == '"' || q == '\'') {
      attrs[count++] = ++s;
      char* close = static_cast<char*>(memchr(s, q, static_cast<size_t>(end - s)));
      if (!close) {
        s = end;
        break;
      }
      *close = '\0';
      s = close + 1;
    } else {
      attrs[count++] = s;
      while (s < end && !is_space(static_cast<unsigned char>(*s)) && *s != '=') ++s;
    }
    if (s < end && is_space(static_cast<unsigned char>(*s))) {
      *s++ = '\0';
      while (s < end && is_space(static_cast<unsigned char>(*s))) ++s;
      if (s < end && *s != '=' && (count & 1) && count < limit) attrs[count++] = end;
    }
    if (s < end && *s == '=') {
      *s++ = '\0';
      while (s < end && is_space(static_cast<unsigned char>(*s))) ++s;
    }
  }
  if (count & 1) attrs[count++] = end;  // `end` is the buffer's NUL: an empty value
  attrs[count] = nullptr;
  for (int k = 1; k < count; k += 2)
    if (*attrs[k]) decode_value(const_cast<char*>(attrs[k]));
  return count;
}

// Elements that take no content owe their end tag, which goes out before
// whatever comes next: a meta tag, a doctype, and an image unless an
// embed-encoding comes before its src. Returns whether the tag ends at once,
// as a line break does.
bool Tokenizer::note_auto_end(const char* name, const char* const* attrs, int count) {
  if (is_name(name, "img")) {
    p_->auto_end_pending = 1;
    for (int k = 0; k < count; k += 2) {
      if (is_name(attrs[k], "src")) break;
      if (is_name(attrs[k], "embed-encoding")) {
        p_->auto_end_pending = 0;
        break;
      }
    }
  } else if (is_name(name, "meta") || is_name(name, "!doctype")) {
    p_->auto_end_pending = 1;
  } else if (is_name(name, "br")) {
    return true;
  }
  return false;
}

void Tokenizer::complete_start_tag() {
  bool self_closing = false;
  if (p_->tag_len > 0 && p_->tag_buf[p_->tag_len - 1] == '/') {
    --p_->tag_len;
    self_closing = true;
  }
  char* const text = p_->tag_buf;
  char* const end = text + p_->tag_len;
  *end = '\0';
  // A half-seen "<!-" inside the tag does not carry over to the next one.
  p_->comment_state = 0;

  if (p_->start_element_handler) {
    char* s = text;
    while (s < end && is_space(static_cast<unsigned char>(*s))) ++s;
    const char* name = s;
    while (s < end && !is_space(static_cast<unsigned char>(*s))) ++s;
    if (s < end) {
      *s++ = '\0';
      while (s < end && is_space(static_cast<unsigned char>(*s))) ++s;
    }

    const char** attrs = p_->attr_buf;
    const int count = split_attributes(s, end);

    if (p_->auto_end && p_->auto_end_pending) deliver_owed_end();
    if (p_->trace) {
      printf("-StartTag: %s", name);
      for (int k = 0; k < count; k += 2) printf(" %s=\"%s\"", attrs[k], attrs[k + 1]);
      printf("\n");
    }
    p_->start_element_handler(p_->user, name, attrs);
    qel_strlcpy(p_->last_tag, name, sizeof p_->last_tag);

    if (p_->auto_end && note_auto_end(name, attrs, count)) self_closing = true;
  }

  if (is_name(p_->last_tag, "script")) p_->script = 1;
  p_->tag_len = 0;
  p_->in_quote = 0;

  if (self_closing) {
    p_->auto_end_pending = 0;
    if (p_->end_element_handler) {
      if (p_->trace) printf("-Trailing End Tag: %s\n", p_->last_tag);
      p_->end_element_handler(p_->user, text);
    }
  }
}

void Tokenizer::complete_end_tag() {
  char* const name = p_->tag_buf;
  name[p_->tag_len] = '\0';
  p_->comment_state = 0;
  const bool is_script = is_name(name, "script");
  if (p_->script && !is_script) {
    // Inside raw text an end tag is just text.
    characters("</", 2);
    characters(name, p_->tag_len);
    characters(">", 1);
    p_->tag_len = 0;
    return;
  }
  if (is_script) p_->script = 0;

  if (p_->auto_end) {
    if (p_->auto_end_pending && strcasecmp(name, p_->last_tag) != 0) deliver_owed_end();
    p_->auto_end_pending = 0;
  }
  if (p_->trace) printf("-End Tag: %s\n", name);
  if (p_->end_element_handler) p_->end_element_handler(p_->user, name);
  p_->auto_end_pending = 0;
  p_->tag_len = 0;
  p_->in_quote = 0;
  if (is_script) p_->script = 0;
}

}  // namespace

qelhtmlparser* qelhtmlparser_create(int capacity) {
  if (capacity < 1) return nullptr;
  auto* p = static_cast<qelhtmlparser*>(calloc(1, sizeof(qelhtmlparser)));
  if (!p) return nullptr;
  p->tag_buf = static_cast<char*>(malloc(static_cast<size_t>(capacity) + 1));
  p->attr_buf = static_cast<const char**>(calloc(static_cast<size_t>(capacity) + 4, sizeof(char*)));
  if (!p->tag_buf || !p->attr_buf) {
    qelhtmlparser_destroy(p);
    return nullptr;
  }
  p->tag_buf[capacity] = '\0';
  p->tag_buf[0] = '\0';
  p->state = S_TEXT;
  p->return_state = S_TEXT;
  p->auto_end = 1;
  p->trace = 0;
  p->tag_cap = capacity;
  return p;
}

void qelhtmlparser_destroy(qelhtmlparser* parser) {
  if (!parser) return;
  free(parser->tag_buf);
  free(parser->attr_buf);
  free(parser);
}

void* qelhtmlparser_set_user_data(qelhtmlparser* parser, void* user) {
  void* old = parser->user;
  parser->user = user;
  return old;
}

qelhtmlparser_error_handler qelhtmlparser_set_error_handler(qelhtmlparser* parser,
                                                            qelhtmlparser_error_handler handler) {
  auto old = parser->error_handler;
  parser->error_handler = handler;
  return old;
}

qelhtmlparser_data_handler qelhtmlparser_set_comment_handler(qelhtmlparser* parser,
                                                             qelhtmlparser_data_handler handler) {
  auto old = parser->comment_handler;
  parser->comment_handler = handler;
  return old;
}

qelhtmlparser_data_handler qelhtmlparser_set_prolog_handler(qelhtmlparser* parser, qelhtmlparser_data_handler handler) {
  auto old = parser->prolog_handler;
  parser->prolog_handler = handler;
  if (parser->line == 0 && parser->column == 0) parser->state = S_PROLOG;
  return old;
}

qelhtmlparser_data_handler qelhtmlparser_set_characters_handler(qelhtmlparser* parser,
                                                                qelhtmlparser_data_handler handler) {
  auto old = parser->characters_handler;
  parser->characters_handler = handler;
  return old;
}

qelhtmlparser_start_handler qelhtmlparser_set_start_element_handler(qelhtmlparser* parser,
                                                                    qelhtmlparser_start_handler handler) {
  auto old = parser->start_element_handler;
  parser->start_element_handler = handler;
  return old;
}

qelhtmlparser_end_handler qelhtmlparser_set_end_element_handler(qelhtmlparser* parser,
                                                                qelhtmlparser_end_handler handler) {
  auto old = parser->end_element_handler;
  parser->end_element_handler = handler;
  return old;
}

int qelhtmlparser_set_auto_end(qelhtmlparser* parser, int flag) {
  parser->auto_end = flag;
  return flag;
}

int qelhtmlparser_line(const qelhtmlparser* parser) {
  return parser->line + 1;
}
int qelhtmlparser_column(const qelhtmlparser* parser) {
  return parser->column + 1;
}

int qelhtmlparser_parse(qelhtmlparser* parser, const char* bytes, size_t length) {
  Tokenizer tokenizer(parser);
  while (length > 0) {
    const size_t piece = length < kMaxPiece ? length : kMaxPiece;
    tokenizer.run(bytes, static_cast<int>(piece));
    bytes += piece;
    length -= piece;
  }
  return 0;
}

size_t qelhtmlparser_parse_string(qelhtmlparser* parser, const char* text) {
  if (!text) return 0;
  const size_t length = strlen(text);
  qelhtmlparser_parse(parser, text, length);
  return length;
}

long qelhtmlparser_parse_file(qelhtmlparser* parser, FILE* stream) {
  char buffer[1024];
  long total = 0;
  for (;;) {
    const size_t got = fread(buffer, 1, sizeof buffer, stream);
    if (got == 0) break;
    total += static_cast<long>(got);
    qelhtmlparser_parse(parser, buffer, got);
    if (feof(stream)) break;
  }
  return total;
}

long qelhtmlparser_parse_fd(qelhtmlparser* parser, int descriptor) {
  char buffer[1024];
  long total = 0;
  for (;;) {
    const ssize_t got = read(descriptor, buffer, sizeof buffer);
    total += static_cast<long>(got);
    if (got <= 0) break;
    qelhtmlparser_parse(parser, buffer, static_cast<size_t>(got));
  }
  return total;
}
