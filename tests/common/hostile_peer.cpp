// Misbehaving loopback peers on plain POSIX sockets (and s_server for the
// certificate with the wrong name).
#include "common/hostile_peer.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "common/peer_process.h"
#include "common/tls_fixtures.h"

namespace tessel_testing {

namespace {

int64_t now_ms() {
  using namespace std::chrono;
  return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

bool send_bytes(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// The start of a TLS handshake record of the given type (1 ClientHello,
// 2 ServerHello) that announces far more bytes than follow.
std::string half_hello(unsigned char type) {
  std::string bytes = {0x16, 0x03, 0x03, 0x02, 0x00, static_cast<char>(type), 0x00, 0x01, static_cast<char>(0xFC),
                       0x03, 0x03};
  bytes.append(16, '\x5A');  // half of the random, and nothing after it
  return bytes;
}

}  // namespace

// The 60 bytes a ShortBody peer sends of the 100000 it announces.
std::string short_body() {
  std::string body = "<p>Only the beginning of the document arrives";
  body.resize(60, '.');
  return body;
}

namespace {

int listen_on_loopback(int backlog, int* port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address = loopback_address(0);
  socklen_t length = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || ::listen(fd, backlog) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("hostile peer");
    std::abort();
  }
  *port = ntohs(address.sin_port);
  return fd;
}

// Connects without waiting for the connection to complete.
int start_connect(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  const sockaddr_in address = loopback_address(port);
  ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address);
  return fd;
}

}  // namespace

HostilePeer::HostilePeer(Hostile mode, int lifetime_ms) : mode_(mode), end_ms_(now_ms() + lifetime_ms) {
  if (mode == Hostile::WrongName) {
    certificates_ = std::make_unique<TestCertificates>();
    const CertificateFiles files = certificates_->issue("other", "other.example", "DNS:other.example");
    tls_ = std::make_unique<OpenSSLServer>(files, std::vector<std::string>{}, lifetime_ms);
    port_ = tls_->port();
    return;
  }
  // A queue of length 0 that one connection of our own fills: the kernel
  // then drops every further SYN, and a connect waits as long as it will.
  const bool full_queue = mode == Hostile::FullAcceptQueue;
  listen_fd_ = listen_on_loopback(full_queue ? 0 : 16, &port_);
  if (full_queue) {
    for (int i = 0; i < 2; ++i) fillers_.push_back(start_connect(port_));
    pause(100);
    return;
  }
  acceptor_ = std::thread([this] { accept_loop(); });
}

HostilePeer::~HostilePeer() {
  stop();
}

void HostilePeer::stop() {
  stopping_ = true;
  if (acceptor_.joinable()) acceptor_.join();
  for (std::thread& t : connections_)
    if (t.joinable()) t.join();
  connections_.clear();
  for (int fd : fillers_) ::close(fd);
  fillers_.clear();
  if (listen_fd_ >= 0) ::close(listen_fd_);
  listen_fd_ = -1;
  tls_.reset();
}

std::string HostilePeer::url(const std::string& path) const {
  const bool tls = mode_ == Hostile::HalfServerHello || mode_ == Hostile::WrongName;
  return std::string(tls ? "https" : "http") + "://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> HostilePeer::requests() const {
  if (tls_) return {tls_->output(3000)};  // once its one connection is over
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::string HostilePeer::ca_file() const {
  return certificates_ ? certificates_->ca_file() : "";
}

void HostilePeer::reply(const std::string& bytes) {
  if (tls_) tls_->send(bytes);
}

bool HostilePeer::waiting() const {
  return !stopping_ && now_ms() < end_ms_;
}

void HostilePeer::pause(int ms) const {
  const int64_t until = now_ms() + ms;
  while (waiting() && now_ms() < until) std::this_thread::sleep_for(std::chrono::milliseconds(10));
}

void HostilePeer::accept_loop() {
  while (waiting()) {
    pollfd entry{listen_fd_, POLLIN, 0};
    if (::poll(&entry, 1, 50) != 1) continue;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) connections_.emplace_back([this, fd] { serve(fd); });
  }
}

// The request head, or what came of it before the client went quiet.
std::string HostilePeer::read_request(int fd) {
  std::string got;
  while (waiting() && got.find("\r\n\r\n") == std::string::npos) {
    pollfd entry{fd, POLLIN, 0};
    if (::poll(&entry, 1, 300) != 1) break;
    char buffer[4096];
    const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
    if (n <= 0) break;
    got.append(buffer, static_cast<size_t>(n));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  requests_.push_back(got);
  return got;
}

void HostilePeer::serve(int fd) {
  read_request(fd);
  switch (mode_) {
    case Hostile::TrickleHead:
      if (!send_bytes(fd, "HTTP/1.0 200 OK\r\n")) break;
      for (int line = 0; waiting() && send_bytes(fd, "X-Trickle-" + std::to_string(line) + ": 1\r\n"); ++line)
        pause(500);
      break;
    case Hostile::EndlessHeaders: {
      const std::string line = "X-Endless: " + std::string(1000, 'e') + "\r\n";
      if (!send_bytes(fd, "HTTP/1.0 200 OK\r\n")) break;
      while (waiting() && send_bytes(fd, line)) {
      }
      break;
    }
    case Hostile::ShortBody:
      send_bytes(fd, "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\nContent-Length: 100000\r\n\r\n" + short_body());
      break;
    case Hostile::StallMidBody:
      if (send_bytes(fd, "HTTP/1.0 200 OK\r\nContent-Type: text/html\r\n\r\n<p>The first part")) pause(1 << 30);
      break;
    case Hostile::TrickleChunkLines:
      if (!send_bytes(fd, "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n")) break;
      while (waiting() && send_bytes(fd, "\r\n")) pause(500);
      break;
    case Hostile::HalfServerHello:
      if (send_bytes(fd, half_hello(2))) pause(1 << 30);
      break;
    default:  // SilentAfterAccept
      pause(1 << 30);
      break;
  }
  ::close(fd);
}

int connect_with_half_client_hello(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in address = loopback_address(port);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
    send_bytes(fd, half_hello(1));
  return fd;
}

}  // namespace tessel_testing
