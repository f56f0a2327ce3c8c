// The scripted loopback peer itself: records each request whole (head and
// announced body) and answers connections with the scripted replies in order.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "common/loopback_http_server.h"

namespace {

std::string exchange(int port, const std::string& request) {
  int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(static_cast<uint16_t>(port));
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    ::close(fd);
    return "<no connection>";
  }
  ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
  std::string got;
  char buf[1024];
  ssize_t n;
  while ((n = ::recv(fd, buf, sizeof buf, 0)) > 0) got.append(buf, static_cast<size_t>(n));
  ::close(fd);
  return got;
}

TEST(LoopbackHttpServer, RecordsRequestsAndRepliesInOrder) {
  using tessel_testing::LoopbackHttpServer;
  LoopbackHttpServer server(
      {{LoopbackHttpServer::plain("hello"), true, 0}, {LoopbackHttpServer::chunked({"abcde"}), true, 0}});
  EXPECT_EQ(exchange(server.port(), "GET / HTTP/1.0\r\n\r\n"),
            "HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\nhello");
  std::string post = "POST /f HTTP/1.0\r\nContent-Length: 3\r\n\r\na=1";
  EXPECT_EQ(exchange(server.port(), post),
            "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nabcde\r\n0\r\n\r\n");
  server.stop();
  auto requests = server.requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0], "GET / HTTP/1.0\r\n\r\n");
  EXPECT_EQ(requests[1], post);
}

}  // namespace
