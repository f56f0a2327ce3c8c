// The request on the wire: send step, request line, header block and body.
#include <cstdarg>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

#include "net/qelform.h"
#include "net/qelhttp_internal.h"
#include "support/qelbase64.h"
#include "support/qelformat.h"

namespace qelhttp {

namespace {

const char* method_word(int method) {
  switch (method) {
    case QELHTTP_POST:
    case QELHTTP_POST_MULTIPART: return "POST";
    case QELHTTP_PUT: return "PUT";
    case QELHTTP_DELETE: return "DELETE";
    case QELHTTP_GET: return "GET";
    case QELHTTP_HEAD: return "HEAD";
    default: return nullptr;
  }
}

std::string version_text(const QELHTTP* http) {
  char text[32];
  QELSnprintf(text, sizeof text, "%sHTTP/%s%s", " ", http->version == 1 ? "1.1" : "1.0", "\r\n");
  return text;
}

// Formats one header line into 4096 bytes and sends it.
int send_line(QELHTTP* http, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));
int send_line(QELHTTP* http, size_t size, const char* format, ...) {
  std::string line(size, '\0');
  va_list args;
  va_start(args, format);
  QELVsnprintf(line.data(), size, format, args);
  va_end(args);
  return send_text(http, line.c_str());
}

// The target as it may stand in a request line: a space, control bytes and
// bytes from 0x80 up become %XX; everything else, an existing %XX among it,
// goes as written.
std::string encoded_target(const char* target) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(std::strlen(target));
  for (const char* p = target; *p; ++p) {
    const auto byte = static_cast<unsigned char>(*p);
    if (byte > 0x20 && byte < 0x7F) {
      out += *p;
    } else {
      out += '%';
      out += kHex[byte >> 4];
      out += kHex[byte & 15];
    }
  }
  return out;
}

int send_query(QELHTTP* http) {
  if (!http->fields) return 0;
  const char* introducer = std::strchr(http->url->path, '?') ? "&" : "?";
  if (send_text(http, introducer) != 0) return -1;
  return QELFormFieldText(http->fields, http->method == QELHTTP_GET, form_send, http) < 0 ? -1 : 0;
}

int send_content_lines(QELHTTP* http) {
  if (http->method == QELHTTP_POST && http->upload) {
    return send_line(http, 4096, "Content-Length: %d\r\nContent-Type: %s\r\n", http->upload->length,
                     http->upload->content_type ? http->upload->content_type : "");
  }
  if (http->method == QELHTTP_POST || http->method == QELHTTP_PUT || http->method == QELHTTP_DELETE) {
    const long length = QELFormEncodedLength(http->fields);
    if (length < 0) return -1;
    return send_line(http, 4096, "Content-Length: %d\r\nContent-Type: application/x-www-form-urlencoded\r\n",
                     static_cast<int>(length));
  }
  if (http->method == QELHTTP_POST_MULTIPART) {
    const long length = QELFormMultipartLength(http->fields, http->boundary);
    if (length < 0) return -1;
    return send_line(http, 4096, "Content-Length: %d\r\nContent-Type: multipart/form-data; boundary=%s\r\n",
                     static_cast<int>(length), http->boundary);
  }
  return 0;
}

int send_authorization(QELHTTP* http) {
  if (!http->url->user[0]) return 0;
  char credentials[51];
  QELSnprintf(credentials, sizeof credentials, "%s:%s", http->url->user, http->url->password);
  char* encoded = nullptr;
  if (QELBase64Encode(credentials, std::strlen(credentials), &encoded) < 0) return -1;
  const int result = send_line(http, 150, "Authorization: Basic %s\r\n", encoded);
  std::free(encoded);
  return result;
}

int send_host(QELHTTP* http) {
  const char* default_port = http->https ? "443" : "80";
  if (std::strcmp(http->url->port, default_port) != 0)
    return send_line(http, 4096, "Host: %s:%s\r\n", http->url->host, http->url->port);
  return send_line(http, 4096, "Host: %s\r\n", http->url->host);
}

int send_extra_headers(QELHTTP* http) {
  const char* extra = http->extra_headers;
  if (!extra || !*extra) return 0;
  if (send_text(http, extra) != 0) return -1;
  return extra[std::strlen(extra) - 1] == '\n' ? 0 : send_text(http, "\r\n");
}

}  // namespace

void status(QELHTTP* http, int code, const char* text) {
  if (http->status_callback) http->status_callback(http->user, code, text);
}

void statusf(QELHTTP* http, int code, size_t size, const char* format, ...) {
  if (!http->status_callback) return;
  std::string text(size, '\0');
  va_list args;
  va_start(args, format);
  QELVsnprintf(text.data(), size, format, args);
  va_end(args);
  http->status_callback(http->user, code, text.c_str());
}

int send(QELHTTP* http, const char* data, int length) {
  if (cancelled(http) || !http->socket || length < 0) return -1;
  if (length == 0) return 0;
  // The counter is signed 32-bit; a request that would pass it is refused.
  if (length > INT32_MAX - http->bytes_sent) return -1;
  if (QELTCPSocketWrite(http->socket.get(), data, length) != length) return -1;
  http->bytes_sent += length;
  return 0;
}

int send_text(QELHTTP* http, const char* text) {
  return send(http, text, static_cast<int>(std::strlen(text)));
}

int form_send(void* context, const char* data, int length) {
  return send(static_cast<QELHTTP*>(context), data, length);
}

int send_request_line(QELHTTP* http) {
  const char* word = method_word(http->method);
  if (!word) return -24;
  // Room for every field of the record at its longest, so that the whole
  // address always fits; a cut one would ask for another resource.
  char whole_url[sizeof(QELURL) + 16];
  const char* target = http->url->path;
  if (http->proxy) {
    target = QELURLFormat(http->url, whole_url, sizeof whole_url);
    if (!target || std::strlen(target) + 1 >= sizeof whole_url) return -1;
  }
  std::string line = std::string(word) + " " + encoded_target(target);
  if (http->method != QELHTTP_GET && http->method != QELHTTP_HEAD) line += version_text(http);
  return send(http, line.data(), static_cast<int>(line.size())) == 0 ? 0 : -1;
}

int send_header_block(QELHTTP* http) {
  if (http->method == QELHTTP_GET || http->method == QELHTTP_HEAD) {
    if (send_query(http) != 0 || send_text(http, version_text(http).c_str()) != 0) return -2;
  }
  if (send_content_lines(http) != 0 || send_authorization(http) != 0 || send_host(http) != 0 ||
      send_extra_headers(http) != 0)
    return -2;
  if (http->connection_close == 1 && send_text(http, "Connection: close\r\n") != 0) return -2;
  return send_text(http, "\r\n") == 0 ? 0 : -2;
}

int send_body(QELHTTP* http) {
  switch (http->method) {
    case QELHTTP_POST:
      if (http->upload) {
        const QELHTTPUpload* upload = http->upload;
        if (upload->length < 0 || (upload->length > 0 && !upload->data)) return -3;
        return send(http, upload->data, upload->length) == 0 ? 0 : -3;
      }
      [[fallthrough]];
    case QELHTTP_PUT:
    case QELHTTP_DELETE:
      if (QELFormFieldText(http->fields, 0, form_send, http) < 0) return -3;
      return send_text(http, "\r\n") == 0 ? 0 : -3;
    case QELHTTP_POST_MULTIPART:
      return QELFormMultipartBody(http->fields, http->boundary, form_send, http) == 0 ? 0 : -3;
    default: return 0;
  }
}

}  // namespace qelhttp
