// Pictures decoded once per job. A document's pictures are files that the
// layout draws every time a page shows them: a letterhead's logo on every
// sheet, and every page a view lays out. Decoding a large picture costs far
// more than drawing it small, so a job (a print, a view draw, a device
// transfer) keeps each picture as a packed bitmap reduced to the size it is
// drawn at, within a memory bound, and later draws of the same file at the
// same size take it from there.
#pragma once

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

#include "platform/dc.h"

// A packed bitmap: the header and 32-bit pixels (blue, green, red, unused),
// rows top first, in one block as stretch_dib takes it.
class DcPicture {
 public:
  DcPicture(int width, int height);
  int width() const { return header()->width; }
  int height() const { return -header()->height; }
  const DcBitmapInfoHeader* header() const { return reinterpret_cast<const DcBitmapInfoHeader*>(block_.data()); }
  const unsigned char* bits() const { return block_.data() + sizeof(DcBitmapInfoHeader); }
  unsigned char* bits() { return block_.data() + sizeof(DcBitmapInfoHeader); }
  size_t bits_size() const { return block_.size() - sizeof(DcBitmapInfoHeader); }
  // The whole block, header first.
  const unsigned char* block() const { return block_.data(); }
  size_t block_size() const { return block_.size(); }

 private:
  std::vector<unsigned char> block_;
};

// The picture as a stretch of it into a width x height box would sample it:
// on each axis the box shrinks, rows and columns are dropped as a
// colour-on-colour stretch drops them; where it grows, all are kept. So a
// stretch of the result into the same box gives the same pixels. Null when
// the bitmap cannot be read or the box is empty.
std::shared_ptr<const DcPicture> dc_picture_reduce(const void* bits, size_t bits_size, const DcBitmapInfoHeader* info,
                                                   int width, int height);

// While one is alive on a thread, pictures kept on that thread stay until
// the outermost one ends; nested scopes share the outer one's pictures.
class PictureCacheScope {
 public:
  PictureCacheScope();
  ~PictureCacheScope();
  PictureCacheScope(const PictureCacheScope&) = delete;
  PictureCacheScope& operator=(const PictureCacheScope&) = delete;

 private:
  bool outermost_;
};

// Pictures kept by a thread's open scope at most, in bytes; beyond it the
// ones used longest ago are let go.
inline constexpr size_t PICTURE_CACHE_BYTES = 32u << 20;

// Whether a scope is open on this thread.
bool picture_cache_open();
// What the open scope knows of the file drawn at width x height: true with
// *picture set when it was kept (null: the file could not be decoded);
// false when nothing is known, or no scope is open.
bool picture_cache_find(const std::string& path, int width, int height, std::shared_ptr<const DcPicture>* picture);
// Keeps a decoded picture (null for one that could not be decoded) for
// later draws within the open scope; without one nothing is kept.
void picture_cache_keep(const std::string& path, int width, int height, std::shared_ptr<const DcPicture> picture);
