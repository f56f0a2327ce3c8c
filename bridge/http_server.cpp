// The bridge's HTTP server: one thread waits on the listener and every
// connection with epoll and keeps each connection's deadline; workers run
// the handler on whole requests.
#include "bridge/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <sys/epoll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <random>

#include "bridge/json.h"
#include "net/qelsock.h"

namespace http_detail {

// Finished answers on their way from any thread to the connection thread.
struct ReplyQueue {
  struct Done {
    uint64_t connection;
    std::string wire;
    bool close;
  };

  std::mutex mutex;
  std::vector<Done> done;
  bool open = true;
  int wake = -1;  // an eventfd the connection thread waits on
  std::atomic<bool> stop_accepting{false};
  std::atomic<bool> stop{false};

  void push(Done item) {
    std::lock_guard<std::mutex> lock(mutex);
    if (!open) return;
    done.push_back(std::move(item));
    poke_locked();
  }
  void poke() {
    std::lock_guard<std::mutex> lock(mutex);
    if (open) poke_locked();
  }

 private:
  void poke_locked() {
    const uint64_t one = 1;
    const ssize_t ignored = ::write(wake, &one, sizeof one);
    (void)ignored;
  }
};

}  // namespace http_detail

using http_detail::ReplyQueue;

struct HttpServer::Connection {
  enum class Phase {
    Waiting,   // for a request, or the rest of one
    Handling,  // the handler has the request
    Writing,   // the answer is going out
    Closing,   // written; what the client still sends is read and dropped
  };

  uint64_t id = 0;
  int fd = -1;
  std::string peer;
  Phase phase = Phase::Waiting;
  std::string input;
  std::string output;
  size_t written = 0;
  bool fresh = true;             // no request taken yet
  bool request_started = false;  // bytes of the next request have arrived
  bool close_after = false;
  size_t dropped = 0;
  Clock::time_point waiting_since;
  Clock::time_point deadline;
  uint32_t events = 0;
};

HttpResponse http_error_response(int status, const std::string& message) {
  HttpResponse response;
  response.status = status;
  response.body = "{\"error\":" + json_quote(message) + "}";
  return response;
}

namespace {

constexpr size_t kReadChunk = 64 * 1024;
constexpr size_t kMaxDropped = 4 * 1024 * 1024;
constexpr auto kEvictionGrace = std::chrono::seconds(1);
constexpr auto kLinger = std::chrono::seconds(1);

std::string wire_form(const HttpResponse& response, bool head_only, bool keep_alive) {
  std::string wire = "HTTP/1.1 " + std::to_string(response.status) + " " + http_reason(response.status) + "\r\n";
  if (!response.content_type.empty()) wire += "Content-Type: " + response.content_type + "\r\n";
  wire += "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
  for (const auto& [name, value] : response.headers) wire += name + ": " + value + "\r\n";
  wire += "X-Content-Type-Options: nosniff\r\n";
  wire += keep_alive ? "Connection: keep-alive\r\n\r\n" : "Connection: close\r\n\r\n";
  if (!head_only) wire += response.body;
  return wire;
}

// Whether the client lets the connection stay open after this request.
bool client_keeps_alive(const HttpRequest& request) {
  const std::string* connection = request.header("connection");
  auto has = [connection](const char* token) {
    if (connection == nullptr) return false;
    std::string lower;
    for (const char c : *connection) lower += static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
    return lower.find(token) != std::string::npos;
  };
  return request.version == "HTTP/1.1" ? !has("close") : has("keep-alive");
}

std::string peer_address(const sockaddr_storage& address) {
  char text[INET6_ADDRSTRLEN] = "";
  if (address.ss_family == AF_INET)
    ::inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in&>(address).sin_addr, text, sizeof text);
  else if (address.ss_family == AF_INET6)
    ::inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6&>(address).sin6_addr, text, sizeof text);
  return text;
}

}  // namespace

HttpReply& HttpReply::operator=(HttpReply&& other) noexcept {
  if (this != &other) {
    if (queue_) send(http_error_response(500, "the request was dropped"));
    queue_ = std::move(other.queue_);
    headers_ = std::move(other.headers_);
    connection_ = other.connection_;
    head_only_ = other.head_only_;
    keep_alive_ = other.keep_alive_;
  }
  return *this;
}

HttpReply::~HttpReply() {
  if (queue_) send(http_error_response(500, "the request was dropped"));
}

void HttpReply::send(HttpResponse response) {
  if (!queue_) return;
  for (auto& header : headers_) response.headers.push_back(std::move(header));
  headers_.clear();
  const bool keep = keep_alive_ && !response.close;
  std::shared_ptr<ReplyQueue> queue = std::move(queue_);
  queue->push({connection_, wire_form(response, head_only_, keep), !keep});
}

HttpHandler http_answer_at_once(std::function<HttpResponse(const HttpRequest&)> answer) {
  return [answer = std::move(answer)](const HttpRequest& request, HttpReply reply) { reply.send(answer(request)); };
}

HttpServer::HttpServer(HttpHandler handler, HttpServerLimits limits)
    : handler_(std::move(handler)), limits_(limits), replies_(std::make_shared<ReplyQueue>()) {
  replies_->wake = ::eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC);
  epoll_ = ::epoll_create1(EPOLL_CLOEXEC);
}

HttpServer::~HttpServer() {
  stop();
  {
    std::lock_guard<std::mutex> lock(replies_->mutex);
    replies_->open = false;
  }
  for (auto& [id, c] : connections_) ::close(c->fd);
  connections_.clear();
  if (replies_->wake >= 0) ::close(replies_->wake);
  if (epoll_ >= 0) ::close(epoll_);
}

bool HttpServer::listen_on(const std::string& address, int port) {
  listener_.reset(QELTCPSocketCreate());
  const std::string text = std::to_string(port);
  if (!listener_ || QELTCPSocketListen(listener_.get(), address.c_str(), text.c_str(), 1024) != 0) {
    listener_.reset();
    return false;
  }
  return true;
}

bool HttpServer::listen(const std::string& address, int port, std::string* error) {
  if (epoll_ < 0 || replies_->wake < 0) {
    *error = "cannot wait on connections";
    return false;
  }
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
    for (int attempt = 0; attempt < 64 && !listener_; ++attempt) listen_on(address, dynamic(pick));
    if (!listener_) {
      *error = "no free port on " + address;
      return false;
    }
  }
  port_ = QELTCPSocketLocalPort(listener_.get());
  if (port_ < 0) {
    *error = "cannot read the listening port";
    listener_.reset();
    port_ = 0;
    return false;
  }
  return true;
}

void HttpServer::run() {
  if (started_ || !listener_) return;
  started_ = true;
  ::fcntl(listener_->descriptor, F_SETFL, ::fcntl(listener_->descriptor, F_GETFL) | O_NONBLOCK);
  epoll_event listen_event{EPOLLIN, {.u64 = 0}};
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, listener_->descriptor, &listen_event);
  epoll_event wake_event{EPOLLIN, {.u64 = UINT64_MAX}};
  ::epoll_ctl(epoll_, EPOLL_CTL_ADD, replies_->wake, &wake_event);
  for (int i = 0; i < limits_.workers; ++i) workers_.emplace_back([this] { worker_loop(); });
  loop_ = std::thread([this] { loop(); });
}

void HttpServer::stop_accepting() {
  replies_->stop_accepting = true;
  replies_->poke();
  if (!loop_.joinable()) listener_.reset();
}

void HttpServer::stop() {
  {
    std::lock_guard<std::mutex> lock(jobs_mutex_);
    if (stopping_) return;
    stopping_ = true;
  }
  replies_->stop = true;
  replies_->poke();
  if (loop_.joinable()) loop_.join();
  jobs_ready_.notify_all();
  for (std::thread& worker : workers_) worker.join();
  workers_.clear();
  jobs_.clear();
  listener_.reset();
}

void HttpServer::loop() {
  epoll_event events[64];
  while (!replies_->stop) {
    if (replies_->stop_accepting && listener_) {
      ::epoll_ctl(epoll_, EPOLL_CTL_DEL, listener_->descriptor, nullptr);
      listener_.reset();
    }
    const int n = ::epoll_wait(epoll_, events, 64, next_wait_ms(Clock::now()));
    for (int i = 0; i < n; ++i) {
      const uint64_t id = events[i].data.u64;
      if (id == 0) {
        accept_all();
        continue;
      }
      if (id == UINT64_MAX) {
        uint64_t count;
        while (::read(replies_->wake, &count, sizeof count) > 0) {
        }
        drain_replies();
        continue;
      }
      const auto found = connections_.find(id);
      if (found == connections_.end()) continue;
      Connection& c = *found->second;
      if ((events[i].events & (EPOLLIN | EPOLLHUP | EPOLLERR)) != 0 && c.phase != Connection::Phase::Writing)
        on_readable(c);
      else if ((events[i].events & (EPOLLOUT | EPOLLHUP | EPOLLERR)) != 0)
        on_writable(c);
    }
    expire(Clock::now());
    if (accept_paused_ && connections_.size() < limits_.max_connections && Clock::now() >= resume_at_)
      pause_accepting(false);
  }
  for (auto& [id, c] : connections_) ::close(c->fd);
  connections_.clear();
}

void HttpServer::accept_all() {
  while (listener_) {
    if (connections_.size() >= limits_.max_connections) make_room_for(nullptr, limits_.max_connections - 1);
    if (connections_.size() >= limits_.max_connections) return pause_accepting(true);
    sockaddr_storage address{};
    socklen_t length = sizeof address;
    const int fd =
        ::accept4(listener_->descriptor, reinterpret_cast<sockaddr*>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) {
      // Out of descriptors: the rest wait in the backlog until one
      // of ours closes.
      if (errno == EMFILE || errno == ENFILE) {
        pause_accepting(true);
        resume_at_ = Clock::now() + std::chrono::milliseconds(100);
      }
      return;
    }
    admit(fd, peer_address(address));
  }
}

void HttpServer::pause_accepting(bool pause) {
  if (!listener_ || pause == accept_paused_) return;
  accept_paused_ = pause;
  epoll_event event{EPOLLIN, {.u64 = 0}};
  ::epoll_ctl(epoll_, pause ? EPOLL_CTL_DEL : EPOLL_CTL_ADD, listener_->descriptor, &event);
}

void HttpServer::admit(int fd, const std::string& peer) {
  make_room_for(&peer, limits_.max_waiting_per_client - 1);
  auto c = std::make_unique<Connection>();
  c->id = ++next_id_;
  c->fd = fd;
  c->peer = peer;
  const Clock::time_point now = Clock::now();
  c->waiting_since = now;
  c->deadline = now + std::chrono::seconds(limits_.request_seconds);
  Connection& added = *c;
  connections_.emplace(c->id, std::move(c));
  watch(added, EPOLLIN);
}

// Connections that wait for a request (of one client address, or of any)
// beyond `keep` are closed, those that have waited longest first, and only
// once they have waited a moment, so that a burst of new ones is not cut.
void HttpServer::make_room_for(const std::string* peer, size_t keep) {
  std::vector<Connection*> waiting;
  for (auto& [id, c] : connections_)
    if (c->phase == Connection::Phase::Waiting && (peer == nullptr || c->peer == *peer)) waiting.push_back(c.get());
  if (waiting.size() <= keep) return;
  std::sort(waiting.begin(), waiting.end(),
            [](const Connection* a, const Connection* b) { return a->waiting_since < b->waiting_since; });
  const Clock::time_point settled = Clock::now() - kEvictionGrace;
  size_t excess = waiting.size() - keep;
  std::vector<uint64_t> evicted;
  for (const Connection* c : waiting) {
    if (excess == 0 || c->waiting_since > settled) break;
    evicted.push_back(c->id);
    --excess;
  }
  for (const uint64_t id : evicted) close_connection(id);
}

void HttpServer::watch(Connection& c, uint32_t events) {
  epoll_event event{events, {.u64 = c.id}};
  if (c.events == 0 && events != 0)
    ::epoll_ctl(epoll_, EPOLL_CTL_ADD, c.fd, &event);
  else if (events == 0 && c.events != 0)
    ::epoll_ctl(epoll_, EPOLL_CTL_DEL, c.fd, nullptr);
  else if (events != c.events)
    ::epoll_ctl(epoll_, EPOLL_CTL_MOD, c.fd, &event);
  c.events = events;
}

void HttpServer::close_connection(uint64_t id) {
  const auto found = connections_.find(id);
  if (found == connections_.end()) return;
  ::close(found->second->fd);  // also takes it out of the epoll set
  connections_.erase(found);
}

void HttpServer::on_readable(Connection& c) {
  char buffer[kReadChunk];
  for (;;) {
    const ssize_t n = ::recv(c.fd, buffer, sizeof buffer, 0);
    if (n > 0) {
      if (c.phase == Connection::Phase::Closing) {
        c.dropped += static_cast<size_t>(n);
        if (c.dropped > kMaxDropped) return close_connection(c.id);
        continue;
      }
      if (!c.request_started) {
        c.request_started = true;
        // A new connection's time runs from the accept; a kept-alive
        // one's next request has its own from its first byte.
        if (!c.fresh) c.deadline = Clock::now() + std::chrono::seconds(limits_.request_seconds);
      }
      c.input.append(buffer, static_cast<size_t>(n));
      // Enough for a head and the largest body; the rest waits.
      if (c.input.size() > limits_.max_head + limits_.max_body) break;
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) break;
    if (n < 0 && errno == EINTR) continue;
    return close_connection(c.id);  // closed by the client, or failed
  }
  if (c.phase == Connection::Phase::Waiting) take_request(c);
}

void HttpServer::take_request(Connection& c) {
  const uint64_t id = c.id;
  HttpRequest request;
  size_t head_length = 0;
  std::string problem;
  switch (http_parse_head(c.input, limits_.max_head, &request, &head_length, &problem)) {
    case HttpHeadStatus::Incomplete: return;
    case HttpHeadStatus::Malformed: return refuse(c, 400, "malformed request: " + problem);
    case HttpHeadStatus::TooLarge: return refuse(c, 431, "the request head is too large");
    case HttpHeadStatus::Unsupported: return refuse(c, 411, "send the body with a Content-Length");
    case HttpHeadStatus::Complete: break;
  }
  if (request.content_length > limits_.max_body)
    return refuse(c, 413, "the request body is over " + std::to_string(limits_.max_body) + " bytes");
  if (c.input.size() - head_length < request.content_length) return;  // the body is still arriving
  request.body = c.input.substr(head_length, request.content_length);
  c.input.erase(0, head_length + request.content_length);
  c.fresh = false;
  c.phase = Connection::Phase::Handling;
  watch(c, 0);

  HttpReply reply;
  reply.queue_ = replies_;
  reply.connection_ = id;
  reply.head_only_ = request.method == "HEAD";
  reply.keep_alive_ = client_keeps_alive(request) && !replies_->stop_accepting;
  {
    std::lock_guard<std::mutex> lock(jobs_mutex_);
    jobs_.push_back({std::move(request), std::move(reply)});
  }
  jobs_ready_.notify_one();
}

void HttpServer::refuse(Connection& c, int status, const std::string& message) {
  c.phase = Connection::Phase::Handling;
  queue_answer(c, wire_form(http_error_response(status, message), false, false), true);
}

void HttpServer::queue_answer(Connection& c, std::string wire, bool close) {
  c.output = std::move(wire);
  c.written = 0;
  c.close_after = close;
  c.phase = Connection::Phase::Writing;
  c.deadline = Clock::now() + std::chrono::seconds(limits_.write_seconds);
  on_writable(c);
}

void HttpServer::on_writable(Connection& c) {
  while (c.written < c.output.size()) {
    const ssize_t n = ::send(c.fd, c.output.data() + c.written, c.output.size() - c.written, MSG_NOSIGNAL);
    if (n > 0) {
      c.written += static_cast<size_t>(n);
      c.deadline = Clock::now() + std::chrono::seconds(limits_.write_seconds);
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return watch(c, EPOLLOUT);
    if (n < 0 && errno == EINTR) continue;
    return close_connection(c.id);
  }
  c.output.clear();
  c.output.shrink_to_fit();
  if (!c.close_after) return to_waiting(c);
  // Whatever the client still sends (a refused body) is read and dropped
  // for a moment, so that closing does not reset the connection before
  // the client has read the answer.
  ::shutdown(c.fd, SHUT_WR);
  c.phase = Connection::Phase::Closing;
  c.input.clear();
  c.deadline = Clock::now() + kLinger;
  watch(c, EPOLLIN);
}

void HttpServer::to_waiting(Connection& c) {
  const Clock::time_point now = Clock::now();
  c.phase = Connection::Phase::Waiting;
  c.waiting_since = now;
  c.request_started = !c.input.empty();
  c.deadline = now + std::chrono::seconds(c.request_started ? limits_.request_seconds : limits_.idle_seconds);
  watch(c, EPOLLIN);
  if (c.request_started) take_request(c);  // a request sent behind the last one
}

void HttpServer::drain_replies() {
  std::vector<ReplyQueue::Done> done;
  {
    std::lock_guard<std::mutex> lock(replies_->mutex);
    done.swap(replies_->done);
  }
  for (ReplyQueue::Done& d : done) {
    const auto found = connections_.find(d.connection);
    if (found == connections_.end() || found->second->phase != Connection::Phase::Handling) continue;
    queue_answer(*found->second, std::move(d.wire), d.close || replies_->stop_accepting);
  }
}

void HttpServer::expire(Clock::time_point now) {
  std::vector<uint64_t> ended;
  std::vector<Connection*> late;
  for (auto& [id, c] : connections_) {
    if (c->phase == Connection::Phase::Handling || c->deadline > now) continue;
    if (c->phase == Connection::Phase::Waiting && c->request_started)
      late.push_back(c.get());
    else
      ended.push_back(id);
  }
  for (Connection* c : late)
    refuse(*c, 408, "the request did not arrive within " + std::to_string(limits_.request_seconds) + " s");
  for (const uint64_t id : ended) close_connection(id);
}

int HttpServer::next_wait_ms(Clock::time_point now) const {
  Clock::time_point next = now + std::chrono::seconds(1);
  for (const auto& [id, c] : connections_)
    if (c->phase != Connection::Phase::Handling && c->deadline < next) next = c->deadline;
  const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(next - now).count();
  return wait < 0 ? 0 : static_cast<int>(wait) + 1;
}

void HttpServer::worker_loop() {
  for (;;) {
    Job job;
    {
      std::unique_lock<std::mutex> lock(jobs_mutex_);
      jobs_ready_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
      if (stopping_) return;
      job = std::move(jobs_.front());
      jobs_.pop_front();
    }
    try {
      handler_(job.request, std::move(job.reply));
    } catch (const std::exception& e) {
      // The reply went to the handler; if it was not answered, its
      // destructor has answered 500 already.
      (void)e;
    }
  }
}
