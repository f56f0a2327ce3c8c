// A small static file server on 127.0.0.1 that lets the host hand a local
// document to the control as an http address, so relative picture names and
// the base address behave as they do on a web server.
#include "apps/tessel/host.h"

#include <arpa/inet.h>
#include <atomic>
#include <cctype>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <sys/socket.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

#include "bridge/http_request.h"
#include "net/qelsock.h"

namespace {

struct SocketDeleter {
    void operator()(QELTCPSocket* s) const { QELTCPSocketDestroy(s); }
};
using SocketPtr = std::unique_ptr<QELTCPSocket, SocketDeleter>;

const char* content_type(const std::string& path)
{
    const size_t dot = path.rfind('.');
    const std::string ext = dot == std::string::npos ? "" : path.substr(dot + 1);
    if (ext == "html" || ext == "htm")
        return "text/html";
    if (ext == "png")
        return "image/png";
    if (ext == "jpg" || ext == "jpeg")
        return "image/jpeg";
    if (ext == "bmp")
        return "image/bmp";
    if (ext == "gif")
        return "image/gif";
    return "application/octet-stream";
}

// The request path without query, percent-decoded; "" when it is not one we
// serve (no leading '/', a ".." component, a bad or NUL escape).
std::string decode_path(const std::string& target)
{
    std::string path;
    if (!http_percent_decode(std::string_view(target).substr(0, target.find_first_of("?#")), &path))
        return "";
    if (path.empty() || path[0] != '/')
        return "";
    if (path == "/.." || path.find("/../") != std::string::npos ||
        (path.size() >= 3 && path.compare(path.size() - 3, 3, "/..") == 0))
        return "";
    return path;
}

void write_all(QELTCPSocket* s, const char* data, size_t length)
{
    while (length > 0) {
        const int chunk = length > 65536 ? 65536 : static_cast<int>(length);
        const int n = QELTCPSocketWrite(s, data, chunk);
        if (n <= 0)
            return;
        data += n;
        length -= static_cast<size_t>(n);
    }
}

class LocalFileServer {
public:
    explicit LocalFileServer(std::string root) : root_(std::move(root)) {}
    ~LocalFileServer()
    {
        stopping_ = true;
        if (listener_ && listener_->descriptor >= 0)
            ::shutdown(listener_->descriptor, SHUT_RDWR);
        if (thread_.joinable())
            thread_.join();
    }

    // Answers the port, or 0.
    int start()
    {
        // The socket layer reads a port text of "0" as a service name, so
        // the port is picked here, from the dynamic range, until one is free.
        std::random_device seed;
        std::mt19937 pick(seed());
        std::uniform_int_distribution<int> dynamic(49152, 65535);
        for (int attempt = 0; attempt < 64 && !listener_; ++attempt) {
            listener_.reset(QELTCPSocketCreate());
            const std::string port = std::to_string(dynamic(pick));
            if (listener_ && QELTCPSocketListen(listener_.get(), "127.0.0.1", port.c_str(), 8) != 0)
                listener_.reset();
        }
        if (!listener_)
            return 0;
        sockaddr_in local{};
        socklen_t length = sizeof local;
        if (::getsockname(listener_->descriptor, reinterpret_cast<sockaddr*>(&local), &length) != 0)
            return 0;
        thread_ = std::thread([this] { serve(); });
        return ntohs(local.sin_port);
    }

private:
    void serve()
    {
        while (!stopping_) {
            SocketPtr client(QELTCPSocketAccept(listener_.get()));
            if (!client) {
                if (stopping_)
                    return;
                continue;
            }
            QELTCPSocketSetTimeout(client.get(), 10);
            answer(client.get());
        }
    }

    void answer(QELTCPSocket* client)
    {
        std::string request;
        char buffer[4096];
        while (request.find("\r\n\r\n") == std::string::npos && request.size() < 16384) {
            const int n = QELTCPSocketRead(client, buffer, sizeof buffer);
            if (n <= 0)
                break;
            request.append(buffer, static_cast<size_t>(n));
        }
        const size_t first_space = request.find(' ');
        const size_t second_space = request.find(' ', first_space + 1);
        const std::string method = request.substr(0, first_space);
        std::string path;
        if (first_space != std::string::npos && second_space != std::string::npos)
            path = decode_path(request.substr(first_space + 1, second_space - first_space - 1));

        std::string body;
        bool found = false;
        struct stat st;
        const std::string file = root_ + path;
        if (!path.empty() && (method == "GET" || method == "HEAD") && ::stat(file.c_str(), &st) == 0 &&
            S_ISREG(st.st_mode)) {
            std::ifstream in(file, std::ios::binary);
            body.assign(std::istreambuf_iterator<char>(in), {});
            found = static_cast<bool>(in) || in.eof();
        }
        std::string head;
        if (found) {
            head = "HTTP/1.0 200 OK\r\nContent-Type: " + std::string(content_type(path)) +
                   "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
        } else {
            body = "Not found\n";
            head = "HTTP/1.0 404 Not Found\r\nContent-Type: text/plain\r\nContent-Length: " +
                   std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n";
        }
        write_all(client, head.data(), head.size());
        if (method != "HEAD")
            write_all(client, body.data(), body.size());
    }

    std::string root_;
    SocketPtr listener_;
    std::thread thread_;
    std::atomic<bool> stopping_{false};
};

// Percent-encodes what may not stand in a path as it is.
std::string encode_path(const std::string& name)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (unsigned char c : name) {
        if (std::isalnum(c) || std::strchr("/-._~", c) != nullptr) {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

} // namespace

std::string serve_local_file(const std::string& path)
{
    char resolved[PATH_MAX];
    if (::realpath(path.c_str(), resolved) == nullptr)
        return "";
    const std::string full = resolved;
    const size_t slash = full.rfind('/');
    const std::string root = full.substr(0, slash);

    static std::unique_ptr<LocalFileServer> server;
    server = std::make_unique<LocalFileServer>(root);
    const int port = server->start();
    if (port == 0) {
        server.reset();
        return "";
    }
    return "http://127.0.0.1:" + std::to_string(port) + encode_path(full.substr(slash));
}
