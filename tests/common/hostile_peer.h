// Peers that misbehave on purpose, for tests of every wait and every cut-
// short transfer: each listens on 127.0.0.1 at a port of the system's
// choosing, treats every connection the way its mode says, and stops by
// itself after its lifetime and at the latest in its destructor.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessel_testing {

class OpenSSLServer;
class TestCertificates;

enum class Hostile {
  SilentAfterAccept,  // takes the request and never answers
  FullAcceptQueue,    // never accepts, and its queue is full: connects hang
  TrickleHead,        // a status line, then one header line every half second
  EndlessHeaders,     // a status line, then header lines as fast as they are read
  ShortBody,          // "Content-Length: 100000", 60 bytes of body, then closes
  StallMidBody,       // the head and part of a body, then silence
  TrickleChunkLines,  // a chunked body's first chunk, then a blank line every half second
  HalfServerHello,    // reads the TLS ClientHello, sends half a ServerHello, then silence
  WrongName,          // TLS (openssl s_server) with a certificate for "other.example"
};

class HostilePeer {
 public:
  explicit HostilePeer(Hostile mode, int lifetime_ms = 10000);
  ~HostilePeer();
  HostilePeer(const HostilePeer&) = delete;
  HostilePeer& operator=(const HostilePeer&) = delete;

  int port() const { return port_; }
  // "http://127.0.0.1:PORT" + path, or https for the TLS modes.
  std::string url(const std::string& path = "/") const;
  // What clients sent: one entry per connection (request heads as far as
  // they came); for WrongName, everything s_server printed once its one
  // connection is over (waiting up to 3 s for that).
  std::vector<std::string> requests() const;
  // WrongName only: the CA that issued the certificate (to trust it), and
  // bytes s_server sends the next client.
  std::string ca_file() const;
  void reply(const std::string& bytes);
  void stop();

 private:
  void accept_loop();
  void serve(int fd);
  bool waiting() const;  // false once stopping or past the lifetime
  void pause(int ms) const;
  std::string read_request(int fd);

  Hostile mode_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::vector<int> fillers_;  // connections that fill a full accept queue
  int64_t end_ms_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::vector<std::thread> connections_;
  std::thread acceptor_;
  std::unique_ptr<TestCertificates> certificates_;
  std::unique_ptr<OpenSSLServer> tls_;
};

// The 60 bytes of body a ShortBody peer sends.
std::string short_body();

// Connects to 127.0.0.1:port and sends the first half of a TLS ClientHello,
// as a client that stops in the middle of its hello; answers the open
// descriptor for the caller to close.
int connect_with_half_client_hello(int port);

}  // namespace tessel_testing
