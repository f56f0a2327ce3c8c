// Reading back what a transfer left in a simulated flash file: the page
// directory at address 0 and the page images it lists.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

struct FlashDirectoryEntry {
  uint32_t address;  // device address of the page's first block
  uint8_t format;    // 1: a 5-6-5 page image
  uint8_t blocks;
};

struct FlashDirectory {
  int count;                                 // the count byte as stored
  std::vector<FlashDirectoryEntry> entries;  // at most as many as fit in the block
  // False for a block no transfer wrote: an erased flash (all 0xFF) or
  // foreign data, whose count, padding or tail is not what a transfer
  // leaves. Its entries are then not listed.
  bool valid;
};

// Reads the flash page that holds address into block (528 bytes); pages
// never programmed read as erased. Answers false on a read error.
bool flash_read_block(std::FILE* flash, uint32_t address, unsigned char* block);

// Reads the directory block and whether a transfer wrote it. Answers false
// on a read error.
bool flash_read_directory(std::FILE* flash, FlashDirectory* directory);

// Reads the page image an entry lists (DEVICE_PAGE_IMAGE_SIZE bytes).
// Answers false for an entry that is not a whole 5-6-5 page or that runs
// past the 24-bit address space, and on a read error.
bool flash_read_page_image(std::FILE* flash, const FlashDirectoryEntry& entry, unsigned char* image);
