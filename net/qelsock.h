// One TCP (or UDP) socket with name lookup, connect, time-out reads, writes,
// status and I/O callbacks, a server side, and a table of hooks through
// which the TLS layer takes over handshake, reads, writes, shutdown and
// release.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>

#include <cstdint>
#include <memory>

struct QELTCPSocket;
struct QELSOCKSSLCTX;
struct QELSockSSLState;

// Status codes (second argument of the status callback).
enum {
  QELSOCK_STATUS_LOOKUP = 0,       // "Commencing Name Lookup"
  QELSOCK_STATUS_LOOKUP_DONE = 1,  // "Name Lookup Complete"
  QELSOCK_STATUS_CONNECTING = 2,   // "Connecting Socket"
  QELSOCK_STATUS_CONNECTED = 3,    // "Socket Connected"
  QELSOCK_STATUS_SSL_INIT = 4,     // "SSL Initialized"
  QELSOCK_STATUS_SSL_START = 5,    // "SSL Commencing"
  QELSOCK_STATUS_SSL_DONE = 6,     // "SSL Connected"
  QELSOCK_STATUS_CLOSING = 7,      // "Closing Socket"
  QELSOCK_STATUS_SENDING = 8,      // "Sending Data"
  QELSOCK_STATUS_READING = 9,      // "Reading From Socket"
};

// I/O callback codes; the third argument is the read or write result.
enum {
  QELSOCK_IO_WRITE = 9,
  QELSOCK_IO_READ = 10,
  QELSOCK_IO_TLS_WRITE = 11,
  QELSOCK_IO_TLS_READ = 12,
};

// Error codes; QELTCPSocketError turns them into text.
enum {
  QELSOCK_OK = 0,
  QELSOCK_ERR_HOST = -1,
  QELSOCK_ERR_SERVICE = -2,
  QELSOCK_ERR_CREATE = -3,
  QELSOCK_ERR_CONNECT = -4,
  QELSOCK_ERR_SSL_CREATE = -5,
  QELSOCK_ERR_SSL_CONNECT = -6,
  QELSOCK_ERR_BIND = -7,
  QELSOCK_ERR_WRITE = -8,
  QELSOCK_ERR_SSL_WRITE = -9,
  QELSOCK_ERR_SETOPT = -10,
  QELSOCK_ERR_READ = -11,
  QELSOCK_ERR_SSL_READ = -12,
  QELSOCK_ERR_ACCEPT = -13,
  QELSOCK_ERR_LISTEN = -14,
  QELSOCK_ERR_SSL_SETTINGS = -15,
  QELSOCK_ERR_NO_SSL = -16,
  QELSOCK_ERR_SSL_VERIFY = -17,
};

using QELSocketStatusCallback = void (*)(void* user, int code, const char* text);
using QELSocketIOCallback = void (*)(void* user, int code, int result);

using QELSocketTLSConnectHook = int (*)(QELTCPSocket* socket);
using QELSocketTLSShutdownHook = void (*)(QELTCPSocket* socket);
using QELSocketTLSReadHook = int (*)(QELTCPSocket* socket, char* buffer, int size, int timeout);
using QELSocketTLSWriteHook = int (*)(QELTCPSocket* socket, const char* data, int length);
using QELSocketTLSFreeHook = void (*)(QELTCPSocket* socket);

// The functions of one TLS implementation; a socket points at the table of
// the one it uses. An entry may be null: a connect with TLS then answers
// -16 without a connect hook, and the others are skipped.
struct QELSocketTLSHooks {
  QELSocketTLSConnectHook connect;    // handshake after connect
  QELSocketTLSShutdownHook shutdown;  // before the descriptor is closed
  QELSocketTLSReadHook read;
  QELSocketTLSWriteHook write;
  QELSocketTLSFreeHook release;  // after the descriptor is closed
};

// Accept function of a TLS server context (its first field).
using QELSocketTLSAcceptFunction = int (*)(QELTCPSocket* socket, QELSOCKSSLCTX* context);

// The TLS record is defined by the TLS layer; the socket only owns it.
struct QELSockSSLStateDeleter {
  void operator()(QELSockSSLState* state) const;
};

struct QELSocketTextDeleter {
  void operator()(char* text) const;
};
using QELSocketText = std::unique_ptr<char, QELSocketTextDeleter>;

inline constexpr int QELSOCK_INVALID = -1;

struct QELTCPSocket {
  int descriptor = QELSOCK_INVALID;
  int32_t error_code = 0;
  uint32_t aux1 = 0;         // stored for callers, read by nothing here
  int32_t read_timeout = 0;  // seconds; 0 or less waits without limit
  uint32_t aux2 = 0;
  int32_t listen_count = 0;
  sockaddr_in address{};  // remote after connect, local after listen
  QELSocketStatusCallback status_callback = nullptr;
  QELSocketIOCallback io_callback = nullptr;
  std::unique_ptr<QELSockSSLState, QELSockSSLStateDeleter> tls;
  void* user_data = nullptr;
  const QELSocketTLSHooks* tls_hooks = nullptr;  // none: plain only
  int started = 0;
  int32_t tls_version = 0;
  QELSocketText host_name;  // kept by a TLS connect for the certificate check
  int verify = 0;
  QELSocketText ca_file;
  QELSocketText ca_dir;
  QELSocketText cipher_list;
  QELSocketText chain_file;
  QELSocketText key_file;
  QELSocketText error_text;  // null until a failure stores one
  // Steady-clock milliseconds by which every wait must end (0: none); set
  // while a whole exchange, such as a response head, must arrive in time.
  int64_t deadline_ms = 0;
};

// Null only when the record cannot be allocated; a failed descriptor leaves
// error code -3 and a connect that answers -3.
QELTCPSocket* QELTCPSocketCreate();
QELTCPSocket* QELUDPSocketCreate();

// host: name or dotted IPv4 address; port: decimal text or a tcp service
// name. 0 or a negative error code (also stored in the socket).
int QELTCPSocketConnect(QELTCPSocket* socket, const char* host, const char* port, int use_tls);

// Bytes read, 0 at end of data, -1 on failure or time-out.
int QELTCPSocketRead(QELTCPSocket* socket, char* buffer, int size);

// Bytes written (one send; may be short) or -1. Never raises SIGPIPE.
int QELTCPSocketWrite(QELTCPSocket* socket, const char* data, int length);

// Result of closing the descriptor, 0 when it was not open.
int QELTCPSocketClose(QELTCPSocket* socket);

// Closes if open, frees everything; answers the close result.
int QELTCPSocketDestroy(QELTCPSocket* socket);

struct QELTCPSocketDeleter {
  void operator()(QELTCPSocket* socket) const { QELTCPSocketDestroy(socket); }
};
using QELTCPSocketPtr = std::unique_ptr<QELTCPSocket, QELTCPSocketDeleter>;

void QELTCPSocketSetCallbacks(QELTCPSocket* socket, QELSocketStatusCallback status, QELSocketIOCallback io);
void QELTCPSocketSetUserData(QELTCPSocket* socket, void* user);

// Setters answer the previous value. The time-out bounds each read, each
// write, and the whole of a connect with its TLS handshake.
int QELTCPSocketSetTimeout(QELTCPSocket* socket, int seconds);
uint32_t QELTCPSocketSetAux1(QELTCPSocket* socket, uint32_t value);
void QELTCPSocketSetAux2(QELTCPSocket* socket, uint32_t value);

// From now on every wait of the socket ends within milliseconds, however
// the peer spreads its bytes; 0 or less lifts the limit.
void QELTCPSocketSetDeadline(QELTCPSocket* socket, int milliseconds);

// The TLS connect hook's result, or -16 when none is installed.
int QELTCPSocketStartTLS(QELTCPSocket* socket);

int QELTCPSocketErrorCode(const QELTCPSocket* socket);
// "Socket Object is NULL!", the stored text, or the table text of the code.
const char* QELTCPSocketError(const QELTCPSocket* socket);

// Replace the stored error text; the formatted form is cut to 1023 characters.
void QELTCPSocketSetError(QELTCPSocket* socket, const char* text);
void QELTCPSocketSetErrorf(QELTCPSocket* socket, const char* format, ...) __attribute__((format(printf, 2, 3)));

// Server side. address null listens on every interface. 0 or -1.
int QELTCPSocketListen(QELTCPSocket* socket, const char* address, const char* port, int backlog);
// A new socket for the next incoming connection, or null.
QELTCPSocket* QELTCPSocketAccept(QELTCPSocket* socket);
// The context's accept function result, or -1 without context or function.
int QELTCPSocketAcceptTLS(QELTCPSocket* socket, QELSOCKSSLCTX* context);

// getpeername result; on success the dotted address is copied into buffer.
int QELTCPSocketPeerAddress(QELTCPSocket* socket, char* buffer, int size);
// The port the descriptor is bound to here (the one a listen picked, or a
// connect's local end), or -1 when it has none.
int QELTCPSocketLocalPort(const QELTCPSocket* socket);
// setsockopt result; a failure stores -10.
int QELTCPSocketSetOption(QELTCPSocket* socket, int level, int option, const void* value, socklen_t length);
// getsockopt result; leaves the error code alone.
int QELTCPSocketGetOption(QELTCPSocket* socket, int level, int option, void* value, socklen_t* length);
