// The bridge's HTTP server on loopback: bodies reach the handler whole,
// what is over a bound or malformed is refused without it, and the server
// goes on serving (and stops) whatever a client did.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>

#include "bridge/http_server.h"

namespace {

class BridgeHttpServer : public ::testing::Test {
protected:
    void SetUp() override
    {
        HttpServerLimits limits;
        limits.max_body = 100;
        limits.max_head = 512;
        limits.workers = 2;
        limits.read_timeout_seconds = 1;
        server_ = std::make_unique<HttpServer>(
            [this](const HttpRequest& request) {
                ++handled_;
                HttpResponse response;
                response.content_type = "text/plain";
                response.body = request.method + " " + request.path + " [" + request.body + "]";
                return response;
            },
            limits);
        std::string error;
        ASSERT_TRUE(server_->listen("127.0.0.1", 0, &error)) << error;
        server_->run();
    }

    int connect_client()
    {
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_port = htons(static_cast<uint16_t>(server_->port()));
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
        timeval limit{2, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
        return fd;
    }

    // Sends the bytes and answers everything the server wrote back.
    std::string exchange(const std::string& request)
    {
        const int fd = connect_client();
        EXPECT_EQ(::send(fd, request.data(), request.size(), MSG_NOSIGNAL), static_cast<ssize_t>(request.size()));
        std::string answer;
        char buffer[4096];
        ssize_t n;
        while ((n = ::recv(fd, buffer, sizeof buffer, 0)) > 0)
            answer.append(buffer, static_cast<size_t>(n));
        ::close(fd);
        return answer;
    }

    std::unique_ptr<HttpServer> server_;
    std::atomic<int> handled_{0};
};

TEST_F(BridgeHttpServer, HandsWholeBodiesToTheHandler)
{
    const std::string answer = exchange("POST /x HTTP/1.1\r\nContent-Length: 5\r\n\r\nhello");
    EXPECT_EQ(answer.rfind("HTTP/1.1 200 OK\r\n", 0), 0u) << answer;
    EXPECT_NE(answer.find("Content-Length: 15\r\n"), std::string::npos);
    EXPECT_NE(answer.find("\r\n\r\nPOST /x [hello]"), std::string::npos);
    // A HEAD gets the head only.
    const std::string head = exchange("HEAD /y HTTP/1.0\r\n\r\n");
    EXPECT_EQ(head.substr(head.size() - 4), "\r\n\r\n");
}

TEST_F(BridgeHttpServer, RefusesWhatIsOverABoundOrMalformedWithoutTheHandler)
{
    const struct {
        std::string request;
        const char* status;
    } cases[] = {
        {"POST /x HTTP/1.1\r\nContent-Length: 101\r\n\r\n" + std::string(101, 'a'), "413"},
        {"POST /x HTTP/1.1\r\nContent-Length: 100000000\r\n\r\n", "413"},
        {"GET /x HTTP/1.1\r\nX: " + std::string(600, 'a') + "\r\n\r\n", "431"},
        {"GET x HTTP/1.1\r\n\r\n", "400"},
        {"POST /x HTTP/1.1\r\nTransfer-Encoding: chunked\r\n\r\n5\r\nhello\r\n0\r\n\r\n", "411"},
        {"POST /x HTTP/1.1\r\nContent-Length: 10\r\n\r\nshort", "400"},  // the body ends early
    };
    for (const auto& c : cases) {
        const std::string answer = exchange(c.request);
        EXPECT_EQ(answer.substr(0, 12), std::string("HTTP/1.1 ") + c.status) << c.request.substr(0, 60);
        EXPECT_NE(answer.find("{\"error\":"), std::string::npos);
    }
    EXPECT_EQ(handled_, 0);
    EXPECT_NE(exchange("GET /still HTTP/1.1\r\n\r\n").find("GET /still []"), std::string::npos);
}

TEST_F(BridgeHttpServer, SilentClientsNeitherBlockOthersNorTheStop)
{
    // Two workers, both held by clients that send nothing: a third request
    // is answered once their reads time out.
    const int quiet1 = connect_client();
    const int quiet2 = connect_client();
    EXPECT_NE(exchange("GET /third HTTP/1.1\r\n\r\n").find("GET /third []"), std::string::npos);
    const int quiet3 = connect_client();
    const auto started = std::chrono::steady_clock::now();
    server_->stop();
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(3));
    ::close(quiet1);
    ::close(quiet2);
    ::close(quiet3);
}

} // namespace
