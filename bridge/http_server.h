// A small HTTP/1.1 server on the socket layer's server side: one listener
// on a loopback address, a fixed pool of workers, one request per
// connection. Requests reach the handler only with a complete head and body
// within the bounds; the server itself refuses the rest.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bridge/http_request.h"

struct QELTCPSocket;

struct HttpResponse {
    int status = 200;
    std::string content_type = "application/json";
    std::vector<std::pair<std::string, std::string>> headers;
    std::string body;
};

struct HttpServerLimits {
    size_t max_head = 16 * 1024;
    size_t max_body = 64 * 1024;
    int workers = 16;
    size_t max_waiting = 1024;  // accepted connections queued for a worker
    int read_timeout_seconds = 5;
};

using HttpHandler = std::function<HttpResponse(const HttpRequest&)>;

// The answer the server gives for its own refusals (and handlers may reuse):
// {"error": message} with the status.
HttpResponse http_error_response(int status, const std::string& message);

class HttpServer {
public:
    HttpServer(HttpHandler handler, HttpServerLimits limits);
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    // Listens on address:port; port 0 picks a free port of the dynamic
    // range. False with a reason when nothing listens. Connections wait in
    // the backlog until run().
    bool listen(const std::string& address, int port, std::string* error);
    int port() const { return port_; }
    // Starts the workers and the accepting thread.
    void run();

    // Stops accepting, lets the workers finish their connections, joins.
    void stop();

private:
    struct SocketCloser {
        void operator()(QELTCPSocket* socket) const;
    };
    using Socket = std::unique_ptr<QELTCPSocket, SocketCloser>;

    bool listen_on(const std::string& address, int port);
    void accept_loop();
    void worker_loop();
    void serve(QELTCPSocket* client);
    void answer(QELTCPSocket* client, const HttpResponse& response, bool head_only, bool linger = true);

    HttpHandler handler_;
    HttpServerLimits limits_;
    Socket listener_;
    int port_ = 0;
    std::thread acceptor_;
    std::vector<std::thread> workers_;
    std::mutex mutex_;
    std::condition_variable ready_;
    std::deque<Socket> waiting_;
    std::vector<int> serving_;  // descriptors the workers are reading or answering
    bool stopping_ = false;
};
