// TLS under QELTCPSocket through OpenSSL: a client context built for each
// handshake from the socket's settings, the certificate check, the socket's
// read/write/shutdown/release hooks, and a shared server context for TLS
// accept on accepted sockets.
#include "net/qelsockssl_internal.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <poll.h>

#include <cstdlib>
#include <ctime>
#include <memory>
#include <new>
#include <string>

#include "net/openssl_library.h"
#include "net/qelsock_internal.h"
#include "platform/sockets.h"

namespace {

// The library's entry points, for code that holds an object it made: the
// library was loaded when the object was.
const OpenSslLibrary& lib() {
  return *openssl_library();
}

// The method for a protocol selector, or null with a reason when the
// protocol is one this OpenSSL no longer has.
const SSL_METHOD* method_for(int selector, bool server, const char** missing) {
  if (selector == QELSSL_VERSION_SSL2) {
    *missing = "SSL 2.0";
    return nullptr;
  }
  if (selector == QELSSL_VERSION_SSL3) {
    *missing = "SSL 3.0";
    return nullptr;
  }
  return server ? lib().TLS_server_method() : lib().TLS_client_method();
}

// A context for the selector with the settings every connection shares:
// TLS 1.0 pinned for 31, internal retries after renegotiation, and a peer
// that closes without a close notification read as the end of data, which
// is how HTTP/1.0 servers end their bodies.
SSL_CTX* create_context(int selector, bool server, const char** missing) {
  const SSL_METHOD* method = method_for(selector, server, missing);
  if (method == nullptr) return nullptr;
  SSL_CTX* context = lib().SSL_CTX_new(method);
  if (context == nullptr) return nullptr;
  if (selector == QELSSL_VERSION_TLS1) {
    lib().SSL_CTX_ctrl(context, SSL_CTRL_SET_MIN_PROTO_VERSION, TLS1_VERSION, nullptr);
    lib().SSL_CTX_ctrl(context, SSL_CTRL_SET_MAX_PROTO_VERSION, TLS1_VERSION, nullptr);
  }
  lib().SSL_CTX_ctrl(context, SSL_CTRL_MODE, SSL_MODE_AUTO_RETRY, nullptr);
  lib().SSL_CTX_set_options(context, SSL_OP_IGNORE_UNEXPECTED_EOF);
  return context;
}

// Builds the client context from the socket's settings and attaches it in
// a new TLS state. False (with a text where there is one) on failure.
bool build_client_context(QELTCPSocket* socket) {
  std::string why;
  if (openssl_library(&why) == nullptr) {
    QELTCPSocketSetErrorf(socket, "TLS is not available (%s)", why.c_str());
    return false;
  }
  std::unique_ptr<QELSockSSLState, QELSockSSLStateDeleter> state(new (std::nothrow) QELSockSSLState());
  if (!state) return false;
  const char* missing = nullptr;
  state->context = create_context(socket->tls_version, false, &missing);
  if (state->context == nullptr) {
    if (missing != nullptr) QELTCPSocketSetErrorf(socket, "%s is not available", missing);
    return false;
  }
  SSL_CTX* context = state->context;

  const char* ca_file = socket->ca_file.get();
  const char* ca_dir = socket->ca_dir.get();
  if (ca_file != nullptr || ca_dir != nullptr) {
    if (lib().SSL_CTX_load_verify_locations(context, ca_file, ca_dir) != 1) {
      if (ca_file != nullptr) QELTCPSocketSetErrorf(socket, "Failed to set CA certificates certfile: %s", ca_file);
      if (ca_dir != nullptr) QELTCPSocketSetErrorf(socket, "Failed to set CA certificates certdir: %s", ca_dir);
      return false;
    }
  } else if (socket->verify) {
    // Without locations of its own a verifying client trusts what the
    // system trusts; with none at all no certificate could ever pass.
    lib().SSL_CTX_set_default_verify_paths(context);
  }
  if (socket->cipher_list) lib().SSL_CTX_set_cipher_list(context, socket->cipher_list.get());
  if (socket->chain_file && lib().SSL_CTX_use_certificate_chain_file(context, socket->chain_file.get()) != 1) {
    QELTCPSocketSetErrorf(socket, "Failed to set chain_file: %s", socket->chain_file.get());
    return false;
  }
  // Any PEM private key loads, RSA among them.
  if (socket->key_file && lib().SSL_CTX_use_PrivateKey_file(context, socket->key_file.get(), SSL_FILETYPE_PEM) != 1) {
    QELTCPSocketSetErrorf(socket, "Failed to set RSAPrivateKeyfile: %s", socket->key_file.get());
    return false;
  }
  lib().ERR_clear_error();
  socket->tls = std::move(state);
  return true;
}

// The texts of a failed handshake (result below 1). The most recent code of
// the error queue names the failure when the TLS library itself failed.
void store_handshake_failure(QELTCPSocket* socket, SSL* ssl, int result) {
  int kind = lib().SSL_get_error(ssl, result);
  if (kind == SSL_ERROR_SSL) {
    unsigned long code = lib().ERR_peek_last_error();
    lib().ERR_clear_error();
    char text[128];
    lib().ERR_error_string_n(code, text, sizeof text);
    QELTCPSocketSetErrorf(socket, "SSL connection failed (%d, %s)", result, text);
  } else {
    lib().ERR_clear_error();
    QELTCPSocketSetErrorf(socket, "SSL connection failed (%d, %d)", result, kind);
  }
}

// Adds 128 bytes from the C library's generator, seeded with the time.
void seed_random_pool() {
  unsigned char bytes[128];
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  for (unsigned char& byte : bytes) byte = static_cast<unsigned char>(std::rand() & 0xFF);
  lib().RAND_seed(bytes, sizeof bytes);
}

bool is_ip_literal(const char* host) {
  in_addr v4{};
  in6_addr v6{};
  return inet_pton(AF_INET, host, &v4) == 1 || inet_pton(AF_INET6, host, &v6) == 1;
}

struct X509Deleter {
  void operator()(X509* certificate) const { lib().X509_free(certificate); }
};

// Verification result, then the host name against the certificate: subject
// alternative names first, then the common name, ignoring case, wildcards
// in the leftmost label only.
int check_certificate(QELTCPSocket* socket, SSL* ssl) {
  long verified = lib().SSL_get_verify_result(ssl);
  if (verified != X509_V_OK) {
    QELTCPSocketSetErrorf(socket, "Certificate verification error [%ld] %s", verified,
                          lib().X509_verify_cert_error_string(verified));
    return QELSOCK_ERR_SSL_VERIFY;
  }
  std::unique_ptr<X509, X509Deleter> certificate(lib().SSL_get1_peer_certificate(ssl));
  if (!certificate) {
    QELTCPSocketSetError(socket, "Peer failed to provide a certificate");
    return QELSOCK_ERR_SSL_VERIFY;
  }
  char common_name[256] = "";
  lib().X509_NAME_get_text_by_NID(lib().X509_get_subject_name(certificate.get()), NID_commonName, common_name,
                                  sizeof common_name);
  const char* host = socket->host_name.get();
  if (host == nullptr) {
    QELTCPSocketSetError(socket, "Hostname is unknown, can't verify certificate");
    return QELSOCK_ERR_SSL_VERIFY;
  }
  int matched = is_ip_literal(host) ? lib().X509_check_ip_asc(certificate.get(), host, 0)
                                    : lib().X509_check_host(certificate.get(), host, 0, 0, nullptr);
  if (matched == 1) return 0;
  QELTCPSocketSetErrorf(socket, "Name on certificate doesn't match hostname (%s vs %s)", common_name, host);
  return QELSOCK_ERR_SSL_VERIFY;
}

// Frees the connection and, unless borrowed, its context. A state that
// never got either may exist without the library.
void release_connection(QELSockSSLState* state) {
  if (state->ssl != nullptr) lib().SSL_free(state->ssl);
  if (!state->context_borrowed && state->context != nullptr) lib().SSL_CTX_free(state->context);
  state->ssl = nullptr;
  state->context = nullptr;
}

// Runs the client or server handshake on a non-blocking descriptor, waiting
// for the peer with poll, so that a peer that stops half way through costs
// the socket's time-out (or what is left of its deadline) and no more.
// The handshake's result; *timed_out tells a wait that ran out.
int handshake(QELTCPSocket* socket, SSL* ssl, bool server, bool* timed_out) {
  *timed_out = false;
  const int descriptor = socket->descriptor;
  const int64_t deadline = qelsock_deadline(socket, socket->read_timeout);
  const int flags = fcntl(descriptor, F_GETFL);
  fcntl(descriptor, F_SETFL, flags | O_NONBLOCK);
  int result;
  {
    QELSigpipeBlock no_sigpipe;
    for (;;) {
      result = server ? lib().SSL_accept(ssl) : lib().SSL_connect(ssl);
      if (result == 1) break;
      const int kind = lib().SSL_get_error(ssl, result);
      if (kind != SSL_ERROR_WANT_READ && kind != SSL_ERROR_WANT_WRITE) break;
      if (!qelsock_poll_until(descriptor, kind == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline)) {
        *timed_out = true;
        break;
      }
    }
  }
  fcntl(descriptor, F_SETFL, flags);
  return result;
}

// The texts of a failed handshake, a time-out among them.
void store_failure(QELTCPSocket* socket, SSL* ssl, int result, bool timed_out) {
  if (!timed_out) {
    store_handshake_failure(socket, ssl, result);
    return;
  }
  lib().ERR_clear_error();
  QELTCPSocketSetErrorf(socket, "SSL connection failed (%d, %s)", result, "the peer did not finish in time");
}

SSL* connection_of(QELTCPSocket* socket) {
  return socket != nullptr && socket->tls ? socket->tls->ssl : nullptr;
}

}  // namespace

void QELSockSSLStateDeleter::operator()(QELSockSSLState* state) const {
  std::unique_ptr<QELSockSSLState> owned(state);
  if (state == nullptr) return;
  // Normally the release hook has freed these already.
  release_connection(state);
}

void QELSockSSLInstall(QELTCPSocket* socket) {
  static constexpr QELSocketTLSHooks kHooks = {
      QELSockSSLConnect, QELSockSSLShutdown, QELSockSSLRead, QELSockSSLWrite, QELSockSSLFree,
  };
  if (socket != nullptr) socket->tls_hooks = &kHooks;
}

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
  return connection_of(socket);
}

SSL_CTX* QELSockSSLGetContext(QELTCPSocket* socket) {
  return socket != nullptr && socket->tls ? socket->tls->context : nullptr;
}

int QELSockSSLConnect(QELTCPSocket* socket) {
  if (socket == nullptr) return QELSOCK_ERR_SSL_SETTINGS;
  if (!build_client_context(socket)) return QELSOCK_ERR_SSL_SETTINGS;
  qelsock_status(socket, QELSOCK_STATUS_SSL_INIT);

  QELSockSSLState* state = socket->tls.get();
  state->ssl = lib().SSL_new(state->context);
  if (state->ssl == nullptr) return QELSOCK_ERR_SSL_CREATE;
  qelsock_status(socket, QELSOCK_STATUS_SSL_START);
  lib().SSL_set_fd(state->ssl, socket->descriptor);
  // Name-based servers pick their certificate by the name asked for.
  const char* host = socket->host_name.get();
  if (host != nullptr && !is_ip_literal(host))
    lib().SSL_ctrl(state->ssl, SSL_CTRL_SET_TLSEXT_HOSTNAME, TLSEXT_NAMETYPE_host_name, const_cast<char*>(host));
  seed_random_pool();

  bool timed_out = false;
  const int result = handshake(socket, state->ssl, false, &timed_out);
  if (result < 1) {
    store_failure(socket, state->ssl, result, timed_out);
    return QELSOCK_ERR_SSL_CONNECT;
  }
  qelsock_status(socket, QELSOCK_STATUS_SSL_DONE);
  return socket->verify ? check_certificate(socket, state->ssl) : 0;
}

int QELSockSSLRead(QELTCPSocket* socket, char* buffer, int size, int timeout) {
  SSL* ssl = connection_of(socket);
  if (ssl == nullptr) return -1;
  int descriptor = lib().SSL_get_fd(ssl);
  const int64_t deadline = qelsock_deadline(socket, timeout);
  for (;;) {
    // Bytes the TLS layer already holds are delivered at once: waiting on
    // the descriptor for them could wait for data that never comes.
    if (lib().SSL_pending(ssl) <= 0 && !qelsock_poll_until(descriptor, POLLIN, deadline)) return -1;
    // The read itself must not block: a readable descriptor may carry only
    // protocol records (a TLS 1.3 session ticket), and a blocking read would
    // then wait past the time-out for application data.
    int flags = fcntl(descriptor, F_GETFL);
    fcntl(descriptor, F_SETFL, flags | O_NONBLOCK);
    int result = lib().SSL_read(ssl, buffer, size);
    int kind = result > 0 ? SSL_ERROR_NONE : lib().SSL_get_error(ssl, result);
    fcntl(descriptor, F_SETFL, flags);
    lib().ERR_clear_error();
    if (kind != SSL_ERROR_WANT_READ && kind != SSL_ERROR_WANT_WRITE) return result;
  }
}

int QELSockSSLWrite(QELTCPSocket* socket, const char* data, int length) {
  SSL* ssl = connection_of(socket);
  if (ssl == nullptr) return -1;
  QELSigpipeBlock no_sigpipe;
  int result = lib().SSL_write(ssl, data, length);
  lib().ERR_clear_error();
  return result;
}

void QELSockSSLShutdown(QELTCPSocket* socket) {
  SSL* ssl = connection_of(socket);
  if (ssl == nullptr) return;
  QELSigpipeBlock no_sigpipe;
  lib().SSL_shutdown(ssl);
  lib().ERR_clear_error();
}

void QELSockSSLFree(QELTCPSocket* socket) {
  if (socket == nullptr || !socket->tls) return;
  release_connection(socket->tls.get());
}

QELSOCKSSLCTX* QELSockSSLCtxCreate(int selector) {
  if (openssl_library() == nullptr) return nullptr;
  std::unique_ptr<QELSOCKSSLCTX> object(new (std::nothrow) QELSOCKSSLCTX());
  if (!object) return nullptr;
  object->accept = QELSockSSLAccept;
  const char* missing = nullptr;
  object->context = create_context(selector, true, &missing);
  if (object->context == nullptr) return nullptr;
  return object.release();
}

int QELSockSSLCtxSetChainFile(QELSOCKSSLCTX* context, const char* file) {
  if (context == nullptr || context->context == nullptr) return -1;
  lib().SSL_CTX_use_certificate_chain_file(context->context, file);
  lib().ERR_clear_error();
  return 0;
}

int QELSockSSLCtxSetKeyFile(QELSOCKSSLCTX* context, const char* file) {
  if (context == nullptr || context->context == nullptr) return -1;
  lib().SSL_CTX_use_PrivateKey_file(context->context, file, SSL_FILETYPE_PEM);
  lib().ERR_clear_error();
  return 0;
}

int QELSockSSLCtxSetCipherList(QELSOCKSSLCTX* context, const char* list) {
  if (context == nullptr || context->context == nullptr) return -1;
  lib().SSL_CTX_set_cipher_list(context->context, list);
  lib().ERR_clear_error();
  return 0;
}

int QELSockSSLCtxSetCALocations(QELSOCKSSLCTX* context, const char* file, const char* directory) {
  if (context == nullptr || context->context == nullptr) return -1;
  int loaded = lib().SSL_CTX_load_verify_locations(context->context, file, directory);
  lib().ERR_clear_error();
  return loaded == 1 ? 0 : -1;
}

int QELSockSSLCtxSetVerify(QELSOCKSSLCTX* context, int flag) {
  if (context == nullptr || context->context == nullptr) return -1;
  lib().SSL_CTX_set_verify(context->context, flag ? SSL_VERIFY_PEER | SSL_VERIFY_FAIL_IF_NO_PEER_CERT : SSL_VERIFY_NONE,
                           nullptr);
  return 0;
}

SSL_CTX* QELSockSSLCtxGetContext(QELSOCKSSLCTX* context) {
  return context == nullptr ? nullptr : context->context;
}

void QELSockSSLCtxDestroy(QELSOCKSSLCTX* context) {
  std::unique_ptr<QELSOCKSSLCTX> owned(context);
  if (context != nullptr && context->context != nullptr) lib().SSL_CTX_free(context->context);
}

int QELSockSSLAccept(QELTCPSocket* socket, QELSOCKSSLCTX* context) {
  if (socket == nullptr) return -1;
  if (context == nullptr) {
    QELTCPSocketSetError(socket, "Need an QELSOCKSSLCTX object");
    return 0;
  }
  QELSockSSLInstall(socket);
  std::unique_ptr<QELSockSSLState, QELSockSSLStateDeleter> state(new (std::nothrow) QELSockSSLState());
  if (!state) return -1;
  state->context = context->context;
  state->context_borrowed = 1;
  state->ssl = lib().SSL_new(context->context);
  if (state->ssl == nullptr) {
    char text[128];
    lib().ERR_error_string_n(lib().ERR_peek_last_error(), text, sizeof text);
    lib().ERR_clear_error();
    QELTCPSocketSetErrorf(socket, "SSL connection failed (%d, %s)", 0, text);
    return QELSOCK_ERR_SSL_CREATE;
  }
  socket->tls = std::move(state);
  SSL* ssl = socket->tls->ssl;
  qelsock_status(socket, QELSOCK_STATUS_SSL_START);
  lib().SSL_set_fd(ssl, socket->descriptor);
  bool timed_out = false;
  const int result = handshake(socket, ssl, true, &timed_out);
  if (result <= 0) store_failure(socket, ssl, result, timed_out);
  return result;
}
