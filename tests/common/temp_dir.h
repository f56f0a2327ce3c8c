// The tests' temporary folder: one of its own under the system's temporary
// directory, removed with everything in it when the object goes.
#pragma once

#include <string>
#include <vector>

namespace tessel_testing {

class TempDir {
 public:
  // Under $TMPDIR, else /tmp. Throws when no folder can be made, so that no
  // test writes its files somewhere else instead.
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }
  // Names of the entries in the folder, sorted.
  std::vector<std::string> entries() const;

 private:
  std::string path_;
};

}  // namespace tessel_testing
