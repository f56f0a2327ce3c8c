// tinyproxy on 127.0.0.1 with its configuration, log and pid file in a
// temporary folder; stopped with the object.
#pragma once

#include <string>

#include "common/http_fixture.h"
#include "common/peer_process.h"

namespace tessel_testing {

class TinyproxyServer {
 public:
  TinyproxyServer();
  // Empty when tinyproxy runs; otherwise why it does not.
  const std::string& error() const { return error_; }
  int port() const { return port_; }
  std::string url() const { return "http://127.0.0.1:" + std::to_string(port_); }
  std::string log() const { return read_file(dir_.file("tinyproxy.log")); }

 private:
  TempDir dir_;
  PeerProcess process_;
  int port_ = 0;
  std::string error_;
};

}  // namespace tessel_testing
