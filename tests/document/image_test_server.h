// Test pieces for picture fetching: a loopback server on a chosen 127.x
// address that answers by path and records every request head, and picture
// files made with our own encoders.
#pragma once

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "common/temp_dir.h"
#include "document/pdoc.h"
#include "document/pdocbuild.h"

namespace imagetest {

struct Answer {
  std::string status = "200 OK";
  std::string content_type;  // no Content-Type line when empty
  std::string body;
  long garbage_bytes = 0;  // > 0: this many pseudo-random bytes instead of body
};

class PictureServer {
 public:
  // Listens on address (a 127.x.y.z loopback address) at a port of the
  // system's choosing; stops by itself after lifetime_ms.
  explicit PictureServer(const std::string& address = "127.0.0.1", int lifetime_ms = 20000);
  ~PictureServer();
  PictureServer(const PictureServer&) = delete;
  PictureServer& operator=(const PictureServer&) = delete;

  // Paths without an answer get a 404.
  void answer(const std::string& path, Answer answer);
  // "http://address:port" followed by path.
  std::string url(const std::string& path = "/") const;
  int port() const { return port_; }
  // The request heads received so far, in order.
  std::vector<std::string> requests() const;
  // The request head for path, or "" when none came.
  std::string request_for(const std::string& path) const;

 private:
  void run();
  void serve(int fd);

  std::string address_;
  int lifetime_ms_;
  int listen_fd_ = -1;
  int port_ = 0;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::map<std::string, Answer> answers_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

// The bytes of a width x height picture in the format (IMF_FMT_PNG,
// IMF_FMT_JPEG or IMF_FMT_BMP), written by the image library.
std::string picture_bytes(int format, int width, int height);
// A PNG whose header claims width x height (its pixel data is that of a
// small picture).
std::string png_claiming(unsigned width, unsigned height);

// A document built from html with the given base address, temporary
// directory and extra header lines (each may be null), and what the build
// printed on standard output.
struct Built {
  pdoc_document_ptr doc;
  std::string printed;
  // The images of the tree in document order.
  std::vector<pdoc_element*> images() const;
  pdoc_element* image(size_t index = 0) const;
};
Built build(const std::string& html, const char* base_url, const char* temp_dir, const char* extra_headers = nullptr,
            const pdoc_fetch_settings& fetch = {});

std::string read_file(const std::string& path);
void write_file(const std::string& path, const std::string& contents);

}  // namespace imagetest
