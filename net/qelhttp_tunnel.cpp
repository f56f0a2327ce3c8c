// CONNECT tunnel through an http proxy for an https target.
#include <strings.h>

#include <cstring>

#include "net/qelhttp_internal.h"
#include "net/qelsock_internal.h"
#include "support/qelformat.h"

namespace {

constexpr int kReplySize = 1024;

bool reply_complete(const char* reply) {
  return std::strstr(reply, "\r\n\r\n") != nullptr || std::strstr(reply, "\n\n") != nullptr;
}

// Reads the proxy's reply up to its blank line, as many reads as it takes,
// within kReplySize bytes. Answers the bytes held (terminated).
int read_reply(QELTCPSocket* socket, char* reply) {
  int held = 0;
  bool ended_once = false;
  reply[0] = 0;
  while (held < kReplySize - 1 && !reply_complete(reply)) {
    const int n = QELTCPSocketRead(socket, reply + held, kReplySize - 1 - held);
    if (n < 0) break;
    if (n == 0) {
      if (ended_once) break;
      ended_once = true;
      continue;
    }
    held += n;
    reply[held] = 0;
  }
  return held;
}

}  // namespace

int QELHTTPTunnel(QELHTTP* http) {
  if (!http || !http->tls_installer) return -14;
  if (!http->socket || !http->url) return -13;
  char request[1024];
  QELSnprintf(request, sizeof request, "CONNECT %s:%s HTTP/1.0\r\n\r\n", http->url->host, http->url->port);
  if (qelhttp::send_text(http, request) != 0) return -13;
  char reply[kReplySize];
  {
    // However the proxy spreads its answer, it has the time-out for all of it.
    qelhttp::WithinTimeout bounded(http);
    read_reply(http->socket.get(), reply);
  }
  // Proxies answer in either version.
  const bool opened = strncasecmp(reply, "HTTP/1.0 200", 12) == 0 || strncasecmp(reply, "HTTP/1.1 200", 12) == 0;
  if (!opened) return -13;
  // The certificate to check is the far server's: give the TLS layer its
  // name, as a direct TLS connect does, or verification cannot succeed.
  qelsock_replace_text(http->socket->host_name, http->url->host);
  return QELTCPSocketStartTLS(http->socket.get()) == 0 ? 1 : -13;
}
