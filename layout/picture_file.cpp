// Pictures drawn from their files (draw_image_file of paint.h): decoded
// through the image library once per job where a picture cache scope is
// open, and drawn through the target's draw_image operation.
#include "layout/paint.h"

#include <cstdlib>
#include <memory>

#include "image/imgfilter.h"
#include "layout/dib_block.h"
#include "layout/render_target.h"
#include "platform/picture_cache.h"

namespace {

imf_context_ptr picture_context() {
  imf_context_ptr context(imf_create(IMF_VERSION));
  if (!context) return nullptr;
  imf_register(context.get(), imf_module_jpeg);
  imf_register(context.get(), imf_module_png);
  imf_register(context.get(), imf_module_bmp);
  return context;
}

// The file decoded into a context, as the image library reads it.
imf_context_ptr decoded_file(const char* path) {
  imf_context_ptr context = picture_context();
  if (!context) return nullptr;
  const int format = imf_format_from_extension(path);
  imf_set_input_format(context.get(), format ? format : IMF_FMT_PNG);
  imf_set_input_file(context.get(), path);
  if (!imf_read(context.get())) return nullptr;
  return context;
}

// The decoded picture as a packed bitmap reduced to the box it is drawn in.
std::shared_ptr<const DcPicture> reduced_picture(imgfilter* decoded, int w, int h) {
  DibBlock dib;
  if (!write_dib_block(decoded, &dib)) return nullptr;
  return dc_picture_reduce(dib.bits(), dib.bits_size(), dib.header(), w, h);
}

// A kept picture, read back into a context for the target's operation.
bool draw_kept(RenderTarget* target, const DcPicture& picture, int x, int y, int w, int h) {
  imf_context_ptr context = picture_context();
  if (!context) return false;
  imf_set_input_format(context.get(), IMF_FMT_DIB);
  imf_set_input_memory(context.get(), picture.block(), picture.block_size());
  if (!imf_read(context.get())) return false;
  return target->draw_image(target, context.get(), x, y, w, h) != 0;
}

}  // namespace

bool draw_image_file(RenderTarget* target, const char* path, int x, int y, int w, int h) {
  if (!path || !*path || !target) return false;
  if (w <= 0 || h <= 0 || !picture_cache_open()) {
    // Drawn as decoded: nothing would be kept, or nothing is shown (the
    // target still answers whether the picture could be drawn).
    imf_context_ptr context = decoded_file(path);
    return context && target->draw_image(target, context.get(), x, y, w, h) != 0;
  }
  std::shared_ptr<const DcPicture> picture;
  if (!picture_cache_find(path, w, h, &picture)) {
    imf_context_ptr context = decoded_file(path);
    if (context) picture = reduced_picture(context.get(), w, h);
    picture_cache_keep(path, w, h, picture);
  }
  return picture && draw_kept(target, *picture, x, y, w, h);
}
