// A small HTTP/1.1 server on loopback: one thread waits on every connection
// at once, so a client that sends slowly or nothing holds no thread; whole
// requests go to a few workers, whose handlers answer at once or hand the
// reply on to whoever finishes the work. Connections are kept alive between
// requests for a few seconds.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bridge/http_request.h"
#include "net/qelsock.h"

struct HttpResponse {
  int status = 200;
  std::string content_type = "application/json";
  std::vector<std::pair<std::string, std::string>> headers;
  std::string body;
  bool close = false;  // end the connection after this answer
};

struct HttpServerLimits {
  size_t max_head = 16 * 1024;
  size_t max_body = 64 * 1024;
  int workers = 4;  // threads that run the handler
  // A request head, and its body, must arrive whole within this.
  int request_seconds = 10;
  // A kept-alive connection on which nothing arrives closes after this.
  int idle_seconds = 5;
  // A client that takes none of an answer for this long is dropped.
  int write_seconds = 10;
  // Past this, more connections wait in the listener's backlog (once the
  // longest waiting connection that has no request in progress is gone).
  size_t max_connections = 512;
  // Connections of one client address that have no request in progress
  // (idle, or a head still arriving). Past this, the one that has waited
  // longest goes, once it has waited a second.
  size_t max_waiting_per_client = 8;
};

// The answer the server gives for its own refusals (and handlers may reuse):
// {"error": message} with the status.
HttpResponse http_error_response(int status, const std::string& message);

namespace http_detail {
struct ReplyQueue;
}

// Answers one request, once, from any thread. A reply dropped without an
// answer answers 500; one sent after the server stopped goes nowhere.
class HttpReply {
 public:
  HttpReply() = default;
  HttpReply(HttpReply&& other) noexcept { *this = std::move(other); }
  HttpReply& operator=(HttpReply&& other) noexcept;
  ~HttpReply();

  void send(HttpResponse response);
  bool pending() const { return queue_ != nullptr; }
  // A header line every answer through this reply carries.
  void add_header(std::string name, std::string value) { headers_.emplace_back(std::move(name), std::move(value)); }

 private:
  friend class HttpServer;
  std::shared_ptr<http_detail::ReplyQueue> queue_;
  std::vector<std::pair<std::string, std::string>> headers_;
  uint64_t connection_ = 0;
  bool head_only_ = false;
  bool keep_alive_ = false;
};

using HttpHandler = std::function<void(const HttpRequest& request, HttpReply reply)>;
// A handler that always answers at once.
HttpHandler http_answer_at_once(std::function<HttpResponse(const HttpRequest&)> answer);

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
  // Starts the workers and the connection thread.
  void run();

  // Accepts no more connections; those open go on.
  void stop_accepting();
  // Ends every connection at once and joins the threads. Handlers that
  // still run are waited for; replies sent later go nowhere.
  void stop();

 private:
  struct Connection;
  struct Job {
    HttpRequest request;
    HttpReply reply;
  };
  using Clock = std::chrono::steady_clock;

  bool listen_on(const std::string& address, int port);
  void loop();
  void accept_all();
  void admit(int descriptor, const std::string& peer);
  void make_room_for(const std::string* peer, size_t keep);
  void pause_accepting(bool pause);
  void on_readable(Connection& c);
  void on_writable(Connection& c);
  void take_request(Connection& c);
  void queue_answer(Connection& c, std::string wire, bool close);
  void refuse(Connection& c, int status, const std::string& message);
  void to_waiting(Connection& c);
  void drain_replies();
  void expire(Clock::time_point now);
  int next_wait_ms(Clock::time_point now) const;
  void watch(Connection& c, uint32_t events);
  void close_connection(uint64_t id);
  void worker_loop();

  HttpHandler handler_;
  HttpServerLimits limits_;
  QELTCPSocketPtr listener_;
  int port_ = 0;
  int epoll_ = -1;
  std::shared_ptr<http_detail::ReplyQueue> replies_;
  std::map<uint64_t, std::unique_ptr<Connection>> connections_;  // only the loop thread touches these
  uint64_t next_id_ = 1;
  std::thread loop_;
  std::vector<std::thread> workers_;
  std::mutex jobs_mutex_;
  std::condition_variable jobs_ready_;
  std::deque<Job> jobs_;
  bool stopping_ = false;  // under jobs_mutex_
  bool started_ = false;
  bool accept_paused_ = false;
  Clock::time_point resume_at_;
};
