// What the host's loopback servers may hand out of a folder: a file below
// it, reached without "..", without dot files, and not through a link that
// leads out of the folder.
#pragma once

#include <functional>
#include <mutex>
#include <set>
#include <string>

#include <sys/types.h>

// The real path of `relative` below the folder `root` (itself a real path),
// when it is a regular file there; "" otherwise. "." segments and repeated
// slashes are passed over; "..", a segment starting with '.', or a real
// path outside the folder answer "".
std::string published_file_below(const std::string& root, const std::string& relative);

// Adds the src of every picture a document file names, as written, to
// *names.
using PictureNameReader = std::function<void(const std::string& document, std::set<std::string>* names)>;

// A local document and the pictures it names in its folder or below: all
// that a server of that document hands out. The names are read again when
// the document changes.
class PublishedDocument {
 public:
  // `document` must name a regular file; false when it does not. Without
  // a reader only the document itself is published.
  bool open(const std::string& document, PictureNameReader read_names);
  const std::string& folder() const { return folder_; }
  // The document's name in its folder.
  const std::string& name() const { return name_; }

  // The file to answer for a request path (percent-decoded, from its
  // leading '/'), or "" when that path is not published.
  std::string resolve(const std::string& path);

 private:
  void rescan_if_changed();

  std::mutex mutex_;
  PictureNameReader read_names_;
  std::string folder_;
  std::string name_;
  std::string document_;
  std::set<std::string> pictures_;
  struct timespec changed_ {};
  off_t size_ = -1;
};
