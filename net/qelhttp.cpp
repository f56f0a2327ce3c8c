// The QELHTTP object: creation, numbered options, results and error texts.
#include <strings.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <new>

#include "net/qelform.h"
#include "net/qelhttp_internal.h"
#include "support/qelformat.h"

namespace {

// Boundaries of objects made in the same second differ by this count; like
// the rest of an object's setup it is not meant to be shared across threads.
int g_created = 0;

template <typename Function>
Function as_function(intptr_t value) {
  return reinterpret_cast<Function>(value);
}

int set_url_text(QELHTTP* http, const char* text, bool proxy) {
  QELURLPtr& owned = proxy ? http->proxy_owned : http->url_owned;
  QELURL*& target = proxy ? http->proxy : http->url;
  owned.reset();
  target = nullptr;
  if (!text) {
    if (proxy) http->no_proxy = 1;
    return 0;
  }
  // A cut address would fetch another resource than the one asked for.
  owned.reset(QELURLCreateWhole(text));
  if (!owned) return -1;
  target = owned.get();
  if (strcasecmp(target->scheme, "https") == 0) http->https = 1;
  return 0;
}

void set_url_object(QELHTTP* http, QELURL* url, bool proxy) {
  (proxy ? http->proxy_owned : http->url_owned).reset();
  (proxy ? http->proxy : http->url) = url;
}

int set_option(QELHTTP* http, int option, intptr_t value) {
  if (!http) return 0;
  const char* text = reinterpret_cast<const char*>(value);
  switch (option) {
    case QELHTTP_OPT_URL: return set_url_text(http, text, false);
    case QELHTTP_OPT_URL_OBJECT: set_url_object(http, reinterpret_cast<QELURL*>(value), false); break;
    case QELHTTP_OPT_METHOD: http->method = static_cast<int32_t>(value); break;
    case QELHTTP_OPT_BODY_CALLBACK: http->body_callback = as_function<QELHTTPBodyCallback>(value); break;
    case QELHTTP_OPT_HEADER_LINE_CALLBACK:
      http->header_line_callback = as_function<QELHTTPHeaderLineCallback>(value);
      break;
    case QELHTTP_OPT_HEADER_CALLBACK: http->header_callback = as_function<QELHTTPHeaderCallback>(value); break;
    case QELHTTP_OPT_USER_DATA: http->user = reinterpret_cast<void*>(value); break;
    case QELHTTP_OPT_HEADER_USER_DATA: http->header_user = reinterpret_cast<void*>(value); break;
    case QELHTTP_OPT_INCLUDE_HEADERS: http->include_headers = value != 0; break;
    case QELHTTP_OPT_LINE_DELIMITER: http->delimiter = static_cast<char>(value); break;
    case QELHTTP_OPT_ANY_STATUS: http->any_status = value != 0; break;
    case QELHTTP_OPT_STATUS_CALLBACK: http->status_callback = as_function<QELHTTPStatusCallback>(value); break;
    case QELHTTP_OPT_SOCKET_STATUS_CALLBACK:
      http->socket_status_callback = as_function<QELSocketStatusCallback>(value);
      break;
    case QELHTTP_OPT_SOCKET_IO_CALLBACK: http->socket_io_callback = as_function<QELSocketIOCallback>(value); break;
    case QELHTTP_OPT_READ_TIMEOUT: http->read_timeout = static_cast<int32_t>(value); break;
    case QELHTTP_OPT_AUX2: http->aux2 = static_cast<uint32_t>(value); break;
    case QELHTTP_OPT_AUX1: http->aux1 = static_cast<uint32_t>(value); break;
    case QELHTTP_OPT_PROXY: return set_url_text(http, text, true);
    case QELHTTP_OPT_PROXY_OBJECT: set_url_object(http, reinterpret_cast<QELURL*>(value), true); break;
    case QELHTTP_OPT_EXTRA_HEADERS: http->extra_headers = text; break;
    case QELHTTP_OPT_OUTPUT_FILE:
      http->output_path.reset();
      if (!text) return -1;
      http->output_path.reset(strdup(text));
      return http->output_path ? 0 : -1;
    case QELHTTP_OPT_VERSION: http->version = static_cast<int32_t>(value); break;
    case QELHTTP_OPT_CONNECTION_CLOSE: http->connection_close = static_cast<int32_t>(value); break;
    case QELHTTP_OPT_PRECONNECT_CALLBACK:
      http->preconnect_callback = as_function<QELHTTPPreconnectCallback>(value);
      break;
    case QELHTTP_OPT_UPLOAD: http->upload = reinterpret_cast<const QELHTTPUpload*>(value); break;
    case QELHTTP_OPT_KEEP_BODY: http->keep_body = static_cast<int32_t>(value); break;
    default: break;
  }
  return 0;
}

void apply_tls_settings(void* user, QELHTTP* http) {
  (void)user;
  if (http && http->socket && http->tls_settings) QELSockSSLApplySettings(http->socket.get(), http->tls_settings);
}

}  // namespace

QELHTTP* QELHTTPCreate() {
  QELHTTP* http = new (std::nothrow) QELHTTP;
  if (!http) return nullptr;
  QELSnprintf(http->boundary, sizeof http->boundary, "NEXTPART%09d%02d",
              static_cast<int>(std::time(nullptr) % 1000000000), g_created % 100);
  ++g_created;
  return http;
}

void QELHTTPDestroy(QELHTTP* http) {
  if (!http) return;
  QELFormClear(&http->fields);
  if (http->socket) QELTCPSocketClose(http->socket.get());
  delete http;
}

int QELHTTPSetOption(QELHTTP* http, int option, const void* value) {
  return set_option(http, option, reinterpret_cast<intptr_t>(value));
}

int QELHTTPSetOptionInt(QELHTTP* http, int option, intptr_t value) {
  return set_option(http, option, value);
}

void QELHTTPEnableSSL(QELHTTP* http) {
  if (http) http->tls_installer = QELSockSSLInstall;
}

int QELHTTPSetSSLSettings(QELHTTP* http, const QELSSLSettings* settings) {
  if (http && settings) {
    http->tls_settings = settings;
    http->user = http;
    http->preconnect_callback = apply_tls_settings;
  }
  return 1;
}

void QELHTTPCancel(QELHTTP* http) {
  if (http) ++http->cancel_count;
}

int QELHTTPStatusCode(const QELHTTP* http) {
  return http ? http->status_code : -1;
}
int QELHTTPBytesSent(const QELHTTP* http) {
  return http ? http->bytes_sent : -1;
}
int QELHTTPBytesReceived(const QELHTTP* http) {
  return http ? http->bytes_received : -1;
}
int QELHTTPLastError(const QELHTTP* http) {
  return http ? http->last_error : -1;
}
int QELHTTPRequestTime(const QELHTTP* http) {
  return http ? http->request_time : -1;
}
int QELHTTPResponseTime(const QELHTTP* http) {
  return http ? http->response_time : -1;
}
int QELHTTPTransferTime(const QELHTTP* http) {
  return http ? http->transfer_time : -1;
}

const char* QELHTTPBody(const QELHTTP* http) {
  return http && http->body_collected ? http->body.data() : nullptr;
}

const char* QELHTTPLocation(const QELHTTP* http) {
  return http ? http->location.get() : nullptr;
}
QELTCPSocket* QELHTTPSocket(const QELHTTP* http) {
  return http ? http->socket.get() : nullptr;
}
QELURL* QELHTTPGetURL(const QELHTTP* http) {
  return http ? http->url : nullptr;
}

char* QELHTTPProxyText(const QELHTTP* http, char* buffer, int size) {
  if (!http || !http->proxy) return nullptr;
  return QELURLFormat(http->proxy, buffer, size);
}

const char* QELHTTPError(const QELHTTP* http) {
  return QELHTTPErrorText(http ? http->last_error : -15);
}

const char* QELHTTPErrorDescription(const QELHTTP* http, char* buffer, int size) {
  if (!http || !buffer) return QELHTTPErrorText(http ? http->last_error : -15);
  if (size <= 0) return buffer;
  const auto length = static_cast<size_t>(size);
  const char* text = QELHTTPErrorText(http->last_error);
  if (http->socket) {
    const bool failed = QELTCPSocketErrorCode(http->socket.get()) != 0;
    QELSnprintf(buffer, length, "%s, HTTP Status Code(%d)%s %s", text, http->status_code, failed ? ", Socket:" : "",
                failed ? QELTCPSocketError(http->socket.get()) : "");
  } else {
    QELSnprintf(buffer, length, "%s, Socket: No socket", text);
  }
  if (http->last_error == -21 || http->last_error == -22 || http->last_error == -23) {
    const size_t used = std::strlen(buffer);
    if (used + 1 < length) QELSnprintf(buffer + used, length - used, " Errno: %s ", std::strerror(errno));
  }
  return buffer;
}

QELHTTPField* QELHTTPAddField(QELHTTP* http, const char* name, const char* value, int copy) {
  if (!http) return nullptr;
  return QELFormAddValue(&http->fields, name, value, copy);
}

QELHTTPField* QELHTTPAddFile(QELHTTP* http, const char* path, const char* content_type, const char* name, int copy) {
  if (!http) return nullptr;
  return QELFormAddFile(&http->fields, path, content_type, name, copy);
}

int QELHTTPSetFileName(QELHTTP*, QELHTTPField* field, const char* filename) {
  return QELFormSetFileName(field, filename);
}

void QELHTTPClearFields(QELHTTP* http) {
  if (http) QELFormClear(&http->fields);
}
