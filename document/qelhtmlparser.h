// A small push-driven HTML tokenizer: bytes in (in any number of pieces),
// start tags with attribute lists, end tags, character data and comments out
// through handlers. It keeps no tree and allocates nothing after creation.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <memory>

enum : uint8_t {
  S_PROLOG = 0,
  S_TAG = 1,
  S_END_TAG = 2,
  S_TEXT = 3,
  S_ENTITY = 4,
};

using qelhtmlparser_error_handler = void (*)(void* user, const char* message, int line, int column);
// Comment, prolog and character data: not NUL-terminated, valid during the call.
using qelhtmlparser_data_handler = void (*)(void* user, const char* bytes, int length);
// attributes: name, value, name, value, ..., null; valid during the call only.
using qelhtmlparser_start_handler = void (*)(void* user, const char* name, const char** attributes);
using qelhtmlparser_end_handler = void (*)(void* user, const char* name);

inline constexpr int QELHTMLPARSER_LAST_TAG_SIZE = 100;
inline constexpr int QELHTMLPARSER_ENTITY_SIZE = 12;

struct qelhtmlparser {
  uint8_t state;          // S_*
  int32_t comment_state;  // 0 idle; -1 '<' in a tag; -2 "<!"; -3 "<!-"; 1 in comment; 2 "-"; 3 "--"
  int32_t script;         // raw-text mode (after <script> and after "<?")
  int32_t pi_question;    // a '?' was seen in raw-text mode
  int32_t return_state;   // state to resume when a comment ends
  void* user;
  int32_t line;    // LF bytes seen (0-based)
  int32_t column;  // bytes since the last LF (0-based)
  char* tag_buf;   // tag_cap + 1 bytes
  int32_t tag_cap;
  int32_t tag_len;
  int32_t in_quote;
  int32_t trace;
  int32_t auto_end;
  int32_t auto_end_pending;
  char last_tag[QELHTMLPARSER_LAST_TAG_SIZE];
  char entity_buf[QELHTMLPARSER_ENTITY_SIZE];
  const char** attr_buf;  // tag_cap + 4 entries, the attribute list of the tag being completed
  qelhtmlparser_error_handler error_handler;
  qelhtmlparser_data_handler comment_handler;
  qelhtmlparser_data_handler prolog_handler;
  qelhtmlparser_data_handler characters_handler;
  qelhtmlparser_start_handler start_element_handler;
  qelhtmlparser_end_handler end_element_handler;
};

// Per-byte trace of the state machine, process-wide; nothing turns it on.
extern int qelhtmlparser_char_trace;

// A tokenizer whose tags hold up to `capacity` characters; null when
// capacity is below 1 or memory runs out.
qelhtmlparser* qelhtmlparser_create(int capacity);
void qelhtmlparser_destroy(qelhtmlparser* parser);

struct qelhtmlparser_deleter {
  void operator()(qelhtmlparser* parser) const { qelhtmlparser_destroy(parser); }
};
using qelhtmlparser_ptr = std::unique_ptr<qelhtmlparser, qelhtmlparser_deleter>;

// Setters answer the previous value. Installing the prolog handler before
// any byte was seen makes the tokenizer start in S_PROLOG.
void* qelhtmlparser_set_user_data(qelhtmlparser* parser, void* user);
qelhtmlparser_error_handler qelhtmlparser_set_error_handler(qelhtmlparser* parser, qelhtmlparser_error_handler handler);
qelhtmlparser_data_handler qelhtmlparser_set_comment_handler(qelhtmlparser* parser, qelhtmlparser_data_handler handler);
qelhtmlparser_data_handler qelhtmlparser_set_prolog_handler(qelhtmlparser* parser, qelhtmlparser_data_handler handler);
qelhtmlparser_data_handler qelhtmlparser_set_characters_handler(qelhtmlparser* parser,
                                                                qelhtmlparser_data_handler handler);
qelhtmlparser_start_handler qelhtmlparser_set_start_element_handler(qelhtmlparser* parser,
                                                                    qelhtmlparser_start_handler handler);
qelhtmlparser_end_handler qelhtmlparser_set_end_element_handler(qelhtmlparser* parser,
                                                                qelhtmlparser_end_handler handler);

// Automatic end tags for img, meta, !doctype and br; on after creation.
int qelhtmlparser_set_auto_end(qelhtmlparser* parser, int flag);

// 1-based position, for messages.
int qelhtmlparser_line(const qelhtmlparser* parser);
int qelhtmlparser_column(const qelhtmlparser* parser);

// Processes one piece of input. Answers 0.
int qelhtmlparser_parse(qelhtmlparser* parser, const char* bytes, size_t length);
// The whole NUL-terminated text; answers its length (0 for null).
size_t qelhtmlparser_parse_string(qelhtmlparser* parser, const char* text);
// Reads in pieces of at most 1024 bytes until the end; answers the bytes read.
long qelhtmlparser_parse_file(qelhtmlparser* parser, FILE* stream);
// The same with read(2); answers the sum of all read results (a final -1 included).
long qelhtmlparser_parse_fd(qelhtmlparser* parser, int descriptor);
