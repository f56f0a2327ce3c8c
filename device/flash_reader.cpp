// Simulated flash files; see flash_reader.h.
#include "device/flash_reader.h"

#include <algorithm>
#include <cstring>

#include "device/flash_layout.h"
#include "device/page_transfer.h"

bool flash_read_block(std::FILE* flash, uint32_t address, unsigned char* block) {
  std::memset(block, FLASH_ERASED_BYTE, FLASH_PAGE_SIZE);
  const uint64_t offset = flash_file_offset(flash_page_of(address));
  if (fseeko(flash, static_cast<off_t>(offset), SEEK_SET) != 0) return false;
  // A short read is the end of the file: the rest of the page was never
  // programmed.
  std::fread(block, 1, FLASH_PAGE_SIZE, flash);
  return !std::ferror(flash);
}

namespace {

// A transfer zeroes the block before it fills in the count and the entries.
bool written_by_a_transfer(const unsigned char* block) {
  const int count = block[0];
  if (count > DIRECTORY_MAX_ENTRIES) return false;
  const unsigned char* tail = block + 4 + 4 * count;
  const auto zero = [](unsigned char byte) { return byte == 0; };
  return std::all_of(block + 1, block + 4, zero) && std::all_of(tail, block + DEVICE_BLOCK_SIZE, zero);
}

}  // namespace

bool flash_read_directory(std::FILE* flash, FlashDirectory* directory) {
  unsigned char block[FLASH_PAGE_SIZE];
  if (!flash_read_block(flash, DEVICE_DIRECTORY_ADDRESS, block)) return false;
  directory->count = block[0];
  directory->entries.clear();
  directory->valid = written_by_a_transfer(block);
  if (!directory->valid) return true;
  const int listed = block[0];
  for (int k = 0; k < listed; ++k) {
    const unsigned char* entry = &block[4 + 4 * k];
    directory->entries.push_back({(uint32_t{entry[0]} << 16) | (uint32_t{entry[1]} << 8), entry[2], entry[3]});
  }
  return true;
}

bool flash_read_page_image(std::FILE* flash, const FlashDirectoryEntry& entry, unsigned char* image) {
  if (entry.format != PAGE_FORMAT_565 || entry.blocks != PAGE_BLOCKS) return false;
  if (uint64_t{entry.address} + uint64_t{PAGE_BLOCKS - 1} * DEVICE_BLOCK_STEP >= DEVICE_ADDRESS_END) return false;
  unsigned char block[FLASH_PAGE_SIZE];
  size_t done = 0;
  for (int b = 0; b < PAGE_BLOCKS; ++b) {
    if (!flash_read_block(flash, entry.address + uint32_t(b) * DEVICE_BLOCK_STEP, block)) return false;
    const size_t n = std::min<size_t>(DEVICE_PAGE_IMAGE_SIZE - done, DEVICE_BLOCK_SIZE);
    std::memcpy(image + done, block, n);
    done += n;
  }
  return true;
}
