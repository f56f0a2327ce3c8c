// Absolute URLs as a record of fixed-width text fields: parsing a URL text
// into the record and formatting the record back into text.
#pragma once

#include <memory>

// Every field is a terminated string; the widths include the terminator and
// bound what the parser stores (scheme 19 characters, path 1023, host 254,
// user and password 24, port 39).
struct QELURL {
  char scheme[21];
  char path[1025];
  char host[256];
  char user[26];
  char password[26];
  char port[41];
};

// Results of QELURLParse.
enum {
  QELURL_OK = 0,
  QELURL_ERR_NULL_TEXT = -1,
  QELURL_ERR_USER_TOO_LONG = -2,      // user name before '@'
  QELURL_ERR_USER_BEFORE_COLON = -3,  // user name before ':'
  QELURL_ERR_PASSWORD_TOO_LONG = -4,
  QELURL_ERR_HOST_TOO_LONG = -5,  // host before a ':'
};

// A new record parsed from text, or null when the text is null or the parse
// fails. Release it with QELURLDestroy.
QELURL* QELURLCreate(const char* text);

// As QELURLCreate, but null also when the host, port or path had to be cut
// to fit its field, or when host or port hold a space or control byte: such
// a record would name, or ask for, something else than the text.
QELURL* QELURLCreateWhole(const char* text);

// Fills url from text (the record should start zero-filled). 0 or one of the
// negative codes above.
int QELURLParse(QELURL* url, const char* text);

// Writes "scheme://[user[:password]@]host:port/path" cut to size - 1
// characters. Answers buffer, or null when url or buffer is null or size < 1.
char* QELURLFormat(const QELURL* url, char* buffer, int size);

void QELURLDestroy(QELURL* url);

struct QELURLDeleter {
  void operator()(QELURL* url) const { QELURLDestroy(url); }
};
using QELURLPtr = std::unique_ptr<QELURL, QELURLDeleter>;
