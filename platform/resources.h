// Resources of the module: bitmaps the component draws from, looked up by
// their numeric id.
#pragma once

#include <cstddef>

#include "platform/dc.h"

// The white 160 x 128 bitmap the device transfer starts every page from.
inline constexpr int IDB_DEVICE_PAGE = 205;

// A packed device-independent bitmap held by the module: its header and its
// pixel rows, valid for the life of the process.
struct ResourceBitmap {
    const DcBitmapInfoHeader* info;
    const void* bits;
    size_t bits_size;
};

// Looks up a bitmap resource. Answers false for an id the module lacks.
bool load_bitmap_resource(int id, ResourceBitmap* bitmap);
