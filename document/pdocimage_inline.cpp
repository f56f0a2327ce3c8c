// Pictures carried inside the document as base64 text: the text is
// collected in a side file of the image's own while the element is open and
// decoded into a temporary picture file when it ends. Both files are named
// here, in the temporary directory; no path the document writes is used for
// writing.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "document/pdocbuilder.h"
#include "document/pdocimage.h"
#include "document/pdocimage_files.h"
#include "image/imgfilter.h"
#include "support/qelbase64.h"

namespace {

struct FileCloser {
  void operator()(FILE* f) const { fclose(f); }
};
using File = std::unique_ptr<FILE, FileCloser>;

void write_all(int fd, const char* bytes, int length) {
  while (length > 0) {
    const ssize_t n = write(fd, bytes, static_cast<size_t>(length));
    if (n <= 0) return;
    bytes += n;
    length -= static_cast<int>(n);
  }
}

// The extension of the source when it names a format we read, else png
// (what the temporary name of an inline picture carries).
std::string picture_extension(const char* src) {
  const char* base = std::strrchr(src, '/');
  base = base ? base + 1 : src;
  const char* dot = std::strrchr(base, '.');
  if (dot && imf_format_from_extension(src) != 0) return dot + 1;
  return "png";
}

}  // namespace

void pdoc_image_append_inline(const pdoc_builder* builder, pdoc_element* image, const char* bytes,
                              int length) {
  pdoc_image_fields& fields = image->image;
  int fd;
  if (!fields.side_file) {
    char name[PDOC_IMAGE_NAME_SIZE];
    fd = pdoc_image_create_temp(name, sizeof name, builder->temp_dir, "htmluu", "uu");
    if (fd < 0) {
      printf("Error opening %s for write binary append.\n", name);
      return;
    }
    fields.side_file = strdup(name);
    if (!fields.side_file) {
      close(fd);
      unlink(name);
      return;
    }
  } else {
    fd = open(fields.side_file, O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) {
      printf("Error opening %s for write binary append.\n", fields.side_file);
      return;
    }
  }
  write_all(fd, bytes, length);
  close(fd);
}

void pdoc_image_decode_inline(const pdoc_builder* builder, pdoc_element* image) {
  pdoc_image_fields& fields = image->image;
  if (!fields.side_file) return;  // no text arrived
  if (File text{fopen(fields.side_file, "r")}) {
    char name[PDOC_IMAGE_NAME_SIZE];
    const std::string extension = picture_extension(fields.src);
    const int fd = pdoc_image_create_temp(name, sizeof name, builder->temp_dir, nullptr,
                                          extension.c_str());
    if (fd >= 0) {
      File picture{fdopen(fd, "wb")};
      if (!picture) close(fd);
      char* src = strdup(name);
      if (picture && src) {
        // Text that does not decode leaves what decoded before it; the
        // size step then finds no picture in it.
        QELBase64DecodeStream(text.get(), picture.get());
        free(fields.src);
        fields.src = src;
        fields.temp_file = 1;
      } else {
        free(src);
        unlink(name);
      }
    }
  }
  pdoc_image_drop_side_file(image);
}

void pdoc_image_drop_side_file(pdoc_element* image) {
  pdoc_image_fields& fields = image->image;
  if (!fields.side_file) return;
  unlink(fields.side_file);
  free(fields.side_file);
  fields.side_file = nullptr;
}
