// URL text to QELURL record and back: one left-to-right pass with fixed
// field limits, no decoding or validation of characters.
#include "net/qelurl.h"

#include <strings.h>

#include <cstring>
#include <memory>

#include "support/qelformat.h"
#include "support/qelstring.h"

namespace {

// Longest values kept when a field is cut instead of ending at a delimiter:
// one character less than the field has room for.
constexpr size_t kHostCut = 254;
constexpr size_t kPortCut = 39;
constexpr size_t kPathCut = 1023;

// Takes the text up to the first delim into field when that delimiter sits
// at an index below limit; advances rest to the delimiter. False otherwise.
bool take_until(const char*& rest, char delim, size_t limit, char* field, size_t width) {
  const char* found = std::strchr(rest, delim);
  if (found == nullptr) return false;
  size_t index = static_cast<size_t>(found - rest);
  if (index >= limit) return false;
  size_t copy = index < width - 1 ? index : width - 1;
  std::memcpy(field, rest, copy);
  field[copy] = '\0';
  rest = found;
  return true;
}

// Whether a host or port text holds a byte that no request line or
// header may carry as it stands.
bool unsendable(const char* field) {
  for (const char* p = field; *p; ++p)
    if (static_cast<unsigned char>(*p) <= 0x20 || *p == 0x7F) return true;
  return false;
}

// The parse; *cut (when given) learns whether host, port or path had to be
// cut to fit its field.
int parse(QELURL* url, const char* text, bool* cut) {
  if (text == nullptr || url == nullptr) return QELURL_ERR_NULL_TEXT;
  bool was_cut = false;

  const char* rest = text;
  const char* separator = std::strstr(text, "://");
  if (separator != nullptr && separator - text < 20) {
    size_t length = static_cast<size_t>(separator - text);
    std::memcpy(url->scheme, text, length);
    url->scheme[length] = '\0';
    rest = separator + 3;
  } else {
    qel_strlcpy(url->scheme, "http", sizeof url->scheme);
  }

  const char* at = std::strchr(rest, '@');
  const char* slash = std::strchr(rest, '/');
  if (at != nullptr && (slash == nullptr || at < slash)) {
    const char* colon = std::strchr(rest, ':');
    if (colon != nullptr && colon <= at) {
      if (!take_until(rest, ':', 25, url->user, sizeof url->user)) return QELURL_ERR_USER_BEFORE_COLON;
      ++rest;
      if (!take_until(rest, '@', 25, url->password, sizeof url->password)) return QELURL_ERR_PASSWORD_TOO_LONG;
    } else {
      if (!take_until(rest, '@', 25, url->user, sizeof url->user)) return QELURL_ERR_USER_TOO_LONG;
      url->password[0] = '\0';
    }
    rest = at + 1;
  }

  bool have_path = true;
  if (std::strchr(rest, ':') != nullptr) {
    if (!take_until(rest, ':', 255, url->host, sizeof url->host)) return QELURL_ERR_HOST_TOO_LONG;
    ++rest;
    if (!take_until(rest, '/', 40, url->port, sizeof url->port)) {
      was_cut = std::strlen(rest) > kPortCut;
      qel_strlcpy(url->port, rest, kPortCut + 1);
      have_path = false;
    }
  } else {
    qel_strlcpy(url->port, strcasecmp(url->scheme, "https") == 0 ? "443" : "80", sizeof url->port);
    if (!take_until(rest, '/', 255, url->host, sizeof url->host)) {
      was_cut = std::strlen(rest) > kHostCut;
      qel_strlcpy(url->host, rest, kHostCut + 1);
      have_path = false;
    }
  }

  if (have_path) {
    was_cut = was_cut || std::strlen(rest) > kPathCut;
    qel_strlcpy(url->path, rest, kPathCut + 1);
  } else {
    qel_strlcpy(url->path, "/", sizeof url->path);
  }
  if (cut != nullptr) *cut = was_cut;
  return QELURL_OK;
}

}  // namespace

int QELURLParse(QELURL* url, const char* text) {
  return parse(url, text, nullptr);
}

QELURL* QELURLCreate(const char* text) {
  auto url = std::make_unique<QELURL>();  // value-initialised: all fields empty
  if (QELURLParse(url.get(), text) < 0) return nullptr;
  return url.release();
}

char* QELURLFormat(const QELURL* url, char* buffer, int size) {
  if (url == nullptr || buffer == nullptr || size <= 0) return nullptr;
  size_t n = static_cast<size_t>(size);
  if (url->user[0] == '\0')
    QELSnprintf(buffer, n, "%s://%s:%s%s", url->scheme, url->host, url->port, url->path);
  else if (url->password[0] != '\0')
    QELSnprintf(buffer, n, "%s://%s:%s@%s:%s%s", url->scheme, url->user, url->password, url->host, url->port,
                url->path);
  else
    QELSnprintf(buffer, n, "%s://%s@%s:%s%s", url->scheme, url->user, url->host, url->port, url->path);
  return buffer;
}

QELURL* QELURLCreateWhole(const char* text) {
  auto url = std::make_unique<QELURL>();
  bool cut = false;
  if (parse(url.get(), text, &cut) < 0 || cut || unsendable(url->host) || unsendable(url->port)) return nullptr;
  return url.release();
}

void QELURLDestroy(QELURL* url) {
  std::unique_ptr<QELURL> owned(url);
}
