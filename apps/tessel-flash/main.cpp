// tessel-flash: shows what a transfer left in a simulated device's flash
// file: the page directory as text, and every listed page as a PNG image.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "device/flash_reader.h"
#include "device/page_image.h"
#include "device/page_transfer.h"
#include "platform/dc_cairo.h"
#include "support/qelfile.h"

namespace {

int usage() {
  std::fputs(
      "usage: tessel-flash FLASH_FILE [OUTPUT_DIR]\n"
      "Prints the page directory of a simulated device's flash and writes each\n"
      "listed page to OUTPUT_DIR (made when missing; default: the current folder)\n"
      "as page-NNN.png.\n",
      stderr);
  return 2;
}

bool write_page_png(const unsigned char* image, const std::string& path) {
  std::vector<unsigned char> bitmap(DEVICE_BITMAP_SIZE);
  bitmap_from_page_image(image, bitmap.data());
  auto dc = CairoDc::create_memory(DEVICE_PAGE_WIDTH, DEVICE_PAGE_HEIGHT);
  if (!dc) return false;
  unsigned char* bits = dc->bits();
  for (int y = 0; y < DEVICE_PAGE_HEIGHT; ++y)
    std::memcpy(bits + size_t(dc->stride()) * y, &bitmap[size_t{DEVICE_BITMAP_STRIDE} * y], DEVICE_BITMAP_STRIDE);
  return dc->write_png(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2 || argc > 3 || std::strcmp(argv[1], "--help") == 0) return usage();
  const std::string out_dir = argc == 3 ? argv[2] : ".";

  std::FILE* flash = std::fopen(argv[1], "rb");
  if (flash == nullptr) {
    std::fprintf(stderr, "tessel-flash: cannot open %s: %s\n", argv[1], std::strerror(errno));
    return 1;
  }
  FlashDirectory directory{};
  if (!flash_read_directory(flash, &directory)) {
    std::fprintf(stderr, "tessel-flash: cannot read %s\n", argv[1]);
    std::fclose(flash);
    return 1;
  }

  if (!directory.valid) {
    std::printf("no directory: the flash is erased or was not written by a transfer\n");
    std::fclose(flash);
    return 0;
  }
  std::printf("directory: %d page%s\n", directory.count, directory.count == 1 ? "" : "s");
  if (!directory.entries.empty() && !qel_mkdirs(out_dir.c_str(), 0755)) {
    std::fprintf(stderr, "tessel-flash: cannot create %s: %s\n", out_dir.c_str(), std::strerror(errno));
    std::fclose(flash);
    return 1;
  }

  int status = 0;
  std::vector<unsigned char> image(DEVICE_PAGE_IMAGE_SIZE);
  for (size_t k = 0; k < directory.entries.size(); ++k) {
    const FlashDirectoryEntry& entry = directory.entries[k];
    std::printf("page %zu: address 0x%06X, format %d, %d blocks", k + 1, static_cast<unsigned>(entry.address),
                entry.format, entry.blocks);
    if (!flash_read_page_image(flash, entry, image.data())) {
      std::printf(": not a whole 5-6-5 page image\n");
      status = 1;
      continue;
    }
    char name[32];
    std::snprintf(name, sizeof name, "page-%03zu.png", k + 1);
    const std::string path = out_dir + "/" + name;
    if (write_page_png(image.data(), path)) {
      std::printf(", %s\n", path.c_str());
    } else {
      std::printf(": cannot write %s\n", path.c_str());
      status = 1;
    }
  }
  std::fclose(flash);
  return status;
}
