// Test certificates through the openssl command line, and s_server as a
// child process whose output is collected by a reader thread.
#include "common/tls_fixtures.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>

namespace tessel_testing {

namespace {

using Clock = std::chrono::steady_clock;

std::vector<char*> argv_of(std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (std::string& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  return argv;
}

bool openssl_present() {
  return std::system("command -v openssl >/dev/null 2>&1") == 0;
}

void require_openssl() {
  if (!openssl_present()) ADD_FAILURE() << "the openssl program is missing; run .ci/deps.sh to install it";
}

// The key type used for every test certificate: quick to generate.
const std::vector<std::string> kNewKey = {"-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes"};

}  // namespace

std::string unused_loopback_port() {
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
    ADD_FAILURE() << "no free loopback port";
  if (fd >= 0) close(fd);
  return std::to_string(ntohs(address.sin_port));
}

bool run_openssl(const std::vector<std::string>& args) {
  std::vector<std::string> full = {"openssl"};
  full.insert(full.end(), args.begin(), args.end());
  pid_t pid = fork();
  if (pid == 0) {
    int null_fd = open("/dev/null", O_RDWR);
    dup2(null_fd, 0);
    dup2(null_fd, 1);
    dup2(null_fd, 2);
    std::vector<char*> argv = argv_of(full);
    execvp("openssl", argv.data());
    _exit(127);
  }
  if (pid < 0) return false;
  int status = 0;
  waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TestCertificates::TestCertificates() {
  require_openssl();
  std::vector<std::string> args = {"req", "-x509"};
  args.insert(args.end(), kNewKey.begin(), kNewKey.end());
  args.insert(args.end(),
              {"-keyout", folder_.file("ca.key"), "-out", ca_file(), "-subj", "/CN=Tessel Test CA", "-days", "2"});
  if (!run_openssl(args)) ADD_FAILURE() << "openssl could not make the test CA";
}

CertificateFiles TestCertificates::issue(const std::string& name, const std::string& common_name,
                                         const std::string& alt_names) {
  CertificateFiles files{folder_.file(name + ".pem"), folder_.file(name + ".key")};
  std::string request = folder_.file(name + ".csr");
  std::string extensions = folder_.file(name + ".ext");
  {
    std::ofstream out(extensions);
    out << "basicConstraints=CA:FALSE\n";
    if (!alt_names.empty()) out << "subjectAltName=" << alt_names << "\n";
  }
  std::vector<std::string> args = {"req", "-new"};
  args.insert(args.end(), kNewKey.begin(), kNewKey.end());
  args.insert(args.end(), {"-keyout", files.key, "-out", request, "-subj", "/CN=" + common_name});
  bool made = run_openssl(args) &&
              run_openssl({"x509", "-req", "-in", request, "-CA", ca_file(), "-CAkey", folder_.file("ca.key"),
                           "-CAcreateserial", "-out", files.certificate, "-days", "2", "-extfile", extensions});
  if (!made) ADD_FAILURE() << "openssl could not issue " << name;
  return files;
}

CertificateFiles TestCertificates::self_signed(const std::string& name, const std::string& common_name) {
  CertificateFiles files{folder_.file(name + ".pem"), folder_.file(name + ".key")};
  std::vector<std::string> args = {"req", "-x509"};
  args.insert(args.end(), kNewKey.begin(), kNewKey.end());
  args.insert(args.end(),
              {"-keyout", files.key, "-out", files.certificate, "-subj", "/CN=" + common_name, "-days", "2"});
  if (!run_openssl(args)) ADD_FAILURE() << "openssl could not make " << name;
  return files;
}

OpenSSLServer::OpenSSLServer(const CertificateFiles& files, const std::vector<std::string>& extra_args,
                             int lifetime_ms) {
  require_openssl();
  int to_server[2];
  int from_server[2];
  if (pipe2(to_server, O_CLOEXEC) != 0 || pipe2(from_server, O_CLOEXEC) != 0) {
    ADD_FAILURE() << "no pipes for s_server";
    return;
  }
  // timeout(1) ends the server after its lifetime even when nobody comes.
  std::string seconds = std::to_string((lifetime_ms + 999) / 1000);
  std::vector<std::string> args = {"timeout",  "-s",      "KILL",        seconds, "openssl",
                                   "s_server", "-accept", "127.0.0.1:0", "-cert", files.certificate,
                                   "-key",     files.key, "-naccept",    "1"};
  args.insert(args.end(), extra_args.begin(), extra_args.end());
  pid_ = fork();
  if (pid_ == 0) {
    dup2(to_server[0], 0);
    dup2(from_server[1], 1);
    dup2(from_server[1], 2);
    std::vector<char*> argv = argv_of(args);
    execvp("timeout", argv.data());
    _exit(127);
  }
  close(to_server[0]);
  close(from_server[1]);
  input_fd_ = to_server[1];
  output_fd_ = from_server[0];
  if (pid_ < 0) {
    ADD_FAILURE() << "cannot start s_server";
    return;
  }
  reader_ = std::thread([this] { read_output(); });

  // Ready once it names the port it listens on.
  auto deadline = Clock::now() + std::chrono::seconds(5);
  while (Clock::now() < deadline) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      size_t at = output_.find("ACCEPT 127.0.0.1:");
      if (at != std::string::npos && output_.find('\n', at) != std::string::npos) {
        port_ = std::atoi(output_.c_str() + at + 17);
        return;
      }
      if (ended_) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ADD_FAILURE() << "s_server did not start: " << output(0);
}

OpenSSLServer::~OpenSSLServer() {
  finish();
  if (pid_ > 0) {
    auto deadline = Clock::now() + std::chrono::seconds(2);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (Clock::now() > deadline) {
        kill(pid_, SIGTERM);
        waitpid(pid_, &status, 0);
        break;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
  }
  if (reader_.joinable()) reader_.join();
  if (output_fd_ >= 0) close(output_fd_);
}

void OpenSSLServer::send(const std::string& text) {
  if (input_fd_ >= 0 && write(input_fd_, text.data(), text.size()) < 0) {
    ADD_FAILURE() << "cannot write to s_server";
  }
}

void OpenSSLServer::finish() {
  if (input_fd_ >= 0) close(input_fd_);
  input_fd_ = -1;
}

std::string OpenSSLServer::output(int wait_ms) {
  auto deadline = Clock::now() + std::chrono::milliseconds(wait_ms);
  while (Clock::now() < deadline) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (ended_) break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  return output_;
}

void OpenSSLServer::read_output() {
  char chunk[4096];
  for (;;) {
    ssize_t n = read(output_fd_, chunk, sizeof chunk);
    if (n <= 0) break;
    std::lock_guard<std::mutex> lock(mutex_);
    output_.append(chunk, static_cast<size_t>(n));
  }
  std::lock_guard<std::mutex> lock(mutex_);
  ended_ = true;
}

}  // namespace tessel_testing
