// tinyproxy on loopback for proxy and CONNECT tunnel tests.
#include "common/tinyproxy_server.h"

#include <sys/stat.h>

#include <fstream>

namespace tessel_testing {

TinyproxyServer::TinyproxyServer() {
  const std::string tinyproxy = find_program("tinyproxy", {"/usr/bin", "/usr/sbin"});
  if (tinyproxy.empty()) {
    error_ = "tinyproxy is not installed; run .ci/deps.sh";
    return;
  }
  // It may drop to an unprivileged user when started as root.
  ::chmod(dir_.path().c_str(), 0777);
  port_ = free_loopback_port();
  const std::string conf = dir_.file("tinyproxy.conf");
  // No ConnectPort lines: CONNECT is allowed to every port (the https
  // peer's port is a random one).
  std::ofstream(conf) << "Port " << port_ << "\nListen 127.0.0.1\nTimeout 10\nMaxClients 16\n"
                      << "LogLevel Info\nLogFile \"" << dir_.file("tinyproxy.log") << "\"\nPidFile \""
                      << dir_.file("tinyproxy.pid") << "\"\n";
  if (!process_.start({tinyproxy, "-d", "-c", conf}, dir_.file("tinyproxy.out")) || !wait_for_port(port_, 5000))
    error_ = "tinyproxy did not start: " + read_file(dir_.file("tinyproxy.out")) + log();
}

}  // namespace tessel_testing
