// One transfer: output file, proxy lookup, connect (and tunnel), request,
// response head and body, results.
#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <ctime>
#include <string>

#include "net/qelhttp_internal.h"
#include "support/qelfile.h"

namespace {

struct Descriptor {
  int fd = -1;
  ~Descriptor() {
    if (fd >= 0) ::close(fd);
  }
};

// Opens the output file, making its missing folders: 0 or -18, -20, -21, -22.
int open_output(const char* path, Descriptor* out) {
  if (!*path) return -18;
  const char* slash = std::strrchr(path, '/');
  if (!*(slash ? slash + 1 : path)) return -20;
  if (slash && slash != path) {
    const std::string folder(path, static_cast<size_t>(slash - path));
    if (!qel_mkdirs(folder.c_str(), 0700)) return -21;
  }
  // Never through a link: a name planted in a shared folder must not turn
  // the download into a write to some other file.
  out->fd = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600);
  return out->fd >= 0 ? 0 : -22;
}

int connect(QELHTTP* http) {
  qelhttp::status(http, 2, "Creating Socket...");
  http->socket.reset(QELTCPSocketCreate());
  QELTCPSocket* socket = http->socket.get();
  if (!socket) return -7;
  if (http->preconnect_callback) http->preconnect_callback(http->user, http);
  if (http->tls_installer) http->tls_installer(socket);
  QELTCPSocketSetUserData(socket, http->user);
  QELTCPSocketSetCallbacks(socket, http->socket_status_callback, http->socket_io_callback);
  QELTCPSocketSetTimeout(socket, http->read_timeout);
  QELTCPSocketSetAux1(socket, http->aux1);
  QELTCPSocketSetAux2(socket, http->aux2);
  qelhttp::status(http, 3, "Opening Socket");
  const int result = http->proxy ? QELTCPSocketConnect(socket, http->proxy->host, http->proxy->port, 0)
                                 : QELTCPSocketConnect(socket, http->url->host, http->url->port, http->https);
  if (result == 0) return 0;
  return result == QELSOCK_ERR_NO_SSL ? -14 : -7;
}

void consult_system_proxy(QELHTTP* http) {
  if (http->no_proxy) return;
  char text[1024];
  if (qelhttp::system_proxy(text, sizeof text, http->https, http->url->host, http->url->port))
    QELHTTPSetOption(http, QELHTTP_OPT_PROXY, text);
}

// Steps after the output file is open; answers the total or an error code.
int run(QELHTTP* http, const Descriptor& output) {
  if (!http->url) return -16;
  consult_system_proxy(http);
  const time_t start = std::time(nullptr);
  if (int r = connect(http); r != 0) return r;
  QELTCPSocket* socket = http->socket.get();
  struct Closer {
    QELTCPSocket* socket;
    ~Closer() { QELTCPSocketClose(socket); }
  } closer{socket};

  if (http->proxy && http->https) {
    if (int r = QELHTTPTunnel(http); r != 1) return r;
  }
  qelhttp::status(http, 4, "Sending Request");
  if (qelhttp::cancelled(http)) return -12;
  if (int r = qelhttp::send_request_line(http); r != 0) return r;
  qelhttp::status(http, 5, "Sending Header");
  if (qelhttp::cancelled(http)) return -12;
  if (int r = qelhttp::send_header_block(http); r != 0) return r;
  qelhttp::status(http, 6, "Sending Body");
  if (qelhttp::cancelled(http)) return -12;
  if (int r = qelhttp::send_body(http); r != 0) return r;

  const time_t response_start = std::time(nullptr);
  http->request_time = static_cast<int32_t>(response_start - start);
  if (qelhttp::cancelled(http)) return -12;
  QELBufPtr reader(QELBufCreate(4096, socket, QELBufSocketRead));
  if (!reader) return -4;
  if (http->delimiter != 0) QELBufSetDelimiter(reader.get(), 0, static_cast<unsigned char>(http->delimiter));

  qelhttp::status(http, 8, "Receiving Response Headers");
  time_t transfer_start = response_start;
  int head;
  {
    // The whole head must come within the time-out, however it trickles.
    qelhttp::WithinTimeout bounded(http);
    head = qelhttp::read_head(http, reader.get(), response_start, &transfer_start);
  }
  if (head < 0) return head;
  int32_t total = http->include_headers ? head : 0;

  qelhttp::status(http, 7, "Receiving Response Body");
  const int body = qelhttp::read_body(http, reader.get(), qelhttp::BodySink{output.fd}, &total);
  http->transfer_time = static_cast<int32_t>(std::time(nullptr) - transfer_start);
  return body != 0 ? body : total;
}

}  // namespace

int QELHTTPExecute(QELHTTP* http) {
  if (!http) return -15;
  if (http->method == 0) return http->last_error = -24;
  http->last_error = 0;
  http->status_code = 0;
  http->bytes_sent = 0;
  http->bytes_received = 0;
  http->cancel_count = 0;
  http->request_time = http->response_time = http->transfer_time = 0;
  // A chunked answer says so afresh each time; the flag of an earlier
  // transfer would make the next plain body be read as chunks.
  http->chunked = 0;
  http->content_length = -1;
  http->content_length_invalid = false;
  http->location.reset();
  http->socket.reset();
  http->body_length = 0;
  if (http->body_collected) http->body[0] = 0;

  int result = 0;
  {
    Descriptor output;
    if (http->output_path) {
      result = open_output(http->output_path.get(), &output);
      if (result != 0) return http->last_error = result;
    }
    result = run(http, output);
  }
  if (qelhttp::cancelled(http)) return http->last_error = -12;
  if (result < 0) return http->last_error = result;
  http->bytes_received = result;
  return result;
}
