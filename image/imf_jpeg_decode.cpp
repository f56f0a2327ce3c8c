// JPEG decoding over libjpeg into 8-bit gray or RGB images, with density
// and the sample range of gray pictures. libjpeg leaves by longjmp on
// errors, so nothing here has a destructor.
#include "image/imf_jpeg.h"
#include "image/imf_jpeg_error.h"

#include <cstdlib>

namespace {

void take_density(imf_image* image, const jpeg_decompress_struct* info) {
  if (info->X_density == 0 || info->Y_density == 0) return;
  double scale = 1;
  if (info->density_unit == 1) {
    scale = 39.37;  // dots per inch
    image->density_unit = 2;
  } else if (info->density_unit == 2) {
    scale = 100;  // dots per centimetre
    image->density_unit = 2;
  } else {
    image->density_unit = 1;
  }
  image->x_density = info->X_density * scale;
  image->y_density = info->Y_density * scale;
}

}  // namespace

int jpeg_decode(imgfilter* context, imf_image* image) {
  if (context->input_iotype != IMF_IO_STREAM || !context->input_stream) {
    imf_error(context, "jpeg_decode: unsupported iotype (%d)", context->input_iotype);
    return 0;
  }
  jpeg_decompress_struct info;
  imf_jpeg_error error;
  info.err = imf_jpeg_error_init(&error, context, 1);
  if (setjmp(error.jump)) {
    jpeg_destroy_decompress(&info);
    return 0;
  }
  jpeg_create_decompress(&info);
  jpeg_stdio_src(&info, context->input_stream);
  jpeg_read_header(&info, TRUE);
  take_density(image, &info);

  bool gray;
  if (info.jpeg_color_space == JCS_GRAYSCALE) {
    gray = true;
  } else if (info.jpeg_color_space == JCS_RGB || info.jpeg_color_space == JCS_YCbCr) {
    gray = false;
  } else {
    imf_error(context, "jpeg_decode: Unsupported color type (%d)", static_cast<int>(info.jpeg_color_space));
    jpeg_destroy_decompress(&info);
    return 0;
  }
  // Refuse oversized pictures before libjpeg allocates its buffers for them.
  uint64_t pixel_bytes = uint64_t{info.image_width} * info.image_height * (gray ? 1 : 3);
  if (pixel_bytes > IMF_MAX_PIXEL_BYTES) {
    imf_error(context, "jpeg_decode: Out of memory");
    jpeg_destroy_decompress(&info);
    return 0;
  }
  jpeg_start_decompress(&info);
  int components = info.output_components;
  if (gray && components != 1) {
    imf_error(context, "jpeg_decode: Image type not supported");
    jpeg_destroy_decompress(&info);
    return 0;
  }
  if (!gray && components != 3) {
    imf_error(context, "jpeg_decode: Image type not supported (cmpts=%d)", components);
    jpeg_destroy_decompress(&info);
    return 0;
  }
  if (gray) {
    image->type = context->jpeg_gray_window ? IMF_GRAYW8 : IMF_GRAY8;
    image->has_window = 1;
    image->window_center = 127.5;
    image->window_width = 255;
  } else {
    image->type = IMF_RGB24;
    image->min_value = 0;
    image->max_value = 255;
  }
  image->src_channels = components;
  image->src_bits = 8 * components;
  image->width = static_cast<int32_t>(info.output_width);
  image->height = static_cast<int32_t>(info.output_height);
  if (!imf_alloc_pixels(context, image, "jpeg_decode: Out of memory")) {
    jpeg_destroy_decompress(&info);
    return 0;
  }
  int low = 1000000, high = -1000000;
  while (info.output_scanline < info.output_height) {
    JSAMPROW row = image->data + static_cast<size_t>(info.output_scanline) * image->stride;
    if (jpeg_read_scanlines(&info, &row, 1) != 1) break;
    if (gray) {
      for (int x = 0; x < image->width; ++x) {
        if (row[x] < low) low = row[x];
        if (row[x] > high) high = row[x];
      }
    }
  }
  if (gray) {
    image->min_value = low;
    image->max_value = high;
  }
  jpeg_finish_decompress(&info);
  jpeg_destroy_decompress(&info);
  return 1;
}

namespace {

void credit_libjpeg(char* buffer, size_t size) {
  snprintf(buffer, size,
           "This software is based in part on the work of the Independent JPEG Group (library version %d.%d)",
           JPEG_LIB_VERSION / 10, JPEG_LIB_VERSION % 10);
}

}  // namespace

int imf_module_jpeg(imgfilter* context, void*) {
  context->decoders[IMF_FMT_JPEG] = jpeg_decode;
  context->encoders[IMF_FMT_JPEG] = jpeg_encode;
  context->credits[IMF_FMT_JPEG][0] = credit_libjpeg;
  return 1;
}
