// TLS peers for tests: certificates made at test time with the openssl
// command line, and an `openssl s_server` on a loopback port that stops by
// itself.
#pragma once

#include <sys/types.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/temp_dir.h"

namespace tessel_testing {

struct CertificateFiles {
  std::string certificate;  // PEM
  std::string key;          // PEM, unencrypted
};

// A scratch folder with a test CA in it; issues certificates signed by that
// CA or self-signed. The folder goes with the object. A missing openssl
// program fails the calling test with a message naming the deps script.
class TestCertificates {
 public:
  TestCertificates();

  const std::string& folder() const { return folder_.path(); }
  std::string ca_file() const { return folder_.file("ca.pem"); }
  // alt_names: subjectAltName value such as "DNS:localhost,IP:127.0.0.1";
  // empty for a certificate with the common name only.
  CertificateFiles issue(const std::string& name, const std::string& common_name, const std::string& alt_names = "");
  CertificateFiles self_signed(const std::string& name, const std::string& common_name);

 private:
  TempDir folder_;
};

// A loopback port that nobody listens on at the moment of asking. The
// socket layer reads port "0" as a service name, so its servers need one.
std::string unused_loopback_port();

// Runs the openssl program with args; true when it exits with status 0.
bool run_openssl(const std::vector<std::string>& args);

// `openssl s_server` for one connection on 127.0.0.1 with a free port. What
// is written with send() goes to the client; closing the input (finish())
// makes the server end the connection. The server is killed after
// lifetime_ms at the latest.
class OpenSSLServer {
 public:
  OpenSSLServer(const CertificateFiles& files, const std::vector<std::string>& extra_args = {},
                int lifetime_ms = 10000);
  ~OpenSSLServer();
  OpenSSLServer(const OpenSSLServer&) = delete;
  OpenSSLServer& operator=(const OpenSSLServer&) = delete;

  int port() const { return port_; }
  std::string port_text() const { return std::to_string(port_); }
  void send(const std::string& text);
  void finish();
  // Waits up to wait_ms for the server to exit; then everything it printed.
  std::string output(int wait_ms = 3000);

 private:
  void read_output();

  pid_t pid_ = -1;
  int input_fd_ = -1;
  int output_fd_ = -1;
  int port_ = 0;
  mutable std::mutex mutex_;
  std::string output_;
  bool ended_ = false;
  std::thread reader_;
};

}  // namespace tessel_testing
