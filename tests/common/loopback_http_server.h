// Scripted HTTP peer on 127.0.0.1 for exact-bytes tests: records what each
// client sent and answers with prepared bytes, then closes or stays silent.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace tessel_testing {

struct ScriptedReply {
  std::string bytes;        // sent as they stand once the request has arrived
  bool close_after = true;  // false: keep the connection open and send nothing more
  int hold_ms = 0;          // how long a kept-open connection stays open
};

class LoopbackHttpServer {
 public:
  // Answers successive connections with the replies in order (the last one
  // repeats). The server stops by itself after lifetime_ms.
  explicit LoopbackHttpServer(std::vector<ScriptedReply> replies, int lifetime_ms = 20000);
  ~LoopbackHttpServer();
  LoopbackHttpServer(const LoopbackHttpServer&) = delete;
  LoopbackHttpServer& operator=(const LoopbackHttpServer&) = delete;

  int port() const { return port_; }
  std::string url(const std::string& path = "/") const;
  // Bytes each finished connection sent, in connection order; call stop()
  // first to be sure the last one is in.
  std::vector<std::string> requests() const;
  // Waits until n connections have finished (or timeout_ms passed) and
  // answers their requests.
  std::vector<std::string> wait_requests(size_t n, int timeout_ms = 3000) const;
  void stop();

  // Common replies.
  static std::string plain(const std::string& body, const std::string& status = "200 OK");
  static std::string chunked(const std::vector<std::string>& chunks);

 private:
  void run();
  std::string read_request(int fd);
  void drain(int fd, std::string* request);

  std::vector<ScriptedReply> replies_;
  int lifetime_ms_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

}  // namespace tessel_testing
