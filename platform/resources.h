// Resources of the module: bitmaps the component draws from, its name
// string and its file version, looked up by their numeric id.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/dc.h"

// The white 160 x 128 bitmap the device transfer starts every page from.
inline constexpr int IDB_DEVICE_PAGE = 205;
// The 16 x 16 picture a container shows for the control in its toolbox.
inline constexpr int IDB_TOOLBOX = 102;
// A 160 x 128 picture with the product's name.
inline constexpr int IDB_BRANDED = 204;
// The product's name, "Tessel".
inline constexpr int IDS_PROJNAME = 100;

// A packed device-independent bitmap held by the module: its header and its
// pixel rows, valid for the life of the process.
struct ResourceBitmap {
  const DcBitmapInfoHeader* info;
  const void* bits;
  size_t bits_size;
};

// Looks up a bitmap resource. Answers false for an id the module lacks.
bool load_bitmap_resource(int id, ResourceBitmap* bitmap);

// Copies a string resource into buffer, cut to size - 1 characters and
// NUL-terminated, and answers the number of characters copied; 0 for an id
// the module lacks (buffer then holds "" when size allows).
int load_string_resource(int id, char* buffer, int size);

// The module's file version, major.minor.build.revision.
struct ModuleVersion {
  uint16_t major, minor, build, revision;
};
ModuleVersion module_file_version();
// The same as text, "1.0.0.16".
const char* module_file_version_text();
