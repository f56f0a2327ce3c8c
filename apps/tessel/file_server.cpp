// A small file server on 127.0.0.1 that lets the host hand a local document
// to the control as an http address, so relative picture names and the base
// address behave as they do on a web server. It hands out the document and
// the pictures it names in its folder or below, and nothing else; the names
// are read as the control reads them, by the control module.
#include "apps/tessel/host.h"

#include <cctype>
#include <cstring>
#include <memory>
#include <set>
#include <string>

#include "apps/tessel/dispatch_host.h"
#include "apps/tessel/published_files.h"
#include "bridge/http_files.h"
#include "bridge/http_server.h"

namespace {

// Percent-encodes what may not stand in a path as it is.
std::string encode_path(const std::string& name) {
  static const char hex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : name) {
    if (std::isalnum(c) || std::strchr("/-._~", c) != nullptr) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// The module's reading of a document's picture names; none without the
// module, whose absence the commands that load the document report.
PictureNameReader module_picture_names(ControlModule& module) {
  std::string ignored;
  if (!module.open(&ignored)) return nullptr;
  const TesselPictureNamesFn names = module.exports().picture_names;
  return [names](const std::string& document, std::set<std::string>* found) {
    names(
        document.c_str(), [](void* user, const char* src) { static_cast<std::set<std::string>*>(user)->insert(src); },
        found);
  };
}

class LocalFileServer {
 public:
  LocalFileServer() : server_(http_answer_at_once([this](const HttpRequest& r) { return answer(r); }), limits()) {}

  // Answers the document's address, or "".
  std::string start(const std::string& path) {
    std::string error;
    if (!published_.open(path, module_picture_names(module_)) || !server_.listen("127.0.0.1", 0, &error)) return "";
    server_.run();
    return "http://127.0.0.1:" + std::to_string(server_.port()) + encode_path("/" + published_.name());
  }

 private:
  static HttpServerLimits limits() {
    HttpServerLimits limits;
    limits.max_body = 0;
    limits.workers = 2;
    return limits;
  }

  HttpResponse answer(const HttpRequest& request) {
    if (!http_host_is_loopback(request, server_.port()))
      return http_error_response(421, "this server answers only to 127.0.0.1:" + std::to_string(server_.port()));
    if (request.method != "GET" && request.method != "HEAD") return http_error_response(405, "only GET here");
    const std::string file = published_.resolve(request.path);
    return file.empty() ? http_error_response(404, "not found") : http_file_response(file);
  }

  ControlModule module_;  // goes last: the server's workers may still read names
  PublishedDocument published_;
  HttpServer server_;
};

}  // namespace

std::string serve_local_file(const std::string& path) {
  static std::unique_ptr<LocalFileServer> server;
  server = std::make_unique<LocalFileServer>();
  std::string address = server->start(path);
  if (address.empty()) server.reset();
  return address;
}
