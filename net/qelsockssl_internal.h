// What the TLS layer keeps of OpenSSL for a socket and for a server
// context, and the hooks it installs: for the TLS code, the socket layer
// that calls a context's accept function, and tests that look into a
// connection. Only net/ and its tests include it.
#pragma once

#include <openssl/types.h>

#include "net/qelsockssl.h"

// Owned by the socket; created by the handshake or the accept.
struct QELSockSSLState {
  SSL* ssl = nullptr;
  SSL_CTX* context = nullptr;
  int context_borrowed = 0;  // 1: belongs to a QELSOCKSSLCTX
};

// Server context shared by accepted connections; accept stays first.
struct QELSOCKSSLCTX {
  QELSocketTLSAcceptFunction accept = nullptr;
  SSL_CTX* context = nullptr;
};

SSL* QELSockSSLGetSSL(QELTCPSocket* socket);
SSL_CTX* QELSockSSLGetContext(QELTCPSocket* socket);
SSL_CTX* QELSockSSLCtxGetContext(QELSOCKSSLCTX* context);

// The entries of the hook table QELSockSSLInstall puts into a socket.
int QELSockSSLConnect(QELTCPSocket* socket);
int QELSockSSLRead(QELTCPSocket* socket, char* buffer, int size, int timeout);
int QELSockSSLWrite(QELTCPSocket* socket, const char* data, int length);
void QELSockSSLShutdown(QELTCPSocket* socket);
void QELSockSSLFree(QELTCPSocket* socket);
