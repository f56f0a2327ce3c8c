// Temporary picture files and the test for web addresses.
#include "document/pdocimage_files.h"

#include <fcntl.h>
#include <strings.h>

#include <cerrno>

#include "support/qelfile.h"

namespace {

// A name clash with a file made by someone else between naming and
// creating is rare; a few attempts are enough.
constexpr int kCreateAttempts = 4;

}  // namespace

int pdoc_image_create_temp(char* name, size_t size, const char* directory, const char* prefix,
                           const char* extension) {
  for (int attempt = 0; attempt < kCreateAttempts; ++attempt) {
    qel_tempname(name, size, directory, prefix, extension);
    const int fd = open(name, O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

int pdoc_image_is_web_address(const char* text) {
  return text && (strncasecmp(text, "http://", 7) == 0 || strncasecmp(text, "https://", 8) == 0);
}
