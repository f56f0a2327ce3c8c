// Completing an image element when it ends: where its picture comes from,
// the local file it ends up in, and the size it is drawn at.
#include "document/pdocimage.h"

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "document/pdocbuilder.h"
#include "document/pdocimage_files.h"
#include "image/imgfilter.h"
#include "support/qelfile.h"
#include "support/qelformat.h"

namespace {

constexpr size_t kLocalPathSize = 2048;

// File name extension of each type class; null for a type we do not keep.
const char* class_extension(int image_class) {
  switch (image_class) {
    case PDOC_IMAGE_BMP: return ".bmp";
    case PDOC_IMAGE_JPEG: return ".jpg";
    case PDOC_IMAGE_PNG: return ".png";
    case PDOC_IMAGE_TIFF: return ".tif";
    default: return nullptr;
  }
}

void replace_src(pdoc_image_fields& fields, char* src) {
  free(fields.src);
  fields.src = src;
}

// Gives the downloaded file the extension its type calls for, under a
// fresh name when that one is taken, and makes it the element's source.
void keep_download(const pdoc_builder* builder, pdoc_image_fields& fields, const char* downloaded, int image_class) {
  const char* extension = class_extension(image_class);
  replace_src(fields, nullptr);
  fields.temp_file = 1;
  if (!extension) {
    printf("Unsupported Image Format\n");
    unlink(downloaded);
    return;
  }
  fields.src = QELAsprintf("%s%s", downloaded, extension);
  if (!fields.src) {
    unlink(downloaded);
    return;
  }
  if (qel_file_exists(fields.src)) {
    char fresh[PDOC_IMAGE_NAME_SIZE];
    qel_tempname(fresh, sizeof fresh, builder->temp_dir, "tmpimg", extension);
    char* copy = strdup(fresh);
    if (!copy) {
      replace_src(fields, nullptr);
      unlink(downloaded);
      return;
    }
    replace_src(fields, copy);
  }
  if (!qel_move_file(downloaded, fields.src)) unlink(downloaded);
}

// Decides what the source names: a web address to download (answers 1), or
// a local file, possibly found under a base directory (answers 0).
int resolve_source(const pdoc_builder* builder, pdoc_image_fields& fields) {
  if (pdoc_image_is_web_address(fields.src)) return 1;
  if (qel_file_exists(fields.src) || !builder->base_url) return 0;
  if (pdoc_image_is_web_address(builder->base_url)) {
    // The base ends with '/' as the control hands it over.
    if (char* joined = QELAsprintf("%s%s", builder->base_url, fields.src)) {
      replace_src(fields, joined);
      return 1;
    }
    return 0;
  }
  // A cut path could name some other file; only a whole one is looked up.
  if (std::strlen(builder->base_url) + 1 + std::strlen(fields.src) >= kLocalPathSize) return 0;
  char path[kLocalPathSize];
  QELSnprintf(path, sizeof path, "%s/%s", builder->base_url, fields.src);
  if (qel_file_exists(path)) {
    if (char* copy = strdup(path)) replace_src(fields, copy);
  }
  return 0;
}

void fetch(const pdoc_builder* builder, pdoc_image_fields& fields) {
  char downloaded[PDOC_IMAGE_NAME_SIZE];
  int image_class = PDOC_IMAGE_UNSUPPORTED;
  // The document's own headers carry the user's session: they go only to
  // the server the document came from.
  const char* headers = pdoc_image_same_origin(builder->base_url, fields.src) ? builder->extra_headers : nullptr;
  if (!pdoc_fetch_image(fields.src, downloaded, &image_class, builder->temp_dir, headers, &builder->fetch)) return;
  keep_download(builder, fields, downloaded, image_class);
}

int32_t clamp_length(int64_t value) {
  if (value > INT32_MAX) return INT32_MAX;
  if (value < INT32_MIN) return INT32_MIN;
  return static_cast<int32_t>(value);
}

// Fills a missing width or height from the picture, keeping its aspect
// ratio when one side was given.
void complete_size(pdoc_image_fields& fields) {
  if (!fields.src || (fields.width && fields.height)) return;
  imf_context_ptr context(imf_create(IMF_VERSION));
  if (!context) return;
  imf_register(context.get(), imf_module_bmp);
  imf_register(context.get(), imf_module_jpeg);
  imf_register(context.get(), imf_module_png);
  imf_set_input_format(context.get(), imf_format_from_extension(fields.src));
  imf_set_input_file(context.get(), fields.src);
  if (!imf_read(context.get())) return;
  int w = 0, h = 0;
  imf_get_size(context.get(), &w, &h);
  if (w <= 0 || h <= 0) return;
  if (!fields.width) fields.width = fields.height ? clamp_length(int64_t{w} * fields.height / h) : w;
  if (!fields.height) fields.height = fields.width ? clamp_length(int64_t{h} * fields.width / w) : h;
}

}  // namespace

void pdoc_image_finish(pdoc_builder* builder, pdoc_element* image) {
  pdoc_image_fields& fields = image->image;
  if (!fields.src) {
    pdoc_image_drop_side_file(image);
    return;
  }
  if (fields.embedded) {
    pdoc_image_decode_inline(builder, image);
  } else if (resolve_source(builder, fields)) {
    fetch(builder, fields);
  }
  complete_size(fields);
}
