// Memory streams and storages; see com_storage.h.
#include "platform/com_storage.h"
#include "platform/com_object.h"

#include <cstring>
#include <map>
#include <new>
#include <string>

namespace {

class MemoryStream final : public ComObject<IStream> {
 public:
  explicit MemoryStream(std::vector<unsigned char> bytes) : bytes_(std::move(bytes)) {}

  HRESULT Read(void* data, ULONG size, ULONG* read) override {
    if (data == nullptr && size != 0) return E_POINTER;
    const size_t available = position_ < bytes_.size() ? bytes_.size() - position_ : 0;
    const size_t count = size < available ? size : available;
    if (count != 0) std::memcpy(data, bytes_.data() + position_, count);
    position_ += count;
    if (read != nullptr) *read = static_cast<ULONG>(count);
    return S_OK;
  }

  HRESULT Write(const void* data, ULONG size, ULONG* written) override {
    if (data == nullptr && size != 0) return E_POINTER;
    try {
      if (position_ + size > bytes_.size()) bytes_.resize(position_ + size);
    } catch (const std::bad_alloc&) {
      return E_OUTOFMEMORY;
    }
    if (size != 0) std::memcpy(bytes_.data() + position_, data, size);
    position_ += size;
    if (written != nullptr) *written = size;
    return S_OK;
  }

  HRESULT Seek(int64_t move, DWORD origin, uint64_t* position) override {
    int64_t base = 0;
    switch (origin) {
      case STREAM_SEEK_SET: base = 0; break;
      case STREAM_SEEK_CUR: base = static_cast<int64_t>(position_); break;
      case STREAM_SEEK_END: base = static_cast<int64_t>(bytes_.size()); break;
      default: return STG_E_INVALIDFUNCTION;
    }
    if ((move < 0 && -move > base) || (move > 0 && move > INT64_MAX - base)) return STG_E_INVALIDFUNCTION;
    position_ = static_cast<size_t>(base + move);
    if (position != nullptr) *position = position_;
    return S_OK;
  }

  const std::vector<unsigned char>& bytes() const { return bytes_; }

 private:
  std::vector<unsigned char> bytes_;
  size_t position_ = 0;
};

class MemoryStorage final : public ComObject<IStorage> {
 public:
  HRESULT CreateStream(const char* name, IStream** stream) override {
    if (name == nullptr || stream == nullptr) return E_POINTER;
    *stream = nullptr;
    ComPtr<IStream> created = create_memory_stream();
    if (!created) return E_OUTOFMEMORY;
    streams_[name] = created;
    *stream = created.detach();
    return S_OK;
  }

  HRESULT OpenStream(const char* name, IStream** stream) override {
    if (name == nullptr || stream == nullptr) return E_POINTER;
    *stream = nullptr;
    auto it = streams_.find(name);
    if (it == streams_.end()) return STG_E_FILENOTFOUND;
    // Each opening reads from the start, as a freshly opened stream does.
    it->second->Seek(0, STREAM_SEEK_SET, nullptr);
    *stream = ComPtr<IStream>(it->second).detach();
    return S_OK;
  }

 private:
  std::map<std::string, ComPtr<IStream>> streams_;
};

}  // namespace

ComPtr<IStream> create_memory_stream(std::vector<unsigned char> initial) {
  return ComPtr<IStream>::adopt(new (std::nothrow) MemoryStream(std::move(initial)));
}

std::vector<unsigned char> memory_stream_bytes(IStream* stream) {
  if (auto* memory = dynamic_cast<MemoryStream*>(stream)) return memory->bytes();
  return {};
}

ComPtr<IStorage> create_memory_storage() {
  return ComPtr<IStorage>::adopt(new (std::nothrow) MemoryStorage);
}
