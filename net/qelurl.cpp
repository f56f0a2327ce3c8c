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

}  // namespace

int QELURLParse(QELURL* url, const char* text) {
  if (text == nullptr || url == nullptr) return QELURL_ERR_NULL_TEXT;

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
      if (!take_until(rest, ':', 25, url->user, sizeof url->user))
        return QELURL_ERR_USER_BEFORE_COLON;
      ++rest;
      if (!take_until(rest, '@', 25, url->password, sizeof url->password))
        return QELURL_ERR_PASSWORD_TOO_LONG;
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
      qel_strlcpy(url->port, rest, kPortCut + 1);
      have_path = false;
    }
  } else {
    qel_strlcpy(url->port, strcasecmp(url->scheme, "https") == 0 ? "443" : "80",
                sizeof url->port);
    if (!take_until(rest, '/', 255, url->host, sizeof url->host)) {
      qel_strlcpy(url->host, rest, kHostCut + 1);
      have_path = false;
    }
  }

  if (have_path)
    qel_strlcpy(url->path, rest, kPathCut + 1);
  else
    qel_strlcpy(url->path, "/", sizeof url->path);
  return QELURL_OK;
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
    QELSnprintf(buffer, n, "%s://%s:%s@%s:%s%s", url->scheme, url->user, url->password, url->host,
                url->port, url->path);
  else
    QELSnprintf(buffer, n, "%s://%s@%s:%s%s", url->scheme, url->user, url->host, url->port,
                url->path);
  return buffer;
}

void QELURLDestroy(QELURL* url) { std::unique_ptr<QELURL> owned(url); }
