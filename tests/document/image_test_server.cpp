// Loopback picture server, scratch folders and picture files for the image
// tests.
#include "document/image_test_server.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include <gtest/gtest.h>

#include "common/temp_dir.h"
#include "document/pdocbuild.h"
#include "image/imgfilter.h"

namespace imagetest {

namespace {

using Clock = std::chrono::steady_clock;

bool send_all(int fd, const char* data, size_t length) {
  while (length > 0) {
    const ssize_t n = ::send(fd, data, length, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    length -= static_cast<size_t>(n);
  }
  return true;
}

// Reads up to the blank line that ends a request head (or 2 s of silence).
std::string read_head(int fd) {
  std::string head;
  while (head.find("\r\n\r\n") == std::string::npos && head.size() < 65536) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, 2000) <= 0) break;
    char buf[4096];
    const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
    if (n <= 0) break;
    head.append(buf, static_cast<size_t>(n));
  }
  return head;
}

std::string request_path(const std::string& head) {
  const size_t first = head.find(' ');
  if (first == std::string::npos) return "";
  const size_t second = head.find(' ', first + 1);
  return head.substr(first + 1, second == std::string::npos ? std::string::npos : second - first - 1);
}

void send_garbage(int fd, long total) {
  std::string block(65536, '\0');
  unsigned state = 12345;
  while (total > 0) {
    for (char& c : block) {
      state = state * 1103515245u + 12345u;
      c = static_cast<char>(state >> 24);
    }
    const size_t n = static_cast<size_t>(std::min<long>(total, static_cast<long>(block.size())));
    if (!send_all(fd, block.data(), n)) return;  // the client gave up
    total -= static_cast<long>(n);
  }
}

uint32_t crc32(const unsigned char* data, size_t length) {
  uint32_t crc = 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

void put_be32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>(v >> (24 - 8 * i));
}

}  // namespace

PictureServer::PictureServer(const std::string& address, int lifetime_ms)
    : address_(address), lifetime_ms_(lifetime_ms) {
  listen_fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  int one = 1;
  ::setsockopt(listen_fd_, SOL_SOCKET, SO_REUSEADDR, &one, sizeof one);
  sockaddr_in local{};
  local.sin_family = AF_INET;
  local.sin_port = 0;
  if (::inet_pton(AF_INET, address.c_str(), &local.sin_addr) != 1 || (ntohl(local.sin_addr.s_addr) >> 24) != 127)
    throw std::runtime_error("picture server: not a loopback address: " + address);
  if (::bind(listen_fd_, reinterpret_cast<sockaddr*>(&local), sizeof local) != 0 || ::listen(listen_fd_, 16) != 0)
    throw std::runtime_error("picture server: cannot listen on " + address);
  socklen_t length = sizeof local;
  ::getsockname(listen_fd_, reinterpret_cast<sockaddr*>(&local), &length);
  port_ = ntohs(local.sin_port);
  thread_ = std::thread([this] { run(); });
}

PictureServer::~PictureServer() {
  stopping_ = true;
  if (thread_.joinable()) thread_.join();
  if (listen_fd_ >= 0) ::close(listen_fd_);
}

void PictureServer::answer(const std::string& path, Answer answer) {
  std::lock_guard<std::mutex> lock(mutex_);
  answers_[path] = std::move(answer);
}

std::string PictureServer::url(const std::string& path) const {
  return "http://" + address_ + ":" + std::to_string(port_) + path;
}

std::vector<std::string> PictureServer::requests() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return requests_;
}

std::string PictureServer::request_for(const std::string& path) const {
  for (const std::string& head : requests())
    if (request_path(head) == path) return head;
  return "";
}

void PictureServer::run() {
  const auto deadline = Clock::now() + std::chrono::milliseconds(lifetime_ms_);
  while (!stopping_ && Clock::now() < deadline) {
    pollfd p{listen_fd_, POLLIN, 0};
    if (::poll(&p, 1, 50) <= 0) continue;
    const int fd = ::accept4(listen_fd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    serve(fd);
    ::close(fd);
  }
}

void PictureServer::serve(int fd) {
  const std::string head = read_head(fd);
  Answer answer;
  answer.status = "404 Not Found";
  answer.content_type = "text/html";
  answer.body = "<html>not here</html>";
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requests_.push_back(head);
    if (auto it = answers_.find(request_path(head)); it != answers_.end()) answer = it->second;
  }
  std::string reply = "HTTP/1.0 " + answer.status + "\r\n";
  if (!answer.content_type.empty()) reply += "Content-Type: " + answer.content_type + "\r\n";
  reply += "\r\n";
  if (!send_all(fd, reply.data(), reply.size())) return;
  if (answer.garbage_bytes > 0)
    send_garbage(fd, answer.garbage_bytes);
  else
    send_all(fd, answer.body.data(), answer.body.size());
}

std::string picture_bytes(int format, int width, int height) {
  tessel_testing::TempDir scratch;
  const std::string path = scratch.file("picture");
  imf_context_ptr context(imf_create(IMF_VERSION));
  imf_register(context.get(), imf_module_png);
  imf_register(context.get(), imf_module_jpeg);
  imf_register(context.get(), imf_module_bmp);
  imf_image* image = imf_new_image();
  image->type = IMF_RGB24;
  image->width = width;
  image->height = height;
  context->image = image;
  if (!imf_alloc_pixels(context.get(), image, "out of memory"))
    throw std::runtime_error("cannot allocate a test picture");
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x) {
      unsigned char* p = image->data + static_cast<size_t>(y) * image->stride + x * 3;
      p[0] = static_cast<unsigned char>(x * 255 / std::max(1, width - 1));
      p[1] = static_cast<unsigned char>(y * 255 / std::max(1, height - 1));
      p[2] = 0x80;
    }
  imf_set_output_format(context.get(), format);
  imf_set_output_file(context.get(), path.c_str());
  if (!imf_write(context.get())) throw std::runtime_error(std::string("cannot encode: ") + context->error_text);
  context.reset();
  return read_file(path);
}

std::string png_claiming(unsigned width, unsigned height) {
  std::string png = picture_bytes(IMF_FMT_PNG, 4, 4);
  // Signature (8), IHDR length (4), "IHDR" (4), width, height ... and the
  // chunk's CRC over type and data (13 bytes) at offset 29.
  put_be32(png, 16, width);
  put_be32(png, 20, height);
  put_be32(png, 29, crc32(reinterpret_cast<const unsigned char*>(png.data()) + 12, 17));
  return png;
}

namespace {

void collect_images(pdoc_element* e, std::vector<pdoc_element*>* out) {
  for (; e; e = e->next) {
    if (e->type == ELE_IMAGE) out->push_back(e);
    collect_images(e->child, out);
  }
}

}  // namespace

std::vector<pdoc_element*> Built::images() const {
  std::vector<pdoc_element*> found;
  if (doc) collect_images(doc->root, &found);
  return found;
}

pdoc_element* Built::image(size_t index) const {
  const std::vector<pdoc_element*> found = images();
  return index < found.size() ? found[index] : nullptr;
}

Built build(const std::string& html, const char* base_url, const char* temp_dir, const char* extra_headers,
            const pdoc_fetch_settings& fetch) {
  Built built;
  const pdoc_sources sources{base_url, temp_dir, fetch};
  testing::internal::CaptureStdout();
  built.doc.reset(pdocbuild_string(html.c_str(), &sources, extra_headers));
  fflush(stdout);
  built.printed = testing::internal::GetCapturedStdout();
  return built;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream out;
  out << in.rdbuf();
  return out.str();
}

void write_file(const std::string& path, const std::string& contents) {
  std::ofstream(path, std::ios::binary) << contents;
}

}  // namespace imagetest
