// QELTCPSocket: connect, time-out reads, writes and close over one IPv4
// descriptor, with status and I/O callbacks and the TLS hook table.
#include "net/qelsock.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netdb.h>
#include <poll.h>
#include <sys/time.h>
#include <unistd.h>

#include <chrono>
#include <climits>
#include <cstdarg>
#include <cstdlib>
#include <cerrno>
#include <cstring>
#include <memory>
#include <new>

#include "net/qelsock_internal.h"
#include "net/qelsockssl_internal.h"
#include "platform/sockets.h"
#include "support/qelformat.h"

namespace {

const char* const kStatusTexts[] = {
    "Commencing Name Lookup", "Name Lookup Complete", "Connecting Socket", "Socket Connected", "SSL Initialized",
    "SSL Commencing",         "SSL Connected",        "Closing Socket",    "Sending Data",     "Reading From Socket",
};

const char* const kErrorTexts[] = {
    "No Error",
    "Couldn't Find Host!",
    "Couldn't Find Service/Port!",
    "Couldn't Create Socket",
    "Couldn't Connect To Socket",
    "Couldn't Create SSL Object!",
    "Couldn't Connect SSL Object!",
    "Couldn't Bind the Port!",
    "Error Writing to socket!",
    "Error Writing to SSL socket!",
    "Error setting socket option!",
    "Error Reading from socket!",
    "Error Reading from SSL socket!",
    "Error Accepting Incoming Connection",
    "Error Attempting to Listen on Socket!",
    "Error Allocating Memory for SSL Settings",
    "No SSL Support was compiled with this version",
    "Unable to verify SSL certificate",
};
constexpr int kLastErrorIndex = 17;

QELTCPSocket* allocate_socket() {
  return new (std::nothrow) QELTCPSocket();
}

QELTCPSocket* create_socket(int type) {
  QELTCPSocket* socket = allocate_socket();
  if (socket == nullptr) return nullptr;
  if (qel_socket_startup(2, 2) == 0) socket->started = 1;
  socket->descriptor = ::socket(AF_INET, type | SOCK_CLOEXEC, 0);
  if (socket->descriptor < 0) {
    socket->descriptor = QELSOCK_INVALID;
    qelsock_store_system_error(socket, QELSOCK_ERR_CREATE);
  }
  return socket;
}

// Windows host lookup semantics: a name or a dotted address, first IPv4
// address of the answer. False when there is none.
bool lookup_host(const char* host, int flags, in_addr* address) {
  if (host == nullptr) return false;
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = flags;
  addrinfo* found = nullptr;
  if (getaddrinfo(host, nullptr, &hints, &found) != 0 || found == nullptr) return false;
  *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
  freeaddrinfo(found);
  return true;
}

// The decimal value of the text in its low 16 bits, or, when that is 0, the
// tcp service of that name. Network order; false when neither gives a port.
bool lookup_port(const char* text, uint16_t* port) {
  if (text == nullptr) return false;
  auto value = static_cast<uint16_t>(std::strtol(text, nullptr, 10) & 0xFFFF);
  if (value != 0) {
    *port = htons(value);
    return true;
  }
  servent entry{};
  servent* result = nullptr;
  char scratch[1024];
  if (getservbyname_r(text, "tcp", &entry, scratch, sizeof scratch, &result) != 0 || result == nullptr) return false;
  *port = static_cast<uint16_t>(result->s_port);
  return true;
}

// Connects without blocking past the deadline: the connect is started
// non-blocking and its completion awaited with poll, so a peer whose accept
// queue is full (its kernel drops our SYNs) costs the time-out, not the
// minutes the kernel would retry. 0, or -1 with errno set.
int connect_until(int descriptor, const sockaddr_in& address, int64_t deadline) {
  const int flags = fcntl(descriptor, F_GETFL);
  fcntl(descriptor, F_SETFL, flags | O_NONBLOCK);
  int result = ::connect(descriptor, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  if (result != 0 && errno == EINPROGRESS) {
    int failure = ETIMEDOUT;
    if (qelsock_poll_until(descriptor, POLLOUT, deadline)) {
      socklen_t length = sizeof failure;
      if (getsockopt(descriptor, SOL_SOCKET, SO_ERROR, &failure, &length) != 0) failure = errno;
      // A peer that accepted and reset at once was connected to, as a
      // blocking connect would have answered; the reset is for the reads
      // and writes to meet.
      if (failure == ECONNRESET) failure = 0;
    }
    result = failure == 0 ? 0 : -1;
    errno = failure;
  }
  const int saved = errno;
  fcntl(descriptor, F_SETFL, flags);
  errno = saved;
  return result;
}

// Writes that the peer does not take off our hands fail after the time-out
// instead of blocking for good; TLS writes go through the same descriptor.
void limit_writes(int descriptor, int seconds) {
  if (seconds < 1) return;
  timeval limit{seconds, 0};
  setsockopt(descriptor, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit);
}

// The socket's TLS hook of one kind, null when it has none.
template <typename Hook>
Hook tls_hook(const QELTCPSocket* socket, Hook QELSocketTLSHooks::*entry) {
  return socket->tls_hooks != nullptr ? socket->tls_hooks->*entry : nullptr;
}

void report_io(QELTCPSocket* socket, int code, int result) {
  if (socket->io_callback != nullptr) socket->io_callback(socket->user_data, code, result);
}

char* copy_text(const char* text) {
  if (text == nullptr) return nullptr;
  size_t length = std::strlen(text);
  char* copy = static_cast<char*>(std::malloc(length + 1));
  if (copy != nullptr) std::memcpy(copy, text, length + 1);
  return copy;
}

}  // namespace

void QELSocketTextDeleter::operator()(char* text) const {
  std::free(text);
}

int64_t qelsock_now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

int64_t qelsock_deadline(const QELTCPSocket* socket, int seconds) {
  int64_t deadline = seconds >= 1 ? qelsock_now_ms() + int64_t{seconds} * 1000 : 0;
  if (socket != nullptr && socket->deadline_ms != 0 && (deadline == 0 || socket->deadline_ms < deadline))
    deadline = socket->deadline_ms;
  return deadline;
}

// poll stands in for select with one descriptor, so a descriptor number
// above FD_SETSIZE is no hazard.
bool qelsock_poll_until(int descriptor, short events, int64_t deadline) {
  for (;;) {
    int wait_ms = -1;
    if (deadline != 0) {
      const int64_t left = deadline - qelsock_now_ms();
      wait_ms = left <= 0 ? 0 : (left > INT32_MAX ? INT32_MAX : static_cast<int>(left));
    }
    pollfd entry{descriptor, events, 0};
    const int ready = poll(&entry, 1, wait_ms);
    if (ready == 1) return true;
    if (ready < 0 && errno == EINTR) continue;
    return false;
  }
}

void qelsock_status(QELTCPSocket* socket, int code) {
  if (socket->status_callback == nullptr) return;
  const char* text = code >= 0 && code <= QELSOCK_STATUS_READING ? kStatusTexts[code] : "";
  socket->status_callback(socket->user_data, code, text);
}

void qelsock_replace_text(QELSocketText& field, const char* text) {
  field.reset(copy_text(text));
}

void qelsock_store_system_error(QELTCPSocket* socket, int code) {
  int number = qel_socket_last_error();
  socket->error_code = code;
  int index = code < 0 ? -code : code;
  if (index > kLastErrorIndex) {
    char unknown[64];
    QELSnprintf(unknown, sizeof unknown, "Unknown socket error (%d)", code);
    QELTCPSocketSetErrorf(socket, "%s [WSA error %d]", unknown, number);
  } else {
    QELTCPSocketSetErrorf(socket, "%s [WSA error %d]", kErrorTexts[index], number);
  }
}

QELTCPSocket* QELTCPSocketCreate() {
  return create_socket(SOCK_STREAM);
}

QELTCPSocket* QELUDPSocketCreate() {
  return create_socket(SOCK_DGRAM);
}

int QELTCPSocketConnect(QELTCPSocket* socket, const char* host, const char* port, int use_tls) {
  if (socket == nullptr || socket->descriptor == QELSOCK_INVALID) return QELSOCK_ERR_CREATE;
  const QELSocketTLSConnectHook tls_connect = tls_hook(socket, &QELSocketTLSHooks::connect);
  if (use_tls && tls_connect == nullptr) {
    socket->error_code = QELSOCK_ERR_NO_SSL;
    return QELSOCK_ERR_NO_SSL;
  }
  if (use_tls) qelsock_replace_text(socket->host_name, host);

  int result = QELSOCK_OK;
  qelsock_status(socket, QELSOCK_STATUS_LOOKUP);
  in_addr address{};
  uint16_t port_number = 0;
  if (!lookup_host(host, 0, &address)) {
    result = QELSOCK_ERR_HOST;
  } else if (!lookup_port(port, &port_number)) {
    result = QELSOCK_ERR_SERVICE;
  } else {
    qelsock_status(socket, QELSOCK_STATUS_LOOKUP_DONE);
    socket->address = sockaddr_in{};
    socket->address.sin_family = AF_INET;
    socket->address.sin_port = port_number;
    socket->address.sin_addr = address;
    qelsock_status(socket, QELSOCK_STATUS_CONNECTING);
    // The time-out covers the connect and the TLS handshake together.
    const int64_t outer_deadline = socket->deadline_ms;
    socket->deadline_ms = qelsock_deadline(socket, socket->read_timeout);
    limit_writes(socket->descriptor, socket->read_timeout);
    if (connect_until(socket->descriptor, socket->address, socket->deadline_ms) != 0) {
      qelsock_store_system_error(socket, QELSOCK_ERR_CONNECT);
      result = QELSOCK_ERR_CONNECT;
    } else {
      qelsock_status(socket, QELSOCK_STATUS_CONNECTED);
      if (use_tls) result = tls_connect(socket);
    }
    socket->deadline_ms = outer_deadline;
  }
  socket->error_code = result;
  return result;
}

int QELTCPSocketStartTLS(QELTCPSocket* socket) {
  if (socket == nullptr) return QELSOCK_ERR_NO_SSL;
  const int64_t outer_deadline = socket->deadline_ms;
  socket->deadline_ms = qelsock_deadline(socket, socket->read_timeout);
  const QELSocketTLSConnectHook tls_connect = tls_hook(socket, &QELSocketTLSHooks::connect);
  int result = tls_connect != nullptr ? tls_connect(socket) : QELSOCK_ERR_NO_SSL;
  socket->deadline_ms = outer_deadline;
  if (result < 0) socket->error_code = result;
  return result;
}

void QELTCPSocketSetDeadline(QELTCPSocket* socket, int milliseconds) {
  if (socket != nullptr) socket->deadline_ms = milliseconds > 0 ? qelsock_now_ms() + milliseconds : 0;
}

int QELTCPSocketRead(QELTCPSocket* socket, char* buffer, int size) {
  if (socket == nullptr) return -1;
  qelsock_status(socket, QELSOCK_STATUS_READING);
  int result = -1;
  int io_code = QELSOCK_IO_READ;
  if (socket->tls) {
    io_code = QELSOCK_IO_TLS_READ;
    const QELSocketTLSReadHook tls_read = tls_hook(socket, &QELSocketTLSHooks::read);
    if (tls_read != nullptr && buffer != nullptr && size >= 0)
      result = tls_read(socket, buffer, size, socket->read_timeout);
    if (result == -1) socket->error_code = QELSOCK_ERR_SSL_READ;
  } else {
    if (socket->descriptor != QELSOCK_INVALID && buffer != nullptr && size >= 0 &&
        qelsock_poll_until(socket->descriptor, POLLIN, qelsock_deadline(socket, socket->read_timeout))) {
      ssize_t received = ::recv(socket->descriptor, buffer, static_cast<size_t>(size), 0);
      result = received < 0 ? -1 : static_cast<int>(received);
    }
    if (result == -1) socket->error_code = QELSOCK_ERR_READ;
  }
  report_io(socket, io_code, result);
  return result;
}

int QELTCPSocketWrite(QELTCPSocket* socket, const char* data, int length) {
  if (socket == nullptr) return -1;
  qelsock_status(socket, QELSOCK_STATUS_SENDING);
  int result = -1;
  int io_code = QELSOCK_IO_WRITE;
  if (socket->tls) {
    io_code = QELSOCK_IO_TLS_WRITE;
    const QELSocketTLSWriteHook tls_write = tls_hook(socket, &QELSocketTLSHooks::write);
    if (tls_write != nullptr && data != nullptr && length >= 0) result = tls_write(socket, data, length);
    if (result == -1) socket->error_code = QELSOCK_ERR_SSL_WRITE;
  } else {
    if (socket->descriptor != QELSOCK_INVALID && data != nullptr && length >= 0) {
      ssize_t sent = ::send(socket->descriptor, data, static_cast<size_t>(length), MSG_NOSIGNAL);
      result = sent < 0 ? -1 : static_cast<int>(sent);
    }
    if (result == -1) socket->error_code = QELSOCK_ERR_WRITE;
  }
  report_io(socket, io_code, result);
  return result;
}

int QELTCPSocketClose(QELTCPSocket* socket) {
  if (socket == nullptr) return 0;
  const QELSocketTLSShutdownHook tls_shutdown = tls_hook(socket, &QELSocketTLSHooks::shutdown);
  if (socket->tls && tls_shutdown != nullptr) tls_shutdown(socket);
  int result = 0;
  if (socket->descriptor != QELSOCK_INVALID) {
    qelsock_status(socket, QELSOCK_STATUS_CLOSING);
    result = ::close(socket->descriptor);
    socket->descriptor = QELSOCK_INVALID;
  }
  const QELSocketTLSFreeHook tls_release = tls_hook(socket, &QELSocketTLSHooks::release);
  if (socket->tls && tls_release != nullptr) tls_release(socket);
  if (socket->started) {
    qel_socket_cleanup();
    socket->started = 0;
  }
  return result;
}

int QELTCPSocketDestroy(QELTCPSocket* socket) {
  if (socket == nullptr) return 0;
  int result = QELTCPSocketClose(socket);
  std::unique_ptr<QELTCPSocket> owned(socket);  // its fields release texts and TLS state
  return result;
}

void QELTCPSocketSetCallbacks(QELTCPSocket* socket, QELSocketStatusCallback status, QELSocketIOCallback io) {
  if (socket == nullptr) return;
  socket->status_callback = status;
  socket->io_callback = io;
}

void QELTCPSocketSetUserData(QELTCPSocket* socket, void* user) {
  if (socket != nullptr) socket->user_data = user;
}

int QELTCPSocketSetTimeout(QELTCPSocket* socket, int seconds) {
  if (socket == nullptr) return 0;
  int previous = socket->read_timeout;
  socket->read_timeout = seconds;
  return previous;
}

uint32_t QELTCPSocketSetAux1(QELTCPSocket* socket, uint32_t value) {
  if (socket == nullptr) return 0;
  uint32_t previous = socket->aux1;
  socket->aux1 = value;
  return previous;
}

void QELTCPSocketSetAux2(QELTCPSocket* socket, uint32_t value) {
  if (socket != nullptr) socket->aux2 = value;
}

int QELTCPSocketErrorCode(const QELTCPSocket* socket) {
  return socket == nullptr ? 0 : socket->error_code;
}

const char* QELTCPSocketError(const QELTCPSocket* socket) {
  if (socket == nullptr) return "Socket Object is NULL!";
  if (socket->error_text) return socket->error_text.get();
  int index = socket->error_code < 0 ? -socket->error_code : socket->error_code;
  if (index > kLastErrorIndex) return "Invalid Socket Error?";
  return kErrorTexts[index];
}

void QELTCPSocketSetError(QELTCPSocket* socket, const char* text) {
  if (socket != nullptr) qelsock_replace_text(socket->error_text, text);
}

void QELTCPSocketSetErrorf(QELTCPSocket* socket, const char* format, ...) {
  if (socket == nullptr || format == nullptr) return;
  char text[1024];
  va_list args;
  va_start(args, format);
  QELVsnprintf(text, sizeof text, format, args);
  va_end(args);
  qelsock_replace_text(socket->error_text, text);
}

int QELTCPSocketListen(QELTCPSocket* socket, const char* address, const char* port, int backlog) {
  if (socket == nullptr || socket->descriptor == QELSOCK_INVALID) return -1;
  socket->error_code = QELSOCK_OK;
  if (socket->listen_count > 0) return -1;

  in_addr local{};
  if (!lookup_host(address != nullptr ? address : "0.0.0.0", AI_PASSIVE, &local)) {
    socket->error_code = QELSOCK_ERR_HOST;
    return -1;
  }
  uint16_t port_number = 0;
  bool have_port = lookup_port(port, &port_number);
  socket->address = sockaddr_in{};
  socket->address.sin_family = AF_INET;
  socket->address.sin_port = port_number;
  socket->address.sin_addr = local;
  if (!have_port) {
    socket->error_code = QELSOCK_ERR_SERVICE;
    return -1;
  }

  // A port whose last connections linger in TIME_WAIT can be bound again at
  // once, as the sockets this code was first written for allow by default.
  int reuse = 1;
  setsockopt(socket->descriptor, SOL_SOCKET, SO_REUSEADDR, &reuse, sizeof reuse);
  int result = ::bind(socket->descriptor, reinterpret_cast<const sockaddr*>(&socket->address), sizeof socket->address);
  if (result != 0) {
    qelsock_store_system_error(socket, QELSOCK_ERR_BIND);
    return result;
  }
  result = ::listen(socket->descriptor, backlog);
  if (result != 0) {
    qelsock_store_system_error(socket, QELSOCK_ERR_LISTEN);
    return result;
  }
  socket->listen_count = 1;
  return 0;
}

QELTCPSocket* QELTCPSocketAccept(QELTCPSocket* socket) {
  if (socket == nullptr) return nullptr;
  QELTCPSocket* accepted = allocate_socket();
  if (accepted == nullptr) {
    socket->error_code = QELSOCK_ERR_CREATE;
    return nullptr;
  }
  socklen_t length = sizeof accepted->address;
  int descriptor =
      socket->descriptor == QELSOCK_INVALID
          ? -1
          : ::accept4(socket->descriptor, reinterpret_cast<sockaddr*>(&accepted->address), &length, SOCK_CLOEXEC);
  if (descriptor < 0) {
    if (socket->descriptor == QELSOCK_INVALID) errno = EBADF;
    qelsock_store_system_error(socket, QELSOCK_ERR_ACCEPT);
    QELTCPSocketDestroy(accepted);
    return nullptr;
  }
  accepted->descriptor = descriptor;
  return accepted;
}

int QELTCPSocketAcceptTLS(QELTCPSocket* socket, QELSOCKSSLCTX* context) {
  if (context == nullptr || context->accept == nullptr) return -1;
  return context->accept(socket, context);
}

int QELTCPSocketPeerAddress(QELTCPSocket* socket, char* buffer, int size) {
  if (socket == nullptr) return -1;
  sockaddr_in peer{};
  socklen_t length = sizeof peer;
  int result = ::getpeername(socket->descriptor, reinterpret_cast<sockaddr*>(&peer), &length);
  if (result == 0 && buffer != nullptr && size > 0) {
    char dotted[INET_ADDRSTRLEN] = "";
    inet_ntop(AF_INET, &peer.sin_addr, dotted, sizeof dotted);
    size_t copy = std::strlen(dotted);
    if (copy > static_cast<size_t>(size) - 1) copy = static_cast<size_t>(size) - 1;
    std::memcpy(buffer, dotted, copy);
    buffer[copy] = '\0';
  }
  return result;
}

int QELTCPSocketLocalPort(const QELTCPSocket* socket) {
  if (socket == nullptr || socket->descriptor == QELSOCK_INVALID) return -1;
  sockaddr_in local{};
  socklen_t length = sizeof local;
  if (::getsockname(socket->descriptor, reinterpret_cast<sockaddr*>(&local), &length) != 0 ||
      local.sin_family != AF_INET || local.sin_port == 0)
    return -1;
  return ntohs(local.sin_port);
}

int QELTCPSocketSetOption(QELTCPSocket* socket, int level, int option, const void* value, socklen_t length) {
  if (socket == nullptr) return -1;
  int result = ::setsockopt(socket->descriptor, level, option, value, length);
  if (result != 0) socket->error_code = QELSOCK_ERR_SETOPT;
  return result;
}

int QELTCPSocketGetOption(QELTCPSocket* socket, int level, int option, void* value, socklen_t* length) {
  if (socket == nullptr) return -1;
  return ::getsockopt(socket->descriptor, level, option, value, length);
}
