// nginx serving a folder over http and https on 127.0.0.1, with a
// self-signed certificate made when it starts; everything of it lives in a
// temporary folder that goes with the object.
#pragma once

#include <string>

#include "common/http_fixture.h"
#include "common/peer_process.h"

namespace tessel_testing {

class NginxServer {
 public:
  NginxServer();
  // Empty when nginx runs; otherwise why it does not (for a test failure).
  const std::string& error() const { return error_; }
  int http_port() const { return http_port_; }
  int https_port() const { return https_port_; }
  std::string http_url(const std::string& path) const;
  std::string https_url(const std::string& path) const;
  // Folder whose files nginx serves.
  std::string root() const { return dir_.file("www"); }

 private:
  TempDir dir_;
  PeerProcess process_;
  int http_port_ = 0;
  int https_port_ = 0;
  std::string error_;
};

// A file of size bytes of a fixed pseudo-random pattern; answers its path.
std::string make_pattern_file(const std::string& path, long long size);

}  // namespace tessel_testing
