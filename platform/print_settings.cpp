// Device names blocks and destination names; see print_settings.h.
#include "platform/print_settings.h"

#include <cstring>

namespace {

void put_offset(std::vector<unsigned char>& block, size_t at, size_t value) {
  block[at] = static_cast<unsigned char>(value & 0xFF);
  block[at + 1] = static_cast<unsigned char>((value >> 8) & 0xFF);
}

size_t get_offset(const std::vector<unsigned char>& block, size_t at) {
  return block[at] | (static_cast<size_t>(block[at + 1]) << 8);
}

}  // namespace

std::vector<unsigned char> devnames_make(const std::string& driver, const std::string& device,
                                         const std::string& output) {
  const size_t total = DEVNAMES_HEADER_SIZE + driver.size() + device.size() + output.size() + 3;
  // Offsets are 16 bits wide; names that do not fit are refused.
  if (total > 0xFFFF) return {};
  std::vector<unsigned char> block(total, 0);
  size_t at = DEVNAMES_HEADER_SIZE;
  const std::string* names[] = {&driver, &device, &output};
  for (size_t i = 0; i < 3; ++i) {
    put_offset(block, 2 * i, at);
    std::memcpy(block.data() + at, names[i]->data(), names[i]->size());
    at += names[i]->size() + 1;
  }
  return block;
}

std::string devnames_device(const std::vector<unsigned char>& block) {
  if (block.size() < DEVNAMES_HEADER_SIZE) return {};
  const size_t offset = get_offset(block, 2);
  if (offset < DEVNAMES_HEADER_SIZE || offset >= block.size()) return {};
  const void* end = std::memchr(block.data() + offset, 0, block.size() - offset);
  if (!end) return {};
  return std::string(reinterpret_cast<const char*>(block.data() + offset),
                     static_cast<const unsigned char*>(end) - (block.data() + offset));
}

bool print_is_pdf_destination(const std::string& destination) {
  return destination.rfind(PRINT_PDF_PREFIX, 0) == 0;
}
