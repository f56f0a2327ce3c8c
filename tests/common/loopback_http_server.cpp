// Scripted loopback HTTP peer on plain POSIX sockets.
#include "common/loopback_http_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace tessel_testing {

namespace {
using Clock = std::chrono::steady_clock;

void send_all(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}
}  // namespace

LoopbackHttpServer::LoopbackHttpServer(std::vector<ScriptedReply> replies, int lifetime_ms)
    : replies_(std::move(replies)), lifetime_ms_(lifetime_ms) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = 0;
  if (listen_fd_ < 0 || ::bind(listen_fd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listen_fd_, 16) != 0) {
    std::perror("loopback http server");
    std::abort();
  }
  socklen_t len = sizeof addr;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&addr), &len);
  port_ = ntohs(addr.sin_port);
  thread_ = std::thread([this] { run(); });
}

LoopbackHttpServer::~LoopbackHttpServer() {
  stop();
}

void LoopbackHttpServer::stop() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
  listen_fd_ = -1;
}

std::string LoopbackHttpServer::url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(port_) + path;
}

std::vector<std::string> LoopbackHttpServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::vector<std::string> LoopbackHttpServer::wait_requests(size_t n, int timeout_ms) const {
  auto until = Clock::now() + std::chrono::milliseconds(timeout_ms);
  for (;;) {
    std::vector<std::string> got = requests();
    if (got.size() >= n || Clock::now() >= until) return got;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
}

std::string LoopbackHttpServer::plain(const std::string& body, const std::string& status) {
  return "HTTP/1.0 " + status + "\r\nContent-Type: text/plain\r\n\r\n" + body;
}

std::string LoopbackHttpServer::chunked(const std::vector<std::string>& chunks) {
  std::string out = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n";
  char size[32];
  for (const std::string& c : chunks) {
    std::snprintf(size, sizeof size, "%zx\r\n", c.size());
    out += size + c + "\r\n";
  }
  return out + "0\r\n\r\n";
}

// Reads the head and, when it announces one, a Content-Length body; stops
// early when the client goes quiet for a short while.
std::string LoopbackHttpServer::read_request(int fd) {
  std::string got;
  size_t wanted = std::string::npos;
  for (;;) {
    if (wanted != std::string::npos && got.size() >= wanted) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 300) <= 0) break;
    char buf[4096];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    got.append(buf, static_cast<size_t>(n));
    size_t head_end = got.find("\r\n\r\n");
    if (wanted == std::string::npos && head_end != std::string::npos) {
      size_t length = 0;
      size_t cl = got.find("Content-Length: ");
      if (cl != std::string::npos && cl < head_end) length = std::strtoul(got.c_str() + cl + 16, nullptr, 10);
      // The client ends form bodies with an extra line end that the length omits.
      wanted = head_end + 4 + length;
    }
  }
  return got;
}

void LoopbackHttpServer::drain(int fd, std::string* request) {
  for (;;) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 200) <= 0) return;
    char buf[4096];
    ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) return;
    request->append(buf, static_cast<size_t>(n));
  }
}

void LoopbackHttpServer::run() {
  auto deadline = Clock::now() + std::chrono::milliseconds(lifetime_ms_);
  size_t served = 0;
  while (!stopping_ && Clock::now() < deadline) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::string request = read_request(fd);
    const ScriptedReply& reply = replies_.empty() ? ScriptedReply{} : replies_[std::min(served, replies_.size() - 1)];
    ++served;
    send_all(fd, reply.bytes);
    if (!reply.close_after) {
      auto until = Clock::now() + std::chrono::milliseconds(reply.hold_ms);
      while (!stopping_ && Clock::now() < until && Clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // End our side first and take what the client still sends (the line end
    // after a form body): closing with unread bytes would reset the
    // connection and could discard the reply before the client reads it.
    ::shutdown(fd, SHUT_WR);
    drain(fd, &request);
    {
      std::lock_guard<std::mutex> lock(mutex_);
      requests_.push_back(request);
    }
    ::close(fd);
  }
}

}  // namespace tessel_testing
