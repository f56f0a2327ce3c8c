// Persistence of the property map (_cx, _cy, FillColor) in streams,
// storages and property bags. Only the property bag runs the load sequence;
// streams and storages restore the properties alone.
#include "control/module/tessel_object.h"

#include <cstring>

#include "platform/property_bag.h"

namespace {

// Stream layout, little-endian: the format version, the extent, then the
// colour as a variant (its type, then its four bytes).
constexpr uint32_t kStreamVersion = 0x0100;
constexpr size_t kStreamSize = 4 + 4 + 4 + 2 + 4;
constexpr char kContentsStream[] = "Contents";

void put32(unsigned char* at, uint32_t v) {
  for (int i = 0; i < 4; ++i) at[i] = static_cast<unsigned char>(v >> (8 * i));
}

uint32_t get32(const unsigned char* at) {
  return static_cast<uint32_t>(at[0]) | static_cast<uint32_t>(at[1]) << 8 | static_cast<uint32_t>(at[2]) << 16 |
         static_cast<uint32_t>(at[3]) << 24;
}

}  // namespace

HRESULT TesselControlObject::GetClassID(CLSID* clsid) {
  if (clsid == nullptr) return E_POINTER;
  *clsid = CLSID_TesselCtrl;
  return S_OK;
}

HRESULT TesselControlObject::IsDirty() {
  return dirty_ ? S_OK : S_FALSE;
}

HRESULT TesselControlObject::InitNew() {
  return S_OK;
}

HRESULT TesselControlObject::GetSizeMax(uint64_t* size) {
  if (size == nullptr) return E_POINTER;
  *size = kStreamSize;
  return S_OK;
}

// Nothing is changed unless the whole record was read and understood.
HRESULT TesselControlObject::load_properties(IStream* stream) {
  if (stream == nullptr) return E_POINTER;
  unsigned char record[kStreamSize];
  ULONG read = 0;
  if (const HRESULT hr = stream->Read(record, sizeof record, &read); FAILED(hr)) return hr;
  if (read != sizeof record) return STG_E_READFAULT;
  const uint16_t vt = static_cast<uint16_t>(record[12] | record[13] << 8);
  if (get32(record) != kStreamVersion || vt != VT_UI4) return STG_E_OLDFORMAT;
  control_.m_cx = get32(record + 4);
  control_.m_cy = get32(record + 8);
  control_.m_clrFillColor = get32(record + 14);
  dirty_ = false;
  return S_OK;
}

HRESULT TesselControlObject::save_properties(IStream* stream) {
  if (stream == nullptr) return E_POINTER;
  unsigned char record[kStreamSize];
  put32(record, kStreamVersion);
  put32(record + 4, static_cast<uint32_t>(control_.m_cx));
  put32(record + 8, static_cast<uint32_t>(control_.m_cy));
  record[12] = VT_UI4 & 0xFF;
  record[13] = VT_UI4 >> 8;
  put32(record + 14, control_.m_clrFillColor);
  ULONG written = 0;
  if (const HRESULT hr = stream->Write(record, sizeof record, &written); FAILED(hr)) return hr;
  return written == sizeof record ? S_OK : STG_E_WRITEFAULT;
}

HRESULT TesselControlObject::Load(IStream* stream) {
  return load_properties(stream);
}

HRESULT TesselControlObject::Save(IStream* stream, BOOL clear_dirty) {
  const HRESULT hr = save_properties(stream);
  if (SUCCEEDED(hr) && clear_dirty) dirty_ = false;
  return hr;
}

// Storages keep the same record in their "Contents" stream.

HRESULT TesselControlObject::InitNew(IStorage* storage) {
  return storage != nullptr ? S_OK : E_POINTER;
}

HRESULT TesselControlObject::Load(IStorage* storage) {
  if (storage == nullptr) return E_POINTER;
  ComPtr<IStream> stream;
  if (const HRESULT hr = storage->OpenStream(kContentsStream, stream.put()); FAILED(hr)) return hr;
  return load_properties(stream.get());
}

HRESULT TesselControlObject::Save(IStorage* storage, BOOL /*same_as_load*/) {
  if (storage == nullptr) return E_POINTER;
  ComPtr<IStream> stream;
  if (const HRESULT hr = storage->CreateStream(kContentsStream, stream.put()); FAILED(hr)) return hr;
  const HRESULT hr = save_properties(stream.get());
  if (SUCCEEDED(hr)) dirty_ = false;
  return hr;
}

HRESULT TesselControlObject::SaveCompleted(IStorage* /*storage*/) {
  return S_OK;
}

HRESULT TesselControlObject::HandsOffStorage() {
  return S_OK;
}

// The host's parameters: the whole load sequence.
HRESULT TesselControlObject::Load(PropertyBag* bag, void* error_log) {
  if (bag == nullptr) return E_POINTER;
  return static_cast<HRESULT>(control_.Load(bag, error_log));
}

HRESULT TesselControlObject::Save(PropertyBag* bag, BOOL clear_dirty, BOOL /*save_all*/) {
  if (bag == nullptr) return E_POINTER;
  bag->write("_cx", PropertyValue::integer(static_cast<long>(static_cast<uint32_t>(control_.m_cx))));
  bag->write("_cy", PropertyValue::integer(static_cast<long>(static_cast<uint32_t>(control_.m_cy))));
  bag->write("FillColor", PropertyValue::integer(static_cast<long>(control_.m_clrFillColor)));
  if (clear_dirty) dirty_ = false;
  return S_OK;
}
