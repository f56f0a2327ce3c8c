// TLS layer under QELTCPSocket. Until the OpenSSL binding lands, sockets get
// no TLS hooks, so a TLS connect answers -16; the settings are kept.
#include "net/qelsockssl.h"

#include <memory>

#include "net/qelsock_internal.h"

void QELSockSSLStateDeleter::operator()(QELSockSSLState* state) const {
  std::unique_ptr<QELSockSSLState> owned(state);
}

void QELSockSSLInstall(QELTCPSocket*) {}

int QELSockSSLSetCAFile(QELTCPSocket* socket, const char* file) {
  if (socket != nullptr) qelsock_replace_text(socket->ca_file, file);
  return 0;
}
int QELSockSSLSetCADir(QELTCPSocket* socket, const char* directory) {
  if (socket != nullptr) qelsock_replace_text(socket->ca_dir, directory);
  return 0;
}
int QELSockSSLSetCipherList(QELTCPSocket* socket, const char* list) {
  if (socket != nullptr) qelsock_replace_text(socket->cipher_list, list);
  return 0;
}
int QELSockSSLSetChainFile(QELTCPSocket* socket, const char* file) {
  if (socket != nullptr) qelsock_replace_text(socket->chain_file, file);
  return 0;
}
int QELSockSSLSetKeyFile(QELTCPSocket* socket, const char* file) {
  if (socket != nullptr) qelsock_replace_text(socket->key_file, file);
  return 0;
}
int QELSockSSLSetVersion(QELTCPSocket* socket, int selector) {
  if (socket != nullptr) socket->tls_version = selector;
  return 0;
}
int QELSockSSLSetVerify(QELTCPSocket* socket, int flag) {
  if (socket != nullptr) socket->verify = flag;
  return 0;
}
void QELSockSSLApplySettings(QELTCPSocket* socket, const QELSSLSettings* settings) {
  if (socket == nullptr || settings == nullptr) return;
  QELSockSSLSetVerify(socket, settings->verify);
  QELSockSSLSetVersion(socket, settings->version);
  if (settings->ca_file != nullptr) QELSockSSLSetCAFile(socket, settings->ca_file);
  if (settings->ca_dir != nullptr) QELSockSSLSetCADir(socket, settings->ca_dir);
  if (settings->cipher_list != nullptr) QELSockSSLSetCipherList(socket, settings->cipher_list);
  if (settings->chain_file != nullptr) QELSockSSLSetChainFile(socket, settings->chain_file);
  if (settings->key_file != nullptr) QELSockSSLSetKeyFile(socket, settings->key_file);
}

SSL* QELSockSSLGetSSL(QELTCPSocket* socket) {
  return socket != nullptr && socket->tls ? socket->tls->ssl : nullptr;
}
SSL_CTX* QELSockSSLGetContext(QELTCPSocket* socket) {
  return socket != nullptr && socket->tls ? socket->tls->context : nullptr;
}

int QELSockSSLConnect(QELTCPSocket*) { return QELSOCK_ERR_NO_SSL; }
int QELSockSSLRead(QELTCPSocket*, char*, int, int) { return -1; }
int QELSockSSLWrite(QELTCPSocket*, const char*, int) { return -1; }
void QELSockSSLShutdown(QELTCPSocket*) {}
void QELSockSSLFree(QELTCPSocket*) {}

QELSOCKSSLCTX* QELSockSSLCtxCreate(int) { return nullptr; }
int QELSockSSLCtxSetChainFile(QELSOCKSSLCTX*, const char*) { return -1; }
int QELSockSSLCtxSetKeyFile(QELSOCKSSLCTX*, const char*) { return -1; }
int QELSockSSLCtxSetCipherList(QELSOCKSSLCTX*, const char*) { return -1; }
int QELSockSSLCtxSetCALocations(QELSOCKSSLCTX*, const char*, const char*) { return -1; }
int QELSockSSLCtxSetVerify(QELSOCKSSLCTX*, int) { return -1; }
SSL_CTX* QELSockSSLCtxGetContext(QELSOCKSSLCTX*) { return nullptr; }
void QELSockSSLCtxDestroy(QELSOCKSSLCTX*) {}
int QELSockSSLAccept(QELTCPSocket*, QELSOCKSSLCTX*) { return -1; }
