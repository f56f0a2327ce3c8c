// File and path helpers over POSIX calls.
#include "support/qelfile.h"

#include "platform/stdio_file.h"
#include "support/qelstring.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kTempDirSize = 1048;
constexpr long kCopyChunk = 1024000;

// The system temporary directory: TMPDIR when set, else /tmp.
void system_temp_dir(char* buffer, size_t size) {
  const char* dir = std::getenv("TMPDIR");
  qel_strlcpy(buffer, dir != nullptr && *dir != '\0' ? dir : "/tmp", size);
}

struct FreeDeleter {
  void operator()(char* p) const { std::free(p); }
};

// A name is taken by anything that has it, a link to nowhere included.
bool name_taken(const char* path) {
  struct stat st;
  return ::lstat(path, &st) == 0;
}

// Attempts at a fresh name when the one just made was taken meanwhile.
constexpr int kCreateAttempts = 8;

struct FdCloser {
  int fd;
  ~FdCloser() {
    if (fd >= 0) ::close(fd);
  }
};

}  // namespace

char* qel_tempname(char* destination, size_t size, const char* directory, const char* prefix, const char* extension) {
  char dir[kTempDirSize];
  if (directory != nullptr)
    qel_strlcpy(dir, directory, sizeof dir);
  else
    system_temp_dir(dir, sizeof dir);

  const size_t length = std::strlen(dir);
  if (length > 0 && dir[length - 1] != QEL_PATH_SEPARATOR) {
    const char separator[2] = {QEL_PATH_SEPARATOR, '\0'};
    qel_strlcat(dir, separator, sizeof dir);
  }
  if (prefix != nullptr && *prefix != '\0') qel_strlcat(dir, prefix, sizeof dir);

  const int pid = static_cast<int>(::getpid());
  // The time part names the second; a name that is taken is followed by
  // the next second's name at once rather than after waiting for the clock
  // to reach it, so a job that makes many names in one second does not
  // wait a second for each. A name cut so short that the time part no
  // longer changes it is answered as it is.
  if (size == 0) return destination;
  const bool has_extension = extension != nullptr && *extension != '\0';
  const char* dot = has_extension && extension[0] != '.' ? "." : "";
  const char* ext = has_extension ? extension : "";
  std::string previous;
  for (unsigned long t = static_cast<unsigned long>(std::time(nullptr));; ++t) {
    std::snprintf(destination, size, "%s%d%lX%s%s", dir, pid, t, dot, ext);
    if (!name_taken(destination) || previous == destination) break;
    previous = destination;
  }
  return destination;
}

int qel_create_tempfile(char* destination, size_t size, const char* directory, const char* prefix,
                        const char* extension) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    qel_tempname(destination, size, directory, prefix, extension);
    const int fd = ::open(destination, O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

int qel_mkdirs(const char* path, int /*mode*/) {
  errno = 0;
  std::string copy;
  try {
    copy = path;
  } catch (const std::bad_alloc&) {
    errno = ENOMEM;
    return 0;
  }
  if (!copy.empty() && copy.back() == QEL_PATH_SEPARATOR) copy.pop_back();

  auto make = [](const std::string& prefix) {
    if (prefix.empty() || prefix.back() == ':' || prefix == "." || prefix == "..") return true;
    if (qel_file_exists(prefix.c_str())) return true;
    return ::mkdir(prefix.c_str(), 0777) == 0;
  };
  for (size_t i = 0; i < copy.size(); ++i) {
    if (copy[i] == QEL_PATH_SEPARATOR && !make(copy.substr(0, i))) return 0;
  }
  return make(copy) ? 1 : 0;
}

int qel_file_exists(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0 ? 1 : 0;
}

long qel_file_size(const char* path) {
  struct stat st;
  if (::stat(path, &st) != 0) return -1;
  return static_cast<long>(st.st_size);
}

int qel_copy_file(const char* source, const char* destination) {
  const long size = qel_file_size(source);
  if (size <= 0) return 0;

  FilePtr in(std::fopen(source, "rb"));
  if (!in) return 0;
  FdCloser out{::open(destination, O_WRONLY | O_CREAT | O_TRUNC, 0666)};
  if (out.fd < 0) return 0;

  size_t capacity = static_cast<size_t>(size < kCopyChunk ? size : kCopyChunk);
  std::unique_ptr<char, FreeDeleter> buffer(static_cast<char*>(std::malloc(capacity)));
  if (!buffer) {
    capacity = 1024;
    buffer.reset(static_cast<char*>(std::malloc(capacity)));
    if (!buffer) return 0;
  }

  for (;;) {
    const size_t got = std::fread(buffer.get(), 1, capacity, in.get());
    if (got == 0) return std::ferror(in.get()) ? 0 : 1;
    size_t written = 0;
    while (written < got) {
      const ssize_t n = ::write(out.fd, buffer.get() + written, got - written);
      if (n < 0) {
        if (errno == EINTR) continue;
        return 0;
      }
      written += static_cast<size_t>(n);
    }
  }
}

int qel_move_file(const char* source, const char* destination) {
  if (std::rename(source, destination) == 0) return 1;
  if (!qel_copy_file(source, destination)) return 0;
  std::remove(source);
  return 1;
}

const char* qel_basename(const char* path) {
  const char* last = std::strrchr(path, QEL_PATH_SEPARATOR);
  return last != nullptr ? last + 1 : path;
}

char* qel_basename(char* path) {
  char* last = std::strrchr(path, QEL_PATH_SEPARATOR);
  return last != nullptr ? last + 1 : path;
}
