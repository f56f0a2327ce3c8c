// Scripted CONNECT proxy that relays to a loopback port.
#include "common/connect_relay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>

#include "common/peer_process.h"

namespace tessel_testing {

ConnectRelay::ConnectRelay(std::string status_line) : status_line_(std::move(status_line)) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr = loopback_address(0);
  socklen_t length = sizeof addr;
  if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 8) != 0 || ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &length) != 0)
    std::abort();
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { run(); });
}

ConnectRelay::~ConnectRelay() {
  stopping_ = true;
  thread_.join();
  ::close(listen_fd_);
}

std::string ConnectRelay::request() const {
  while (busy_) std::this_thread::sleep_for(std::chrono::milliseconds(5));
  return request_;
}

void ConnectRelay::run() {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
  while (!stopping_ && std::chrono::steady_clock::now() < deadline) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int client = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (client < 0) continue;
    busy_ = true;
    serve(client);
    busy_ = false;
    ::close(client);
  }
}

void ConnectRelay::serve(int client) {
  std::string head;
  char buf[16384];
  while (head.find("\r\n\r\n") == std::string::npos) {
    pollfd p{client, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) return;
    const ssize_t n = ::recv(client, buf, sizeof buf, 0);
    if (n <= 0) return;
    head.append(buf, static_cast<size_t>(n));
  }
  request_ = head;
  // "CONNECT host:port HTTP/1.0"; only loopback targets are relayed.
  const size_t colon = head.find(':');
  const int port = colon == std::string::npos ? 0 : std::atoi(head.c_str() + colon + 1);
  if (head.rfind("CONNECT 127.0.0.1:", 0) != 0 || port <= 0) return;
  const int upstream = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr = loopback_address(port);
  if (::connect(upstream, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(upstream);
    return;
  }
  send_all(client, status_line_);
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  send_all(client, "Proxy-agent: relay\r\n\r\n");
  pollfd fds[2] = {{client, POLLIN, 0}, {upstream, POLLIN, 0}};
  while (!stopping_) {
    if (::poll(fds, 2, 2000) <= 0) break;
    bool done = false;
    for (int i = 0; i < 2 && !done; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::recv(fds[i].fd, buf, sizeof buf, 0);
      if (n <= 0)
        done = true;
      else
        send_all(fds[1 - i].fd, std::string(buf, static_cast<size_t>(n)));
    }
    if (done) break;
  }
  ::close(upstream);
}

}  // namespace tessel_testing
