// nginx on loopback for real-peer tests and benchmarks.
#include "common/nginx_server.h"

#include <sys/stat.h>

#include <cstdint>
#include <fstream>
#include <vector>

namespace tessel_testing {

namespace {

std::string config(const std::string& dir, int http_port, int https_port) {
  std::string c;
  c += "daemon off;\nmaster_process off;\nworker_processes 1;\n";
  c += "pid " + dir + "/nginx.pid;\nerror_log " + dir + "/error.log;\n";
  c += "events { worker_connections 64; }\nhttp {\n  access_log off;\n  sendfile on;\n";
  for (const char* t : {"client_body", "proxy", "fastcgi", "uwsgi", "scgi"})
    c += std::string("  ") + t + "_temp_path " + dir + "/" + t + ";\n";
  c += "  server {\n";
  c += "    listen 127.0.0.1:" + std::to_string(http_port) + ";\n";
  c += "    listen 127.0.0.1:" + std::to_string(https_port) + " ssl;\n";
  c += "    ssl_certificate " + dir + "/cert.pem;\n    ssl_certificate_key " + dir + "/key.pem;\n";
  c += "    root " + dir + "/www;\n  }\n}\n";
  return c;
}

}  // namespace

NginxServer::NginxServer() {
  const std::string nginx = find_program("nginx", {"/usr/sbin", "/usr/bin", "/sbin"});
  const std::string openssl = find_program("openssl", {"/usr/bin", "/bin"});
  if (nginx.empty() || openssl.empty()) {
    error_ = "nginx or openssl is not installed; run .ci/deps.sh";
    return;
  }
  const std::string dir = dir_.path();
  ::mkdir(root().c_str(), 0755);
  if (!run_command({openssl, "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-keyout", dir + "/key.pem", "-out", dir + "/cert.pem", "-days", "2", "-subj", "/CN=127.0.0.1"},
                   dir + "/openssl.log")) {
    error_ = "openssl could not make a test certificate (see " + dir + "/openssl.log)";
    return;
  }
  http_port_ = free_loopback_port();
  https_port_ = free_loopback_port();
  std::ofstream(dir + "/nginx.conf") << config(dir, http_port_, https_port_);
  if (!process_.start({nginx, "-p", dir, "-c", dir + "/nginx.conf", "-e", dir + "/error.log"}, dir + "/nginx.out") ||
      !wait_for_port(http_port_, 5000) || !wait_for_port(https_port_, 5000))
    error_ = "nginx did not start: " + read_file(dir + "/error.log") + read_file(dir + "/nginx.out");
}

std::string NginxServer::http_url(const std::string& path) const {
  return "http://127.0.0.1:" + std::to_string(http_port_) + path;
}

std::string NginxServer::https_url(const std::string& path) const {
  return "https://127.0.0.1:" + std::to_string(https_port_) + path;
}

std::string make_pattern_file(const std::string& path, long long size) {
  std::ofstream out(path, std::ios::binary);
  std::vector<char> block(1 << 16);
  uint32_t state = 2463534242u;
  for (long long done = 0; done < size;) {
    for (char& c : block) {
      state ^= state << 13;
      state ^= state >> 17;
      state ^= state << 5;
      c = static_cast<char>(state);
    }
    const long long n =
        size - done < static_cast<long long>(block.size()) ? size - done : static_cast<long long>(block.size());
    out.write(block.data(), static_cast<std::streamsize>(n));
    done += n;
  }
  return path;
}

}  // namespace tessel_testing
