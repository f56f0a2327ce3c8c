// JPEG encoding over libjpeg: 8-bit gray or RGB, other types converted
// first. The compressor part keeps no destructible objects across longjmp.
#include <cmath>

#include "image/imf_jpeg.h"
#include "image/imf_jpeg_error.h"
#include "image/imf_ops.h"

namespace {

int compress(imgfilter* context, const imf_image* image, FILE* stream) {
  jpeg_compress_struct info;
  imf_jpeg_error error;
  info.err = imf_jpeg_error_init(&error, context, 0);
  if (setjmp(error.jump)) {
    jpeg_destroy_compress(&info);
    return 0;
  }
  jpeg_create_compress(&info);
  jpeg_stdio_dest(&info, stream);
  info.image_width = static_cast<JDIMENSION>(image->width);
  info.image_height = static_cast<JDIMENSION>(image->height);
  bool gray = image->type == IMF_GRAY8;
  info.input_components = gray ? 1 : 3;
  info.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
  jpeg_set_defaults(&info);
  if (image->density_unit == 2 && image->x_density > 0 && image->y_density > 0) {
    info.density_unit = 2;  // per centimetre
    info.X_density = static_cast<UINT16>(std::lround(std::fmin(image->x_density / 100, 65535)));
    info.Y_density = static_cast<UINT16>(std::lround(std::fmin(image->y_density / 100, 65535)));
  } else if (image->density_unit == 1 && image->x_density > 0 && image->y_density > 0) {
    info.density_unit = 0;
    info.X_density = static_cast<UINT16>(std::lround(std::fmin(image->x_density, 65535)));
    info.Y_density = static_cast<UINT16>(std::lround(std::fmin(image->y_density, 65535)));
  }
  if (context->jpeg_quality > 0) jpeg_set_quality(&info, context->jpeg_quality, TRUE);
  if (context->jpeg_progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < info.image_height) {
    JSAMPROW row = image->data + static_cast<size_t>(info.next_scanline) * image->stride;
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  jpeg_destroy_compress(&info);
  return 1;
}

}  // namespace

int jpeg_encode(imgfilter* context, imf_image* image) {
  if (context->output_iotype != IMF_IO_STREAM || !context->output_stream) {
    imf_error(context, "jpeg_encode: unsupported output type");
    return 0;
  }
  int target;
  switch (image->type) {
    case IMF_GRAY1:
    case IMF_GRAY2:
    case IMF_GRAY4:
    case IMF_GRAY16: target = IMF_GRAY8; break;
    case IMF_PAL1:
    case IMF_PAL2:
    case IMF_PAL4:
    case IMF_PAL8: target = IMF_RGB24; break;
    case IMF_GRAY8:
    case IMF_RGB24: target = image->type; break;
    default: imf_error(context, "jpeg_encode: color type not supported"); return 0;
  }
  imf_image converted{};
  const imf_image* source = image;
  if (target != image->type) {
    if (!convert_color_type(context, image, &converted, target)) {
      imf_release_pixels(&converted);
      return 0;
    }
    source = &converted;
  }
  int ok;
  int64_t row_bytes = imf_row_bytes(source->type, source->width);
  if (source->type != IMF_GRAY8 && source->type != IMF_RGB24) {
    imf_error(context, "jpeg_encode: this type of image is not supported");
    ok = 0;
  } else if (!source->data || source->width < 1 || source->height < 1 || source->width > 65500 ||
             source->height > 65500 || source->stride < row_bytes ||
             static_cast<uint64_t>(source->stride) * static_cast<uint64_t>(source->height) > source->data_size) {
    imf_error(context, "No image to write (read failed?)");
    ok = 0;
  } else {
    ok = compress(context, source, context->output_stream);
  }
  imf_release_pixels(&converted);
  return ok;
}
