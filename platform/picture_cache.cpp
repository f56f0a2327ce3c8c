// Pictures decoded once per job; see picture_cache.h.
#include "platform/picture_cache.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <list>
#include <new>
#include <tuple>
#include <unordered_map>

#include "platform/dib_reader.h"

DcPicture::DcPicture(int width, int height)
    : block_(sizeof(DcBitmapInfoHeader) + static_cast<size_t>(width) * height * 4) {
  DcBitmapInfoHeader h{};
  h.size = sizeof h;
  h.width = width;
  h.height = -height;
  h.planes = 1;
  h.bit_count = 32;
  h.size_image = static_cast<uint32_t>(static_cast<uint64_t>(width) * height * 4);
  std::memcpy(block_.data(), &h, sizeof h);
}

std::shared_ptr<const DcPicture> dc_picture_reduce(const void* bits, size_t bits_size, const DcBitmapInfoHeader* info,
                                                   int width, int height) {
  if (!info || width <= 0 || height <= 0) return nullptr;
  DibReader reader;
  if (!dib_reader_open(bits, bits_size, info, 0, 0, info->width, info->height < 0 ? -info->height : info->height,
                       &reader))
    return nullptr;
  const int kept_width = std::min(width, reader.width);
  const int kept_height = std::min(height, reader.height);
  std::shared_ptr<DcPicture> picture;
  try {
    picture = std::make_shared<DcPicture>(kept_width, kept_height);
  } catch (const std::bad_alloc&) {
    return nullptr;
  }
  // Where the box shrinks, column x of it shows source column
  // x * source / box; where it does not, every column is kept.
  auto source = [](int i, int kept, int source_size, int box) {
    return kept < source_size ? static_cast<int>(static_cast<int64_t>(i) * source_size / box) : i;
  };
  std::vector<int> columns(static_cast<size_t>(kept_width));
  for (int x = 0; x < kept_width; ++x) columns[x] = source(x, kept_width, reader.width, width);
  auto* out = reinterpret_cast<uint32_t*>(picture->bits());
  for (int y = 0; y < kept_height; ++y) {
    const int sy = source(y, kept_height, reader.height, height);
    for (int x = 0; x < kept_width; ++x) *out++ = reader.pixel(columns[x], sy);
  }
  return picture;
}

namespace {

struct Key {
  std::string path;
  int width, height;
  bool operator==(const Key& other) const {
    return width == other.width && height == other.height && path == other.path;
  }
};
struct KeyHash {
  size_t operator()(const Key& k) const {
    return std::hash<std::string>()(k.path) ^ (static_cast<size_t>(k.width) * 0x9E3779B1u) ^
           (static_cast<size_t>(k.height) << 17);
  }
};

// The pictures of one job, the one used last at the front.
class PictureCache {
 public:
  bool find(const Key& key, std::shared_ptr<const DcPicture>* picture) {
    auto found = index_.find(key);
    if (found == index_.end()) return false;
    order_.splice(order_.begin(), order_, found->second);
    *picture = found->second->picture;
    return true;
  }

  void keep(Key key, std::shared_ptr<const DcPicture> picture) {
    const size_t bytes = (picture ? picture->block_size() : 0) + key.path.size() + 64;
    if (bytes > PICTURE_CACHE_BYTES || index_.count(key)) return;
    while (bytes_ + bytes > PICTURE_CACHE_BYTES && !order_.empty()) {
      bytes_ -= order_.back().bytes;
      index_.erase(order_.back().key);
      order_.pop_back();
    }
    order_.push_front({key, std::move(picture), bytes});
    index_.emplace(std::move(key), order_.begin());
    bytes_ += bytes;
  }

 private:
  struct Entry {
    Key key;
    std::shared_ptr<const DcPicture> picture;
    size_t bytes;
  };
  std::list<Entry> order_;
  std::unordered_map<Key, std::list<Entry>::iterator, KeyHash> index_;
  size_t bytes_ = 0;
};

// The open scope's cache; a job runs on one thread.
thread_local std::unique_ptr<PictureCache> open_cache;

}  // namespace

PictureCacheScope::PictureCacheScope() : outermost_(!open_cache) {
  if (outermost_) open_cache = std::make_unique<PictureCache>();
}

PictureCacheScope::~PictureCacheScope() {
  if (outermost_) open_cache.reset();
}

bool picture_cache_open() {
  return static_cast<bool>(open_cache);
}

bool picture_cache_find(const std::string& path, int width, int height, std::shared_ptr<const DcPicture>* picture) {
  return open_cache && open_cache->find({path, width, height}, picture);
}

void picture_cache_keep(const std::string& path, int width, int height, std::shared_ptr<const DcPicture> picture) {
  if (open_cache) open_cache->keep({path, width, height}, std::move(picture));
}
