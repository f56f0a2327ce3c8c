// Files as answers; see http_files.h.
#include "bridge/http_files.h"

#include <cstring>
#include <fstream>
#include <iterator>

namespace {

struct MediaType {
  const char* extension;
  const char* type;
};

constexpr MediaType kMediaTypes[] = {
    {"html", "text/html"}, {"htm", "text/html"}, {"js", "text/javascript"}, {"mjs", "text/javascript"},
    {"css", "text/css"},   {"png", "image/png"}, {"jpg", "image/jpeg"},     {"jpeg", "image/jpeg"},
    {"bmp", "image/bmp"},  {"gif", "image/gif"},
};

}  // namespace

std::string http_content_type(const std::string& path, const char* charset) {
  const size_t dot = path.rfind('.');
  const std::string extension = dot == std::string::npos ? "" : path.substr(dot + 1);
  for (const MediaType& m : kMediaTypes) {
    if (extension != m.extension) continue;
    std::string type = m.type;
    if (charset != nullptr && std::strncmp(m.type, "text/", 5) == 0) type += std::string("; charset=") + charset;
    return type;
  }
  return "application/octet-stream";
}

HttpResponse http_file_response(const std::string& path, const char* charset) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return http_error_response(404, "not found");
  HttpResponse response;
  try {
    response.body.assign(std::istreambuf_iterator<char>(in), {});
  } catch (const std::ios_base::failure&) {
    in.setstate(std::ios::badbit);  // the stream buffer reports a failed read by throwing
  }
  if (in.bad()) return http_error_response(500, "cannot read the file");
  response.content_type = http_content_type(path, charset);
  return response;
}
