// Real peers from Debian packages run by tests: a child process on
// 127.0.0.1 with its files in a temporary folder, stopped with the object.
#pragma once

#include <netinet/in.h>

#include <string>
#include <vector>

namespace tessel_testing {

// 127.0.0.1:port as a socket address.
sockaddr_in loopback_address(int port);
// Sends all of bytes unless the peer goes away.
void send_all(int fd, const std::string& bytes);

// A free TCP port on 127.0.0.1 (bound and released; good for a moment).
int free_loopback_port();
// Waits until something accepts connections on 127.0.0.1:port.
bool wait_for_port(int port, int timeout_ms);
// The full path of an installed program, or "" when it is missing.
std::string find_program(const std::string& name, const std::vector<std::string>& folders);

class PeerProcess {
 public:
  PeerProcess() = default;
  ~PeerProcess() { stop(); }
  PeerProcess(const PeerProcess&) = delete;
  PeerProcess& operator=(const PeerProcess&) = delete;

  // Starts argv[0] with its output in log_path. False when it cannot start.
  bool start(const std::vector<std::string>& argv, const std::string& log_path);
  bool running() const;
  // SIGTERM, then SIGKILL after a second; waits for the child.
  void stop();

 private:
  mutable int pid_ = -1;  // -1 once the child has been waited for
};

// Runs a short command to its end; true when it exits with 0.
bool run_command(const std::vector<std::string>& argv, const std::string& log_path);

}  // namespace tessel_testing
