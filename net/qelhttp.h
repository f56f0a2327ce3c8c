// HTTP/1.0 and 1.1 client: one request per QELHTTPExecute on a configured
// QELHTTP object, with proxy lookup, CONNECT tunnels and form bodies.
#pragma once

#include <cstdint>
#include <memory>

#include "net/qelsock.h"
#include "net/qelsockssl.h"
#include "net/qelurl.h"

struct QELHTTP;

// Methods (option 2).
inline constexpr int QELHTTP_POST = 1;
inline constexpr int QELHTTP_POST_MULTIPART = 2;
inline constexpr int QELHTTP_PUT = 3;
inline constexpr int QELHTTP_DELETE = 4;
inline constexpr int QELHTTP_GET = 5;
inline constexpr int QELHTTP_HEAD = 6;

// Option codes; the numbers are part of the interface.
inline constexpr int QELHTTP_OPT_URL = 0;
inline constexpr int QELHTTP_OPT_URL_OBJECT = 1;
inline constexpr int QELHTTP_OPT_METHOD = 2;
inline constexpr int QELHTTP_OPT_BODY_CALLBACK = 3;
inline constexpr int QELHTTP_OPT_HEADER_LINE_CALLBACK = 4;
inline constexpr int QELHTTP_OPT_HEADER_CALLBACK = 5;
inline constexpr int QELHTTP_OPT_USER_DATA = 6;
inline constexpr int QELHTTP_OPT_HEADER_USER_DATA = 7;
inline constexpr int QELHTTP_OPT_INCLUDE_HEADERS = 8;
inline constexpr int QELHTTP_OPT_LINE_DELIMITER = 9;
inline constexpr int QELHTTP_OPT_ANY_STATUS = 10;
inline constexpr int QELHTTP_OPT_STATUS_CALLBACK = 11;
inline constexpr int QELHTTP_OPT_SOCKET_STATUS_CALLBACK = 12;
inline constexpr int QELHTTP_OPT_SOCKET_IO_CALLBACK = 13;
inline constexpr int QELHTTP_OPT_READ_TIMEOUT = 14;
inline constexpr int QELHTTP_OPT_AUX2 = 15;
inline constexpr int QELHTTP_OPT_AUX1 = 16;
inline constexpr int QELHTTP_OPT_PROXY = 17;
inline constexpr int QELHTTP_OPT_PROXY_OBJECT = 18;
inline constexpr int QELHTTP_OPT_EXTRA_HEADERS = 19;
inline constexpr int QELHTTP_OPT_OUTPUT_FILE = 20;
inline constexpr int QELHTTP_OPT_VERSION = 21;
inline constexpr int QELHTTP_OPT_CONNECTION_CLOSE = 22;
inline constexpr int QELHTTP_OPT_PRECONNECT_CALLBACK = 23;
inline constexpr int QELHTTP_OPT_UPLOAD = 24;
inline constexpr int QELHTTP_OPT_KEEP_BODY = 25;

// Callbacks. Status, body and socket callbacks and the pre-connect callback
// get the user value (option 6) first; both header callbacks get the header
// user value (option 7).
using QELHTTPBodyCallback = int (*)(void* user, const char* data, int length);
using QELHTTPHeaderLineCallback = void (*)(void* user, const char* line, int length);
using QELHTTPHeaderCallback = void (*)(void* user, const char* name, const char* value);
using QELHTTPStatusCallback = void (*)(void* user, int code, const char* text);
using QELHTTPPreconnectCallback = void (*)(void* user, QELHTTP* http);
// Stands in for the window message of the asynchronous transfer: called on
// the transfer's thread once it has finished, with the object and the thread
// handle QELHTTPExecuteAsync returned.
using QELHTTPAsyncCallback = void (*)(void* host, QELHTTP* http, uintptr_t thread);

// Raw POST body (option 24), owned by the caller.
struct QELHTTPUpload {
  const char* data;
  int32_t length;
  const char* content_type;
};

// One form field; the object keeps them in insertion order.
struct QELHTTPField {
  int kind;  // 0 value field, 1 file field
  char* path;
  char* filename;
  char* content_type;
  char* name;
  char* value;
  QELHTTPField* next;
  int owns_texts;
};

QELHTTP* QELHTTPCreate();
void QELHTTPDestroy(QELHTTP* http);

struct QELHTTPDeleter {
  void operator()(QELHTTP* http) const { QELHTTPDestroy(http); }
};
using QELHTTPPtr = std::unique_ptr<QELHTTP, QELHTTPDeleter>;
// Pointer-sized value: text, record, function or number as the option needs.
int QELHTTPSetOption(QELHTTP* http, int option, const void* value);
int QELHTTPSetOptionInt(QELHTTP* http, int option, intptr_t value);
void QELHTTPEnableSSL(QELHTTP* http);
int QELHTTPSetSSLSettings(QELHTTP* http, const QELSSLSettings* settings);

// 0 or more bytes received on success, a negative error code otherwise.
int QELHTTPExecute(QELHTTP* http);
void QELHTTPCancel(QELHTTP* http);
// Runs QELHTTPExecute on a thread of its own; 0 when it cannot start.
uintptr_t QELHTTPExecuteAsync(QELHTTP* http, QELHTTPAsyncCallback done, void* host);

int QELHTTPStatusCode(const QELHTTP* http);
int QELHTTPBytesSent(const QELHTTP* http);
int QELHTTPBytesReceived(const QELHTTP* http);
int QELHTTPLastError(const QELHTTP* http);
int QELHTTPRequestTime(const QELHTTP* http);
int QELHTTPResponseTime(const QELHTTP* http);
int QELHTTPTransferTime(const QELHTTP* http);
const char* QELHTTPBody(const QELHTTP* http);
const char* QELHTTPLocation(const QELHTTP* http);
QELTCPSocket* QELHTTPSocket(const QELHTTP* http);
QELURL* QELHTTPGetURL(const QELHTTP* http);
char* QELHTTPProxyText(const QELHTTP* http, char* buffer, int size);

const char* QELHTTPErrorText(int code);
const char* QELHTTPError(const QELHTTP* http);
const char* QELHTTPErrorDescription(const QELHTTP* http, char* buffer, int size);

// GET into a file; see the result codes above plus -17 (no URL), -19 (URL
// does not parse), -1 (no output path), 0 (no memory for the object).
int QELHTTPDownload(const char* url, const char* output_path, QELHTTPBodyCallback body, QELHTTPStatusCallback status,
                    QELSocketStatusCallback socket_status, QELHTTPHeaderLineCallback header_line,
                    QELSocketIOCallback socket_io);
// As QELHTTPDownload with TLS and HTTP/1.1, following up to five redirects;
// answers the result of the last attempt.
int QELHTTPDownloadEx(const char* url, const char* output_path, const QELSSLSettings* settings,
                      QELHTTPBodyCallback body, QELHTTPStatusCallback status, QELSocketStatusCallback socket_status,
                      QELHTTPHeaderLineCallback header_line, void* header_user, QELHTTPHeaderCallback header,
                      void* header_user2, QELSocketIOCallback socket_io);

// Form fields and bodies. The adders answer the new field, or null when
// memory runs out (a pointer result has no room for a negative code).
QELHTTPField* QELHTTPAddField(QELHTTP* http, const char* name, const char* value, int copy);
QELHTTPField* QELHTTPAddFile(QELHTTP* http, const char* path, const char* content_type, const char* name, int copy);
int QELHTTPSetFileName(QELHTTP* http, QELHTTPField* field, const char* filename);
void QELHTTPClearFields(QELHTTP* http);

// Proxy settings of the current user for a host; null = go direct.
char* QELHTTPSystemProxy(char* buffer, int size, int https, const char* host);
// Opens a CONNECT tunnel through the proxy: 1, or -13 / -14.
int QELHTTPTunnel(QELHTTP* http);
