// OpenSSL, loaded the first time TLS is used rather than with every program:
// starting libssl and libcrypto costs a process about 4 ms, and most runs
// fetch over plain HTTP or from local files. The entry points keep their
// OpenSSL names; the header's macros over SSL_ctrl and SSL_CTX_ctrl are
// spelled out where they are used.
#pragma once

#include <openssl/err.h>
#include <openssl/rand.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <string>

struct OpenSslLibrary {
  decltype(&::OPENSSL_init_ssl) OPENSSL_init_ssl;
  decltype(&::TLS_client_method) TLS_client_method;
  decltype(&::TLS_server_method) TLS_server_method;
  decltype(&::SSL_CTX_new) SSL_CTX_new;
  decltype(&::SSL_CTX_free) SSL_CTX_free;
  decltype(&::SSL_CTX_ctrl) SSL_CTX_ctrl;
  decltype(&::SSL_CTX_set_options) SSL_CTX_set_options;
  decltype(&::SSL_CTX_load_verify_locations) SSL_CTX_load_verify_locations;
  decltype(&::SSL_CTX_set_default_verify_paths) SSL_CTX_set_default_verify_paths;
  decltype(&::SSL_CTX_set_cipher_list) SSL_CTX_set_cipher_list;
  decltype(&::SSL_CTX_use_certificate_chain_file) SSL_CTX_use_certificate_chain_file;
  decltype(&::SSL_CTX_use_PrivateKey_file) SSL_CTX_use_PrivateKey_file;
  decltype(&::SSL_CTX_set_verify) SSL_CTX_set_verify;
  decltype(&::SSL_new) SSL_new;
  decltype(&::SSL_free) SSL_free;
  decltype(&::SSL_ctrl) SSL_ctrl;
  decltype(&::SSL_set_fd) SSL_set_fd;
  decltype(&::SSL_get_fd) SSL_get_fd;
  decltype(&::SSL_connect) SSL_connect;
  decltype(&::SSL_accept) SSL_accept;
  decltype(&::SSL_read) SSL_read;
  decltype(&::SSL_write) SSL_write;
  decltype(&::SSL_pending) SSL_pending;
  decltype(&::SSL_shutdown) SSL_shutdown;
  decltype(&::SSL_get_error) SSL_get_error;
  decltype(&::SSL_get_verify_result) SSL_get_verify_result;
  decltype(&::SSL_get1_peer_certificate) SSL_get1_peer_certificate;
  decltype(&::ERR_clear_error) ERR_clear_error;
  decltype(&::ERR_peek_last_error) ERR_peek_last_error;
  decltype(&::ERR_error_string_n) ERR_error_string_n;
  decltype(&::RAND_seed) RAND_seed;
  decltype(&::X509_free) X509_free;
  decltype(&::X509_get_subject_name) X509_get_subject_name;
  decltype(&::X509_NAME_get_text_by_NID) X509_NAME_get_text_by_NID;
  decltype(&::X509_check_host) X509_check_host;
  decltype(&::X509_check_ip_asc) X509_check_ip_asc;
  decltype(&::X509_verify_cert_error_string) X509_verify_cert_error_string;
};

// The entry points, loaded and initialised on first call; null when the
// libraries cannot be loaded or lack one of them, with the reason in *why.
const OpenSslLibrary* openssl_library(std::string* why = nullptr);
