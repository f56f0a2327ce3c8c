// The in-process object model: interface ids, reference-counted interfaces
// found through QueryInterface, and the class factory through which a module
// hands out its objects.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "platform/com_result.h"

struct GUID {
  uint32_t data1;
  uint16_t data2;
  uint16_t data3;
  uint8_t data4[8];
};
using IID = GUID;
using CLSID = GUID;
using REFIID = const IID&;
using REFCLSID = const CLSID&;

inline constexpr GUID GUID_NULL = {0, 0, 0, {0, 0, 0, 0, 0, 0, 0, 0}};

bool operator==(const GUID& a, const GUID& b);
inline bool operator!=(const GUID& a, const GUID& b) {
  return !(a == b);
}

// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}" in upper case, the form the
// registry keeps.
std::string guid_to_string(const GUID& guid);
// Reads that form back (braces required, either case). False on anything else.
bool guid_from_string(const char* text, GUID* guid);

using ULONG = uint32_t;
using DWORD = uint32_t;
using BOOL = int32_t;
using LCID = uint32_t;
using DISPID = int32_t;

struct IUnknown {
  virtual HRESULT QueryInterface(REFIID iid, void** object) = 0;
  virtual ULONG AddRef() = 0;
  virtual ULONG Release() = 0;

 protected:
  ~IUnknown() = default;
};

struct IClassFactory : IUnknown {
  virtual HRESULT CreateInstance(IUnknown* outer, REFIID iid, void** object) = 0;
  virtual HRESULT LockServer(BOOL lock) = 0;

 protected:
  ~IClassFactory() = default;
};

inline constexpr IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_IClassFactory = {0x00000001, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};

// The id of an interface type, declared beside the interface with
// COM_INTERFACE_ID so that templates can ask for it.
template <class T>
struct InterfaceId;

#define COM_INTERFACE_ID(Interface, id)     \
  template <>                               \
  struct InterfaceId<Interface> {           \
    static constexpr const IID& value = id; \
  }

COM_INTERFACE_ID(IUnknown, IID_IUnknown);
COM_INTERFACE_ID(IClassFactory, IID_IClassFactory);

// Holds one reference to an interface and releases it when it goes.
template <class T>
class ComPtr {
 public:
  ComPtr() = default;
  ComPtr(std::nullptr_t) {}
  // Adopts a reference the caller already holds.
  static ComPtr adopt(T* p) {
    ComPtr ptr;
    ptr.p_ = p;
    return ptr;
  }
  // Takes a reference of its own.
  explicit ComPtr(T* p) : p_(p) {
    if (p_ != nullptr) p_->AddRef();
  }
  ComPtr(const ComPtr& other) : ComPtr(other.p_) {}
  ComPtr(ComPtr&& other) noexcept : p_(std::exchange(other.p_, nullptr)) {}
  ComPtr& operator=(ComPtr other) noexcept {
    std::swap(p_, other.p_);
    return *this;
  }
  ~ComPtr() { reset(); }

  void reset() {
    if (T* p = std::exchange(p_, nullptr)) p->Release();
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // For out-parameters: releases what is held and answers the slot.
  T** put() {
    reset();
    return &p_;
  }
  void** put_void() { return reinterpret_cast<void**>(put()); }
  T* detach() { return std::exchange(p_, nullptr); }

  // Asks the held object for another interface; empty when it has none.
  template <class U>
  ComPtr<U> query() const {
    ComPtr<U> other;
    if (p_ != nullptr) p_->QueryInterface(InterfaceId<U>::value, other.put_void());
    return other;
  }

 private:
  T* p_ = nullptr;
};
