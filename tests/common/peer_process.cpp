// Child processes for real peers, and loopback port helpers.
#include "common/peer_process.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <thread>

namespace tessel_testing {

namespace {

int spawn(const std::vector<std::string>& argv, const std::string& log_path) {
  std::vector<char*> args;
  for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
  args.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid != 0) return pid;
  const int log = ::open(log_path.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  const int null = ::open("/dev/null", O_RDONLY);
  if (null >= 0) ::dup2(null, 0);
  if (log >= 0) {
    ::dup2(log, 1);
    ::dup2(log, 2);
  }
  ::execv(args[0], args.data());
  ::_exit(127);
}

}  // namespace

sockaddr_in loopback_address(int port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  return addr;
}

void send_all(int fd, const std::string& bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

int free_loopback_port() {
  const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in addr = loopback_address(0);
  socklen_t length = sizeof addr;
  int port = 0;
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &length) == 0)
    port = ntohs(addr.sin_port);
  if (fd >= 0) ::close(fd);
  return port;
}

bool wait_for_port(int port, int timeout_ms) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < until) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr = loopback_address(port);
    const bool up = ::connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    ::close(fd);
    if (up) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return false;
}

std::string find_program(const std::string& name, const std::vector<std::string>& folders) {
  for (const std::string& folder : folders) {
    const std::string path = folder + "/" + name;
    if (::access(path.c_str(), X_OK) == 0) return path;
  }
  return "";
}

bool PeerProcess::start(const std::vector<std::string>& argv, const std::string& log_path) {
  stop();
  pid_ = spawn(argv, log_path);
  return pid_ > 0;
}

bool PeerProcess::running() const {
  if (pid_ <= 0) return false;
  int status;
  if (::waitpid(pid_, &status, WNOHANG) == 0) return true;
  pid_ = -1;
  return false;
}

void PeerProcess::stop() {
  if (pid_ <= 0) return;
  ::kill(pid_, SIGTERM);
  for (int i = 0; i < 100; ++i) {
    int status;
    if (::waitpid(pid_, &status, WNOHANG) == pid_) {
      pid_ = -1;
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ::kill(pid_, SIGKILL);
  int status;
  ::waitpid(pid_, &status, 0);
  pid_ = -1;
}

bool run_command(const std::vector<std::string>& argv, const std::string& log_path) {
  const int pid = spawn(argv, log_path);
  if (pid <= 0) return false;
  int status = 0;
  if (::waitpid(pid, &status, 0) != pid) return false;
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace tessel_testing
