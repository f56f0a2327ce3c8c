// TLS under a QELTCPSocket: the socket's TLS hooks, the per-socket
// settings, and a shared server context with TLS accept. No OpenSSL type
// appears here; qelsockssl_internal.h holds what the TLS layer keeps.
#pragma once

#include <memory>

#include "net/qelsock.h"

// Protocol selectors: 20 SSL 2.0 and 30 SSL 3.0 are not available and fail;
// 31 pins TLS 1.0; every other value negotiates the version.
enum {
  QELSSL_VERSION_SSL2 = 20,
  QELSSL_VERSION_FLEXIBLE = 23,
  QELSSL_VERSION_SSL3 = 30,
  QELSSL_VERSION_TLS1 = 31,
};

// Caller-owned settings copied into a socket by QELSockSSLApplySettings;
// null texts are left as they are.
struct QELSSLSettings {
  const char* chain_file = nullptr;
  const char* ca_dir = nullptr;
  const char* key_file = nullptr;
  const char* ca_file = nullptr;
  const char* cipher_list = nullptr;
  int verify = 0;
  int version = 0;
};

// Points the socket at the TLS hook table: client handshake, read, write,
// shutdown and release.
void QELSockSSLInstall(QELTCPSocket* socket);

// Each stores a copy (null clears) and answers 0.
int QELSockSSLSetCAFile(QELTCPSocket* socket, const char* file);
int QELSockSSLSetCADir(QELTCPSocket* socket, const char* directory);
int QELSockSSLSetCipherList(QELTCPSocket* socket, const char* list);
int QELSockSSLSetChainFile(QELTCPSocket* socket, const char* file);
int QELSockSSLSetKeyFile(QELTCPSocket* socket, const char* file);
int QELSockSSLSetVersion(QELTCPSocket* socket, int selector);
int QELSockSSLSetVerify(QELTCPSocket* socket, int flag);
void QELSockSSLApplySettings(QELTCPSocket* socket, const QELSSLSettings* settings);

// Server side. Null for selectors that are not available.
QELSOCKSSLCTX* QELSockSSLCtxCreate(int selector);
int QELSockSSLCtxSetChainFile(QELSOCKSSLCTX* context, const char* file);
int QELSockSSLCtxSetKeyFile(QELSOCKSSLCTX* context, const char* file);
int QELSockSSLCtxSetCipherList(QELSOCKSSLCTX* context, const char* list);
int QELSockSSLCtxSetCALocations(QELSOCKSSLCTX* context, const char* file, const char* directory);
int QELSockSSLCtxSetVerify(QELSOCKSSLCTX* context, int flag);
void QELSockSSLCtxDestroy(QELSOCKSSLCTX* context);

struct QELSOCKSSLCTXDeleter {
  void operator()(QELSOCKSSLCTX* context) const { QELSockSSLCtxDestroy(context); }
};
using QELSOCKSSLCTXPtr = std::unique_ptr<QELSOCKSSLCTX, QELSOCKSSLCTXDeleter>;

// TLS accept on an accepted socket (the context's accept function): 1 on
// success, 0 or a negative code on failure.
int QELSockSSLAccept(QELTCPSocket* socket, QELSOCKSSLCTX* context);
