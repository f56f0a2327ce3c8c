// The printer settings records exchanged between the print dialog, a printer
// device context and the component: the device mode (orientation, paper,
// copies) and the device names block that names a printer.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Flags of DevModeRecord::fields: the settings a reset of a printer context
// applies. Settings whose flag is clear keep the context's current value.
inline constexpr uint32_t DM_ORIENTATION = 0x1;
inline constexpr uint32_t DM_PAPERSIZE = 0x2;
inline constexpr uint32_t DM_COPIES = 0x100;

inline constexpr int16_t DMORIENT_PORTRAIT = 1;
inline constexpr int16_t DMORIENT_LANDSCAPE = 2;

inline constexpr int16_t DMPAPER_LETTER = 1;
inline constexpr int16_t DMPAPER_A4 = 9;

// Copies a printer accepts in one job.
inline constexpr int DM_MAX_COPIES = 9999;

struct DevModeRecord {
  uint32_t fields = 0;
  int16_t orientation = DMORIENT_PORTRAIT;
  int16_t paper_size = 0;  // 0: the destination's default paper
  int16_t copies = 1;      // copies the printer makes of each sheet
};

// A device names block: four 16-bit offsets from the block's start (driver
// name, device name, output port, default flags), then NUL-terminated
// strings. The offsets are little-endian, as every reader of the block
// expects.
inline constexpr size_t DEVNAMES_HEADER_SIZE = 8;

// A block holding the three names one after the other.
std::vector<unsigned char> devnames_make(const std::string& driver, const std::string& device,
                                         const std::string& output);

// The device name in a block; "" when the block is too short for its
// header, the offset points outside it or the name is not terminated
// inside it.
std::string devnames_device(const std::vector<unsigned char>& block);

// Destinations named "pdf:PATH" write the document into the file PATH.
inline constexpr const char* PRINT_PDF_PREFIX = "pdf:";
bool print_is_pdf_destination(const std::string& destination);
