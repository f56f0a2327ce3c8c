// The QELHTTP record and the pieces of a transfer that its files share:
// the send step, the request writer and the response reader.
#pragma once

#include <atomic>
#include <cstdint>
#include <ctime>
#include <memory>
#include <vector>

#include "net/qelbufio.h"
#include "net/qelhttp.h"

// Texts the object owns, allocated with malloc as the socket's are.
using QELHTTPText = QELSocketText;

struct QELHTTP {
  QELTCPSocketPtr socket;               // kept for its error text
  QELURL* url = nullptr;                // target; owned when url_owned holds it
  QELURL* proxy = nullptr;              // null: direct
  int no_proxy = 0;                     // do not consult the system settings
  const char* extra_headers = nullptr;  // borrowed
  QELHTTPText output_path;
  char delimiter = '\n';
  int32_t status_code = 0;
  int https = 0;  // set by an https URL or proxy text, never cleared
  int include_headers = 0;
  int32_t bytes_sent = 0;
  int32_t bytes_received = 0;
  int any_status = 0;
  int32_t last_error = 0;
  int32_t read_timeout = 0;
  uint32_t aux1 = 0;
  uint32_t aux2 = 0;
  int32_t request_time = 0;
  int32_t response_time = 0;
  int32_t transfer_time = 0;
  QELURLPtr proxy_owned;
  QELURLPtr url_owned;
  std::atomic<int32_t> cancel_count{0};  // raised from other threads
  int32_t connection_close = 1;
  int32_t method = 0;
  void* user = nullptr;
  void* header_user = nullptr;
  int chunked = 0;
  QELHTTPBodyCallback body_callback = nullptr;
  QELHTTPHeaderLineCallback header_line_callback = nullptr;
  QELHTTPHeaderCallback header_callback = nullptr;
  QELSocketIOCallback socket_io_callback = nullptr;
  QELSocketStatusCallback socket_status_callback = nullptr;
  QELHTTPStatusCallback status_callback = nullptr;
  QELHTTPPreconnectCallback preconnect_callback = nullptr;
  QELHTTPField* fields = nullptr;  // owned list
  char boundary[32] = {};
  void (*tls_installer)(QELTCPSocket* socket) = nullptr;
  const QELSSLSettings* tls_settings = nullptr;  // borrowed
  int32_t version = 0;
  const QELHTTPUpload* upload = nullptr;  // borrowed
  int32_t keep_body = 0;
  // Collected body: body_length bytes and a terminator once data arrived;
  // the memory stays between transfers.
  std::vector<char> body;
  size_t body_length = 0;
  bool body_collected = false;
  QELHTTPText location;
  // The response's "Content-Length", -1 when it gave none; a body that
  // ends before that many bytes is cut short.
  int64_t content_length = -1;
  bool content_length_invalid = false;
  // The most bytes a response head (interim heads included) may take.
  int32_t head_limit = 64 * 1024;
};

namespace qelhttp {

inline bool cancelled(const QELHTTP* http) {
  return http->cancel_count.load() != 0;
}

// While alive, the transfer's socket ends every wait by the time the read
// time-out has passed from now, so that a peer cannot stretch one exchange
// (a response head, a chunk-size line, a proxy's answer) by trickling it.
// No limit when the time-out is 0 or there is no socket.
class WithinTimeout {
 public:
  explicit WithinTimeout(QELHTTP* http);
  ~WithinTimeout();
  WithinTimeout(const WithinTimeout&) = delete;
  WithinTimeout& operator=(const WithinTimeout&) = delete;

 private:
  QELTCPSocket* socket_;
  int64_t outer_deadline_ = 0;
};

void status(QELHTTP* http, int code, const char* text);
// Status message formatted into size bytes (cut like every bounded print).
void statusf(QELHTTP* http, int code, size_t size, const char* format, ...) __attribute__((format(printf, 4, 5)));

// One piece of the request on the wire: refused after a cancel, fails on a
// short write, counts what went out. 0 on success, -1 on failure.
int send(QELHTTP* http, const char* data, int length);
int send_text(QELHTTP* http, const char* text);
// The same, shaped for the form writers (context = the object).
int form_send(void* context, const char* data, int length);

// Request line, header block and body: 0 or the transfer's error code.
int send_request_line(QELHTTP* http);
int send_header_block(QELHTTP* http);
int send_body(QELHTTP* http);

// Output sink of the body loop: a descriptor, or -1 when none is open.
struct BodySink {
  int descriptor = -1;
};

// QELHTTPSystemProxy for a target whose port is known too, which entries
// of the environment's bypass list may name.
char* system_proxy(char* buffer, int size, int https, const char* host, const char* port);

// Response head (status line, 100 heads, header lines). The counted header
// bytes, or a negative error code.
int read_head(QELHTTP* http, QELBuf* reader, time_t response_start, time_t* transfer_start);
// Body loop after the head; adds what it delivered to *total. 0 or a
// negative error code.
int read_body(QELHTTP* http, QELBuf* reader, const BodySink& sink, int32_t* total);

}  // namespace qelhttp
