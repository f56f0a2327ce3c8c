// Loading OpenSSL on first use; see openssl_library.h.
#include "net/openssl_library.h"

#include "platform/shared_library.h"

namespace {

// libssl brings libcrypto with it; both answer through its handle.
void bind(SharedLibraryHandle* l, OpenSslLibrary* a, std::string* missing) {
#define TESSEL_BIND(name) shared_library_bind(l, #name, &a->name, missing)
  TESSEL_BIND(OPENSSL_init_ssl);
  TESSEL_BIND(TLS_client_method);
  TESSEL_BIND(TLS_server_method);
  TESSEL_BIND(SSL_CTX_new);
  TESSEL_BIND(SSL_CTX_free);
  TESSEL_BIND(SSL_CTX_ctrl);
  TESSEL_BIND(SSL_CTX_set_options);
  TESSEL_BIND(SSL_CTX_load_verify_locations);
  TESSEL_BIND(SSL_CTX_set_default_verify_paths);
  TESSEL_BIND(SSL_CTX_set_cipher_list);
  TESSEL_BIND(SSL_CTX_use_certificate_chain_file);
  TESSEL_BIND(SSL_CTX_use_PrivateKey_file);
  TESSEL_BIND(SSL_CTX_set_verify);
  TESSEL_BIND(SSL_new);
  TESSEL_BIND(SSL_free);
  TESSEL_BIND(SSL_ctrl);
  TESSEL_BIND(SSL_set_fd);
  TESSEL_BIND(SSL_get_fd);
  TESSEL_BIND(SSL_connect);
  TESSEL_BIND(SSL_accept);
  TESSEL_BIND(SSL_read);
  TESSEL_BIND(SSL_write);
  TESSEL_BIND(SSL_pending);
  TESSEL_BIND(SSL_shutdown);
  TESSEL_BIND(SSL_get_error);
  TESSEL_BIND(SSL_get_verify_result);
  TESSEL_BIND(SSL_get1_peer_certificate);
  TESSEL_BIND(ERR_clear_error);
  TESSEL_BIND(ERR_peek_last_error);
  TESSEL_BIND(ERR_error_string_n);
  TESSEL_BIND(RAND_seed);
  TESSEL_BIND(X509_free);
  TESSEL_BIND(X509_get_subject_name);
  TESSEL_BIND(X509_NAME_get_text_by_NID);
  TESSEL_BIND(X509_check_host);
  TESSEL_BIND(X509_check_ip_asc);
  TESSEL_BIND(X509_verify_cert_error_string);
#undef TESSEL_BIND
  if (missing->empty()) a->OPENSSL_init_ssl(OPENSSL_INIT_LOAD_SSL_STRINGS | OPENSSL_INIT_LOAD_CRYPTO_STRINGS, nullptr);
}

}  // namespace

const OpenSslLibrary* openssl_library(std::string* why) {
  return shared_library_load_once<OpenSslLibrary>("libssl.so.3", bind, why);
}
