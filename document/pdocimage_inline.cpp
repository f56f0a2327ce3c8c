// Pictures carried inside the document as base64 text: the text is
// collected in a side file of the image's own while the element is open and
// decoded, as one text, into a temporary picture file when it ends. Both
// files are named here, in the temporary directory; no path the document
// writes is used for writing.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "document/pdocbuilder.h"
#include "document/pdocimage.h"
#include "document/pdocimage_files.h"
#include "document/pdocimage_text.h"
#include "document/pdocreport.h"
#include "image/imgfilter.h"
#include "platform/stdio_file.h"

namespace {

bool write_all(int fd, const char* bytes, int length) {
  while (length > 0) {
    const ssize_t n = write(fd, bytes, static_cast<size_t>(length));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    bytes += n;
    length -= static_cast<int>(n);
  }
  return true;
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

void pdoc_image_append_inline(const pdoc_builder* builder, pdoc_element* image, const char* bytes, int length) {
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
    // A side file removed after a failed write stays away: the picture is
    // left out, and the failure was reported once.
    if (fd < 0 && errno == ENOENT) return;
    if (fd < 0) {
      printf("Error opening %s for write binary append.\n", fields.side_file);
      return;
    }
  }
  // A cut text could still decode to the front of a picture; without all of
  // it there is no picture.
  const bool written = write_all(fd, bytes, length);
  if (close(fd) != 0 || !written) {
    printf("Error writing %s.\n", fields.side_file);
    unlink(fields.side_file);
  }
}

namespace {

enum class Decoded { kPicture, kNoData, kNotBase64, kWriteFailed };

// Decodes the whole side file into the picture file.
Decoded decode_text(FILE* text, FILE* picture) {
  pdoc_inline_decoder decoder;
  std::string bytes;
  char piece[64 * 1024];
  size_t written = 0;
  size_t got;
  while ((got = fread(piece, 1, sizeof piece, text)) > 0) {
    if (!decoder.feed(piece, got, bytes)) return Decoded::kNotBase64;
    if (fwrite(bytes.data(), 1, bytes.size(), picture) != bytes.size()) return Decoded::kWriteFailed;
    written += bytes.size();
    bytes.clear();
  }
  if (ferror(text) || !decoder.finish(bytes)) return Decoded::kNotBase64;
  if (fwrite(bytes.data(), 1, bytes.size(), picture) != bytes.size()) return Decoded::kWriteFailed;
  written += bytes.size();
  return written > 0 ? Decoded::kPicture : Decoded::kNoData;
}

// Decodes the side file into a new temporary picture file; answers its name
// (empty when there is no picture).
std::string decode_side_file(const pdoc_builder* builder, const pdoc_element* image) {
  const pdoc_image_fields& fields = image->image;
  FilePtr text{fopen(fields.side_file, "rb")};
  if (!text) return {};
  char name[PDOC_IMAGE_NAME_SIZE];
  const std::string extension = picture_extension(fields.src);
  const int fd = pdoc_image_create_temp(name, sizeof name, builder->temp_dir, nullptr, extension.c_str());
  if (fd < 0) return {};
  FilePtr picture{fdopen(fd, "wb")};
  if (!picture) {
    close(fd);
    unlink(name);
    return {};
  }
  Decoded result = decode_text(text.get(), picture.get());
  if (fclose(picture.release()) != 0 && result == Decoded::kPicture) result = Decoded::kWriteFailed;
  switch (result) {
    case Decoded::kPicture: return name;
    case Decoded::kNotBase64:
      pdoc_report(builder, "WARNING Inline picture from line: %d col: %d is not base64. Leaving it out.", image->line,
                  image->col);
      break;
    case Decoded::kWriteFailed: printf("Error writing %s.\n", name); break;
    case Decoded::kNoData: break;
  }
  unlink(name);
  return {};
}

}  // namespace

void pdoc_image_decode_inline(const pdoc_builder* builder, pdoc_element* image) {
  pdoc_image_fields& fields = image->image;
  // The source named so far (a placeholder, or a name the document gave) is
  // never the picture's file: an inline picture without data has none.
  std::string picture = fields.side_file ? decode_side_file(builder, image) : std::string();
  free(fields.src);
  fields.src = picture.empty() ? nullptr : strdup(picture.c_str());
  if (fields.src)
    fields.temp_file = 1;
  else if (!picture.empty())
    unlink(picture.c_str());
  pdoc_image_drop_side_file(image);
}

void pdoc_image_drop_side_file(pdoc_element* image) {
  pdoc_image_fields& fields = image->image;
  if (!fields.side_file) return;
  unlink(fields.side_file);
  free(fields.side_file);
  fields.side_file = nullptr;
}
