// libjpeg's error exit and message output routed into the imgfilter context.
#include "image/imf_jpeg_error.h"

#include <jerror.h>

#include "image/imf_jpeg.h"

namespace {

[[noreturn]] void exit_to_codec(j_common_ptr info) {
  auto* error = reinterpret_cast<imf_jpeg_error*>(info->err);
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  if (error->decoding) {
    int code = info->err->msg_code == JERR_BAD_PRECISION ? IMF_ERR_JPEG_PRECISION : IMF_ERR_JPEG;
    imf_error_code(error->context, code, "jpeg_decode: libjpeg: %s", message);
  } else {
    imf_error(error->context, "JPEG compression error");
  }
  longjmp(error->jump, 1);
}

// libjpeg would print warnings on stderr; the library never prints.
void message_to_callback(j_common_ptr info) {
  auto* error = reinterpret_cast<imf_jpeg_error*>(info->err);
  char message[JMSG_LENGTH_MAX];
  (*info->err->format_message)(info, message);
  imf_warning(error->context, 1, "libjpeg: %s", message);
}

}  // namespace

jpeg_error_mgr* imf_jpeg_error_init(imf_jpeg_error* error, imgfilter* context, int decoding) {
  jpeg_error_mgr* manager = jpeg_std_error(&error->base);
  manager->error_exit = exit_to_codec;
  manager->output_message = message_to_callback;
  error->context = context;
  error->decoding = decoding;
  return manager;
}
