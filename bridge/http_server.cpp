// The bridge's HTTP server: accepting, bounded reading, answering.
#include "bridge/http_server.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <sys/time.h>

#include <chrono>
#include <random>

#include "bridge/json.h"
#include "net/qelsock.h"

void HttpServer::SocketCloser::operator()(QELTCPSocket* socket) const
{
    QELTCPSocketDestroy(socket);
}

HttpResponse http_error_response(int status, const std::string& message)
{
    HttpResponse response;
    response.status = status;
    response.body = "{\"error\":" + json_quote(message) + "}";
    return response;
}

namespace {

bool write_all(QELTCPSocket* socket, const std::string& data)
{
    size_t done = 0;
    while (done < data.size()) {
        const size_t left = data.size() - done;
        const int n = QELTCPSocketWrite(socket, data.data() + done, left > 65536 ? 65536 : static_cast<int>(left));
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

} // namespace

HttpServer::HttpServer(HttpHandler handler, HttpServerLimits limits)
    : handler_(std::move(handler)), limits_(limits)
{
}

HttpServer::~HttpServer()
{
    stop();
}

bool HttpServer::listen_on(const std::string& address, int port)
{
    listener_.reset(QELTCPSocketCreate());
    const std::string text = std::to_string(port);
    const int backlog = static_cast<int>(limits_.max_waiting < 4096 ? limits_.max_waiting : 4096);
    if (!listener_ || QELTCPSocketListen(listener_.get(), address.c_str(), text.c_str(), backlog) != 0) {
        listener_.reset();
        return false;
    }
    return true;
}

bool HttpServer::listen(const std::string& address, int port, std::string* error)
{
    if (port != 0) {
        if (!listen_on(address, port)) {
            *error = "cannot listen on " + address + ":" + std::to_string(port);
            return false;
        }
    } else {
        // The socket layer reads a port text of "0" as a service name, so a
        // free port is picked here from the dynamic range.
        std::random_device seed;
        std::mt19937 pick(seed());
        std::uniform_int_distribution<int> dynamic(49152, 65535);
        for (int attempt = 0; attempt < 64 && !listener_; ++attempt)
            listen_on(address, dynamic(pick));
        if (!listener_) {
            *error = "no free port on " + address;
            return false;
        }
    }
    sockaddr_in local{};
    socklen_t length = sizeof local;
    if (::getsockname(listener_->descriptor, reinterpret_cast<sockaddr*>(&local), &length) != 0) {
        *error = "cannot read the listening port";
        listener_.reset();
        return false;
    }
    port_ = ntohs(local.sin_port);
    return true;
}

void HttpServer::run()
{
    for (int i = 0; i < limits_.workers; ++i)
        workers_.emplace_back([this] { worker_loop(); });
    acceptor_ = std::thread([this] { accept_loop(); });
}

void HttpServer::stop()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_)
            return;
        stopping_ = true;
    }
    if (listener_ && listener_->descriptor >= 0)
        ::shutdown(listener_->descriptor, SHUT_RDWR);
    if (acceptor_.joinable())
        acceptor_.join();
    {
        // Connections that are idle (a browser's spare ones) or half read
        // end now instead of at their read time-out.
        std::lock_guard<std::mutex> lock(mutex_);
        for (const int descriptor : serving_)
            ::shutdown(descriptor, SHUT_RDWR);
        waiting_.clear();
    }
    ready_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
    workers_.clear();
    waiting_.clear();
}

void HttpServer::accept_loop()
{
    for (;;) {
        Socket client(QELTCPSocketAccept(listener_.get()));
        std::unique_lock<std::mutex> lock(mutex_);
        if (stopping_)
            return;
        if (!client) {
            // Out of descriptors or a connection gone before it was taken:
            // a moment's pause keeps this loop from spinning.
            lock.unlock();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
            continue;
        }
        if (waiting_.size() >= limits_.max_waiting) {
            lock.unlock();
            // Answered on the accepting thread, so without lingering.
            answer(client.get(), http_error_response(503, "the bridge is busy"), false, false);
            continue;
        }
        waiting_.push_back(std::move(client));
        ready_.notify_one();
    }
}

void HttpServer::worker_loop()
{
    for (;;) {
        Socket client;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            ready_.wait(lock, [this] { return stopping_ || !waiting_.empty(); });
            if (waiting_.empty())
                return;
            client = std::move(waiting_.front());
            waiting_.pop_front();
            serving_.push_back(client->descriptor);
        }
        QELTCPSocketSetTimeout(client.get(), limits_.read_timeout_seconds);
        // A client that stops reading must not hold a worker for ever.
        const timeval send_limit{limits_.read_timeout_seconds, 0};
        QELTCPSocketSetOption(client.get(), SOL_SOCKET, SO_SNDTIMEO, &send_limit, sizeof send_limit);
        serve(client.get());
        std::lock_guard<std::mutex> lock(mutex_);
        std::erase(serving_, client->descriptor);
    }
}

void HttpServer::serve(QELTCPSocket* client)
{
    std::string data;
    char buffer[8192];
    HttpRequest request;
    size_t head_length = 0;
    std::string problem;
    for (;;) {
        const HttpHeadStatus status = http_parse_head(data, limits_.max_head, &request, &head_length, &problem);
        if (status == HttpHeadStatus::Complete)
            break;
        if (status == HttpHeadStatus::Malformed)
            return answer(client, http_error_response(400, "malformed request: " + problem), false);
        if (status == HttpHeadStatus::TooLarge)
            return answer(client, http_error_response(431, "the request head is too large"), false);
        if (status == HttpHeadStatus::Unsupported)
            return answer(client, http_error_response(411, "send the body with a Content-Length"), false);
        const int n = QELTCPSocketRead(client, buffer, sizeof buffer);
        if (n <= 0)
            return;  // closed or timed out before a whole head arrived
        data.append(buffer, static_cast<size_t>(n));
    }
    if (request.content_length > limits_.max_body)
        return answer(client,
                      http_error_response(413, "the request body is over " + std::to_string(limits_.max_body) +
                                                   " bytes"),
                      false);
    request.body = data.substr(head_length, request.content_length);
    while (request.body.size() < request.content_length) {
        const int n = QELTCPSocketRead(client, buffer, sizeof buffer);
        if (n <= 0)
            return answer(client, http_error_response(400, "the request body ended early"), false);
        const size_t want = request.content_length - request.body.size();
        request.body.append(buffer, static_cast<size_t>(n) < want ? static_cast<size_t>(n) : want);
    }
    HttpResponse response;
    try {
        response = handler_(request);
    } catch (const std::exception& e) {
        response = http_error_response(500, e.what());
    }
    answer(client, response, request.method == "HEAD");
}

void HttpServer::answer(QELTCPSocket* client, const HttpResponse& response, bool head_only, bool linger)
{
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " + http_reason(response.status) + "\r\n";
    if (!response.content_type.empty())
        head += "Content-Type: " + response.content_type + "\r\n";
    head += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    for (const auto& [name, value] : response.headers)
        head += name + ": " + value + "\r\n";
    head += "X-Content-Type-Options: nosniff\r\nConnection: close\r\n\r\n";
    if (!write_all(client, head) || (!head_only && !write_all(client, response.body)) || !linger)
        return;
    // Whatever the client still sends (a refused body) is read and dropped
    // for a moment, so that closing does not reset the connection before the
    // client has read the answer.
    ::shutdown(client->descriptor, SHUT_WR);
    QELTCPSocketSetTimeout(client, 1);
    char sink[8192];
    size_t drained = 0;
    while (drained < 4 * 1024 * 1024) {
        const int n = QELTCPSocketRead(client, sink, sizeof sink);
        if (n <= 0)
            break;
        drained += static_cast<size_t>(n);
    }
}
