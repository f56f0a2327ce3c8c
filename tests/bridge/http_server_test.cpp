// The bridge's HTTP server on loopback: bodies reach the handler whole,
// what is over a bound or malformed is refused without it, clients that
// send slowly or nothing hold nobody up, and the server goes on serving (and
// stops) whatever a client did.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "bridge/http_server.h"

namespace {

using Clock = std::chrono::steady_clock;

class BridgeHttpServer : public ::testing::Test {
 protected:
  void SetUp() override {
    HttpServerLimits limits;
    limits.max_body = 100;
    limits.max_head = 512;
    limits.workers = 2;
    limits.request_seconds = 1;
    limits.idle_seconds = 1;
    limits.write_seconds = 1;
    limits.max_waiting_per_client = 4;
    server_ = std::make_unique<HttpServer>(
        [this](const HttpRequest& request, HttpReply reply) {
          ++handled_;
          HttpResponse response;
          response.content_type = "text/plain";
          response.body = request.method + " " + request.path + " [" + request.body + "]";
          if (request.path != "/later") return reply.send(std::move(response));
          // Answered from elsewhere, after the worker has moved on.
          std::thread([reply = std::move(reply), response]() mutable {
            std::this_thread::sleep_for(std::chrono::milliseconds(300));
            reply.send(response);
          }).detach();
        },
        limits);
    std::string error;
    ASSERT_TRUE(server_->listen("127.0.0.1", 0, &error)) << error;
    server_->run();
  }

  int connect_client() {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server_->port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    timeval limit{3, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    return fd;
  }

  static void send_text(int fd, const std::string& text) {
    EXPECT_EQ(::send(fd, text.data(), text.size(), MSG_NOSIGNAL), static_cast<ssize_t>(text.size()));
  }

  // Everything the server writes until it closes (or 3 s pass).
  static std::string read_to_end(int fd) {
    std::string answer;
    char buffer[4096];
    ssize_t n;
    while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0) answer.append(buffer, static_cast<size_t>(n));
    return answer;
  }

  // One whole answer with a Content-Length body, the connection left open.
  static std::string read_answer(int fd) {
    std::string answer;
    char c;
    while (answer.find("\r\n\r\n") == std::string::npos && ::recv(fd, &c, 1, 0) == 1) answer += c;
    const size_t at = answer.find("Content-Length: ");
    size_t length = at == std::string::npos ? 0 : std::stoul(answer.substr(at + 16));
    while (length-- > 0 && ::recv(fd, &c, 1, 0) == 1) answer += c;
    return answer;
  }

  // Whether the server has ended its side (after whatever it still sent).
  static bool closed_by_server(int fd) {
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
      if (n <= 0) return n == 0 || errno != EAGAIN;
    }
  }

  std::string exchange(const std::string& request) {
    const int fd = connect_client();
    send_text(fd, request);
    const std::string answer = read_to_end(fd);
    ::close(fd);
    return answer;
  }

  std::unique_ptr<HttpServer> server_;
  std::atomic<int> handled_{0};
};

TEST_F(BridgeHttpServer, HandsWholeBodiesToTheHandlerAndKeepsConnectionsAlive) {
  const std::string answer = exchange("POST /x HTTP/1.0\r\nContent-Length: 5\r\n\r\nhello");
  EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
  EXPECT_NE(answer.find("Content-Length: 15\r\n"), std::string::npos);
  EXPECT_NE(answer.find("Connection: close\r\n"), std::string::npos);
  EXPECT_NE(answer.find("\r\n\r\nPOST /x [hello]"), std::string::npos);
  // A HEAD gets the head only.
  const std::string head = exchange("HEAD /y HTTP/1.0\r\n\r\n");
  EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");

  // HTTP/1.1 keeps the connection: two requests sent at once are answered
  // in turn, the second one even while the first is answered later.
  const int fd = connect_client();
  send_text(fd, "GET /later HTTP/1.1\r\nHost: h\r\n\r\nGET /second HTTP/1.1\r\nHost: h\r\n\r\n");
  EXPECT_NE(read_answer(fd).find("GET /later []"), std::string::npos);
  EXPECT_NE(read_answer(fd).find("GET /second []"), std::string::npos);
  EXPECT_FALSE(closed_by_server(fd));
  // ... until it has been idle for a while.
  std::this_thread::sleep_for(std::chrono::milliseconds(1600));
  EXPECT_TRUE(closed_by_server(fd));
  ::close(fd);
}

TEST_F(BridgeHttpServer, RefusesWhatIsOverABoundOrMalformedWithoutTheHandler) {
  const struct {
    std::string request;
    const char* status;
  } cases[] = {
      {"POST /x HTTP/1.1\r\nContent-Length: 101\r\n\r\n" + std::string(101, 'a'), "413"},
      {"POST /x HTTP/1.1\r\nContent-Length: 100000000\r\n\r\n", "413"},
      {"GET /x HTTP/1.1\r\nX: " + std::string(600, 'a') + "\r\n\r\n", "431"},
      {"GET x HTTP/1.1\r\n\r\n", "400"},
      {"POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", "411"},
      {"POST /x HTTP/1.1\r\nContent-Length: 10\r\n\r\nshort", "408"},  // the body never comes whole
      {"GET /x HTTP/1.1\r\nHost: h\r\n", "408"},                       // nor the head
  };
  for (const auto& c : cases) {
    const std::string answer = exchange(c.request);
    EXPECT_EQ(answer.substr(0, 12), std::string("HTTP/1.1 ") + c.status) << c.request.substr(0, 60);
    EXPECT_NE(answer.find("{\"error\":"), std::string::npos);
  }
  EXPECT_EQ(handled_, 0);
  EXPECT_NE(exchange("GET /still HTTP/1.1\r\nConnection: close\r\n\r\n").find("GET /still []"), std::string::npos);
}

TEST_F(BridgeHttpServer, SlowAndSilentClientsHoldNobodyUp) {
  // Sixteen clients trickle a head, a byte at a time, and more say
  // nothing at all: a normal request is still answered at once, though
  // there are only two workers.
  std::vector<int> slow;
  for (int i = 0; i < 16; ++i) {
    slow.push_back(connect_client());
    send_text(slow.back(), "G");
  }
  std::vector<int> silent;
  for (int i = 0; i < 8; ++i) silent.push_back(connect_client());
  for (int round = 0; round < 3; ++round) {
    for (const int fd : slow) ::send(fd, "E", 1, MSG_NOSIGNAL);
    const auto started = Clock::now();
    EXPECT_NE(exchange("GET /normal HTTP/1.0\r\n\r\n").find("GET /normal []"), std::string::npos);
    EXPECT_LT(Clock::now() - started, std::chrono::milliseconds(500));
    std::this_thread::sleep_for(std::chrono::milliseconds(400));
  }
  // By now every one of them has waited past its second: those over the
  // few waiting connections one address may keep were closed, and the
  // rest end when their time for a head is up.
  std::this_thread::sleep_for(std::chrono::milliseconds(300));
  int open = 0;
  for (const int fd : slow) open += closed_by_server(fd) ? 0 : 1;
  for (const int fd : silent) open += closed_by_server(fd) ? 0 : 1;
  EXPECT_LE(open, 4);

  const int quiet = connect_client();
  const auto started = Clock::now();
  server_->stop();
  EXPECT_LT(Clock::now() - started, std::chrono::seconds(1));
  EXPECT_TRUE(closed_by_server(quiet));
  for (const int fd : slow) ::close(fd);
  for (const int fd : silent) ::close(fd);
  ::close(quiet);
}

TEST(BridgeHttpServerLimits, AClientKeepsOnlyAFewWaitingConnections) {
  // With a long time for a head, connections that send nothing stay until
  // the client opens more than it may keep waiting: then the oldest go,
  // once they have waited a second, and the new one is served.
  HttpServerLimits limits;
  limits.max_waiting_per_client = 4;
  HttpServer server(http_answer_at_once([](const HttpRequest&) { return HttpResponse{}; }), limits);
  std::string error;
  ASSERT_TRUE(server.listen("127.0.0.1", 0, &error)) << error;
  server.run();
  auto connect_client = [&] {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(server.port()));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
  };
  std::vector<int> silent;
  for (int i = 0; i < 10; ++i) silent.push_back(connect_client());
  std::this_thread::sleep_for(std::chrono::milliseconds(1200));
  const int fresh = connect_client();
  const std::string request = "GET / HTTP/1.0\r\n\r\n";
  ::send(fresh, request.data(), request.size(), MSG_NOSIGNAL);
  char buffer[256];
  EXPECT_GT(::recv(fresh, buffer, sizeof buffer, 0), 0);
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  int open = 0;
  for (const int fd : silent) {
    open += ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) < 0 && errno == EAGAIN ? 1 : 0;
    ::close(fd);
  }
  EXPECT_EQ(open, 3);  // with the new one, four were left waiting
  ::close(fresh);
}

TEST_F(BridgeHttpServer, RepliesAfterTheStopGoNowhere) {
  const int fd = connect_client();
  send_text(fd, "GET /later HTTP/1.1\r\n\r\n");
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  server_->stop();
  server_.reset();  // the reply comes 200 ms after the server is gone
  std::this_thread::sleep_for(std::chrono::milliseconds(400));
  EXPECT_EQ(read_to_end(fd), "");
  ::close(fd);
}

}  // namespace
