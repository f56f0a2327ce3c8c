// A minimal CONNECT proxy on 127.0.0.1 whose reply line is scripted: it
// answers the CONNECT in two pieces (the status line, then the rest of the
// head after a pause) and relays bytes both ways until either side closes.
#pragma once

#include <atomic>
#include <string>
#include <thread>

namespace tessel_testing {

class ConnectRelay {
 public:
  explicit ConnectRelay(std::string status_line);
  ~ConnectRelay();
  ConnectRelay(const ConnectRelay&) = delete;
  ConnectRelay& operator=(const ConnectRelay&) = delete;
  int port() const { return port_; }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  // The CONNECT request head of the last connection.
  std::string request() const;

 private:
  void run();
  void serve(int client);

  std::string status_line_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  std::string request_;
  mutable std::atomic<bool> busy_{false};
  std::thread thread_;
};

}  // namespace tessel_testing
