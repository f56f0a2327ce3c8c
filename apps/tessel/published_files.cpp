// Resolving request paths inside a published folder, and the pictures of a
// local document that its server hands out.
#include "apps/tessel/published_files.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <utility>

#include "bridge/http_request.h"

namespace {

std::string real_path(const std::string& path) {
  char resolved[PATH_MAX];
  return ::realpath(path.c_str(), resolved) != nullptr ? std::string(resolved) : std::string();
}

// The path below the server's root that a picture name asks for: the
// document is served at the root, so a relative name is asked for there.
// Addresses of other servers and inline pictures ask for nothing here.
bool requested_path(const std::string& src, std::string* path) {
  if (src.empty() || src.find("://") != std::string::npos || src.rfind("data:", 0) == 0) return false;
  return http_percent_decode(std::string_view(src).substr(0, src.find_first_of("?#")), path);
}

}  // namespace

std::string published_file_below(const std::string& root, const std::string& relative) {
  std::string path = root;
  size_t start = 0;
  while (start <= relative.size()) {
    const size_t slash = relative.find('/', start);
    const std::string segment = relative.substr(start, slash == std::string::npos ? std::string::npos : slash - start);
    if (segment == ".." || (segment.size() > 1 && segment[0] == '.')) return "";
    if (!segment.empty() && segment != ".") path += "/" + segment;
    if (slash == std::string::npos) break;
    start = slash + 1;
  }
  const std::string real = real_path(path);
  struct stat st;
  if (real.empty() || real.compare(0, root.size(), root) != 0 || real.size() <= root.size() ||
      real[root.size()] != '/' || ::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
    return "";
  // A link inside the folder may point at a dot file inside it too.
  if (real.find("/.", root.size()) != std::string::npos) return "";
  return real;
}

bool PublishedDocument::open(const std::string& document, PictureNameReader read_names) {
  const std::string real = real_path(document);
  struct stat st;
  if (real.empty() || ::stat(real.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  read_names_ = std::move(read_names);
  document_ = real;
  const size_t slash = real.rfind('/');
  folder_ = real.substr(0, slash);
  name_ = real.substr(slash + 1);
  size_ = -1;
  rescan_if_changed();
  return true;
}

void PublishedDocument::rescan_if_changed() {
  struct stat st;
  if (::stat(document_.c_str(), &st) != 0) {
    pictures_.clear();
    size_ = -1;
    return;
  }
  if (st.st_size == size_ && st.st_mtim.tv_sec == changed_.tv_sec && st.st_mtim.tv_nsec == changed_.tv_nsec) return;
  size_ = st.st_size;
  changed_ = st.st_mtim;
  std::set<std::string> names;
  if (read_names_) read_names_(document_, &names);
  pictures_.clear();
  for (const std::string& src : names) {
    std::string path;
    if (requested_path(src, &path))
      if (std::string file_name = published_file_below(folder_, path); !file_name.empty())
        pictures_.insert(std::move(file_name));
  }
}

std::string PublishedDocument::resolve(const std::string& path) {
  std::lock_guard<std::mutex> lock(mutex_);
  rescan_if_changed();
  if (path == "/" + name_) return document_;
  const std::string file = published_file_below(folder_, path.substr(path.empty() ? 0 : 1));
  return !file.empty() && pictures_.count(file) != 0 ? file : std::string();
}
