// Blocks, pages and the directory; see page_transfer.h.
#include "device/page_transfer.h"

#include <algorithm>
#include <cstring>

#include "device/hid_library.h"

DeviceLinkState g_device_link;

void directory_reset() {
  std::memset(g_device_link.directory, 0, sizeof g_device_link.directory);
  g_device_link.directory_length = 4;
}

bool directory_full() {
  return g_device_link.directory_length + 4 > sizeof g_device_link.directory;
}

bool page_fits_address_space() {
  const uint64_t last_block = uint64_t{g_device_link.write_address} + uint64_t{PAGE_BLOCKS - 1} * DEVICE_BLOCK_STEP;
  return last_block < DEVICE_ADDRESS_END;
}

namespace {

void put_address(unsigned char* at, uint32_t value) {
  at[0] = static_cast<unsigned char>(value >> 16);
  at[1] = static_cast<unsigned char>(value >> 8);
  at[2] = static_cast<unsigned char>(value);
}

// A report the device does not take ends the block: without its data the
// store report would program whatever the staging buffer held before.
bool write_report(unsigned char* report, std::FILE* out) {
  if (g_hid.writeData(report) != 0) return true;
  std::fputs("ERROR: the device did not take a report.\n", out);
  return false;
}

}  // namespace

int SendBlock(int length, const unsigned char* data, uint32_t address, std::FILE* out) {
  if (data == nullptr) {
    std::fputs("ERROR: attempting to send NULL data.\n", out);
    return 0;
  }
  if (length > DEVICE_BLOCK_SIZE) {
    std::fputs("ERROR: buffer too large.\n", out);
    return 0;
  }
  if (length <= 0) return 0;
  // A 32-bit address would lose its top byte on the wire and overwrite
  // the start of the memory.
  if (address >= DEVICE_ADDRESS_END) {
    std::fputs("ERROR: address beyond the device's memory.\n", out);
    return 0;
  }

  unsigned char report[HID_REPORT_BUFFER_SIZE];
  for (int offset = 0; offset < length;) {
    const int n = std::min(length - offset, REPORT_DATA_BYTES);
    std::memset(report, 0, sizeof report);
    report[0] = static_cast<unsigned char>(n + 4);
    report[1] = g_device_link.data_command;
    put_address(&report[2], static_cast<uint32_t>(offset));
    std::memcpy(&report[5], data + offset, static_cast<size_t>(n));
    if (!write_report(report, out)) return 0;
    offset += n;
  }
  // The store report reuses the buffer; the data of the last report stays
  // behind its header, as the device has always received it.
  report[0] = 4;
  report[1] = g_device_link.store_command;
  put_address(&report[2], address);
  if (!write_report(report, out)) return 0;

  g_device_link.data_command = g_device_link.data_command == CMD_BUFFER1_WRITE ? CMD_BUFFER2_WRITE : CMD_BUFFER1_WRITE;
  g_device_link.store_command =
      g_device_link.store_command == CMD_BUFFER1_PROGRAM ? CMD_BUFFER2_PROGRAM : CMD_BUFFER1_PROGRAM;
  return 1;
}

int SendPage(const unsigned char* pixels, int /*byte_count*/, std::FILE* out) {
  if (pixels == nullptr || directory_full() || !page_fits_address_space()) return 0;
  DeviceLinkState& link = g_device_link;

  std::memset(link.frame_buffer, 0, sizeof link.frame_buffer);
  page_image_from_bitmap(pixels, link.frame_buffer);

  unsigned char* entry = &link.directory[link.directory_length];
  entry[0] = static_cast<unsigned char>((link.write_address >> 16) & 0xFF);
  entry[1] = static_cast<unsigned char>((link.write_address >> 8) & 0xFF);
  entry[2] = PAGE_FORMAT_565;

  const unsigned char* position = link.frame_buffer;
  size_t remaining = sizeof link.frame_buffer;
  int blocks = 0;
  while (remaining > 0) {
    const int n = static_cast<int>(std::min<size_t>(remaining, DEVICE_BLOCK_SIZE));
    if (!SendBlock(n, position, link.write_address, out)) {
      std::memset(entry, 0, 4);  // keep the directory zero after its last entry
      return 0;
    }
    position += n;
    remaining -= static_cast<size_t>(n);
    link.write_address += DEVICE_BLOCK_STEP;
    ++blocks;
  }
  entry[3] = static_cast<unsigned char>(blocks);
  link.directory_length += 4;
  return 1;
}
