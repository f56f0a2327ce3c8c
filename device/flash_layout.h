// How the device's serial flash is addressed, and how a simulated flash is
// kept in a file: 24-bit addresses carry the page number above a 10-bit
// byte offset; each flash page holds 528 bytes and sits in the file at
// page number x 528.
#pragma once

#include <cstdint>

inline constexpr int FLASH_PAGE_SIZE = 528;
inline constexpr int FLASH_OFFSET_BITS = 10;
inline constexpr uint32_t FLASH_OFFSET_MASK = (1u << FLASH_OFFSET_BITS) - 1;
inline constexpr uint32_t FLASH_PAGES = 1u << (24 - FLASH_OFFSET_BITS);
// What a page reads as before it was ever programmed.
inline constexpr unsigned char FLASH_ERASED_BYTE = 0xFF;

inline constexpr uint32_t flash_page_of(uint32_t address) {
  return (address & 0xFFFFFFu) >> FLASH_OFFSET_BITS;
}

inline constexpr uint64_t flash_file_offset(uint32_t page) {
  return uint64_t{page} * FLASH_PAGE_SIZE;
}
