// Writing page images and the page directory into the device's memory:
// blocks of at most 528 bytes, each sent as data reports into one of the
// device's two staging buffers followed by a store report that programs the
// buffer at a 24-bit address.
#pragma once

#include <cstdint>
#include <cstdio>

#include "device/page_image.h"

inline constexpr int DEVICE_BLOCK_SIZE = 528;
inline constexpr uint32_t DEVICE_BLOCK_STEP = 1024;  // address step per block
inline constexpr uint32_t DEVICE_FIRST_PAGE_ADDRESS = 2048;
inline constexpr uint32_t DEVICE_DIRECTORY_ADDRESS = 0;
// Addresses are 24 bits; a block must start below this.
inline constexpr uint32_t DEVICE_ADDRESS_END = 0x1000000;
// Data bytes in one report after its five header bytes.
inline constexpr int REPORT_DATA_BYTES = 27;
inline constexpr int PAGE_BLOCKS =
    static_cast<int>((DEVICE_PAGE_IMAGE_SIZE + DEVICE_BLOCK_SIZE - 1) / DEVICE_BLOCK_SIZE);
// The directory block: a count, three zero bytes and four bytes a page.
inline constexpr int DIRECTORY_MAX_ENTRIES = (DEVICE_BLOCK_SIZE - 4) / 4;
inline constexpr uint8_t PAGE_FORMAT_565 = 1;

// Command codes of the two staging buffers.
inline constexpr uint8_t CMD_BUFFER1_WRITE = 0x84;
inline constexpr uint8_t CMD_BUFFER2_WRITE = 0x87;
inline constexpr uint8_t CMD_BUFFER1_PROGRAM = 0x83;
inline constexpr uint8_t CMD_BUFFER2_PROGRAM = 0x86;

// Process-wide transfer state. The write address and the command codes
// carry over from one transfer to the next while the module stays loaded;
// the directory starts afresh with each transfer.
struct DeviceLinkState {
  uint32_t write_address = DEVICE_FIRST_PAGE_ADDRESS;
  uint8_t data_command = CMD_BUFFER1_WRITE;
  uint8_t store_command = CMD_BUFFER1_PROGRAM;
  unsigned char directory[DEVICE_BLOCK_SIZE] = {};
  uint32_t directory_length = 4;
  unsigned char frame_buffer[DEVICE_PAGE_IMAGE_SIZE] = {};
};
extern DeviceLinkState g_device_link;

// Empties the directory for a new transfer.
void directory_reset();
// True when the directory has no room for another page.
bool directory_full();
// True when a whole page still fits below the end of the 24-bit address
// space from the current write address.
bool page_fits_address_space();

// Writes one block of at most 528 bytes at address through the bound
// library's writeData. Answers 1 when sent, 0 when refused or when the
// device did not take a report (both are explained on out); a block that
// was not sent leaves the staging buffers' turn as it was.
int SendBlock(int length, const unsigned char* data, uint32_t address, std::FILE* out);

// Converts a page bitmap (DEVICE_BITMAP_SIZE bytes; byte_count is not
// consulted), sends it from the write address on and lists it in the
// directory. Answers 1 when sent, 0 when a block failed or the page has no
// room in the directory or the address space (nothing is sent then).
int SendPage(const unsigned char* pixels, int byte_count, std::FILE* out);
