// The pictures of a PDF file; see pdf_images.h.
#include "platform/pdf_images.h"

#include <cstring>
#include <utility>

#include "platform/pdf_file.h"
#include "platform/pdf_syntax.h"

namespace {

// A 64-bit digest of the pixels; with the size it tells pictures apart.
uint64_t digest(const std::string& bytes) {
  uint64_t h = 0x243F6A8885A308D3ull ^ bytes.size();
  size_t i = 0;
  for (; i + 8 <= bytes.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, bytes.data() + i, 8);
    h = (h ^ word) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
  }
  for (; i < bytes.size(); ++i) h = (h ^ static_cast<unsigned char>(bytes[i])) * 0x100000001B3ull;
  return h ^ (h >> 32);
}

bool all_grey(const std::string& rgb) {
  for (size_t i = 0; i + 2 < rgb.size(); i += 3)
    if (rgb[i] != rgb[i + 1] || rgb[i] != rgb[i + 2]) return false;
  return true;
}

}  // namespace

int PdfImages::use(PdfFile& file, int width, int height, std::string rgb) {
  const auto key = std::make_tuple(digest(rgb), width, height);
  if (auto found = seen_.find(key); found != seen_.end()) return found->second;
  const int object = file.reserve();
  objects_.push_back(object);
  const int resource = static_cast<int>(objects_.size());
  seen_.emplace(key, resource);

  // Grey pictures keep one byte a pixel; the viewer shows the same pixels.
  const bool grey = all_grey(rgb);
  if (grey) {
    for (size_t i = 0, o = 0; i < rgb.size(); i += 3) rgb[o++] = rgb[i];
    rgb.resize(rgb.size() / 3);
  }
  PdfBytes dict;
  dict.put("/Type /XObject /Subtype /Image /Width ").num(width).put(" /Height ").num(height);
  dict.put(grey ? " /ColorSpace /DeviceGray" : " /ColorSpace /DeviceRGB");
  dict.put(" /BitsPerComponent 8 /Interpolate false");
  file.add_stream(object, std::move(dict.str()), std::move(rgb), PdfDeflate::Small);
  return resource;
}

void PdfImages::write_resources(PdfBytes* resources) const {
  for (size_t i = 0; i < objects_.size(); ++i)
    resources->put("/I").num(static_cast<int64_t>(i + 1)).put(' ').ref(objects_[i]).put(' ');
}
