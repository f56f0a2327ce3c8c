// Late binding for scripts: length-prefixed UTF-16 strings, variants, and
// IDispatch, through which a caller reaches members by id or by name.
#pragma once

#include <cstdint>
#include <string>

#include "platform/com.h"

using OLECHAR = char16_t;
using BSTR = OLECHAR*;
using VARTYPE = uint16_t;
using UINT = uint32_t;
using WORD = uint16_t;
using VARIANT_BOOL = int16_t;
using MEMBERID = DISPID;

inline constexpr VARIANT_BOOL VARIANT_TRUE = -1;
inline constexpr VARIANT_BOOL VARIANT_FALSE = 0;

// Strings live behind a 32-bit byte count and end in a NUL that the count
// leaves out. A null BSTR is the empty string.
BSTR SysAllocString(const OLECHAR* text);
BSTR SysAllocStringLen(const OLECHAR* text, UINT length);
void SysFreeString(BSTR text);
UINT SysStringLen(BSTR text);

// Conversions between BSTR and the 8-bit text of the component (Windows-1252);
// characters without an 8-bit form become '?'. Null when memory runs out.
BSTR bstr_from_ansi(const char* text);
std::string bstr_to_ansi(const OLECHAR* text);
std::string bstr_to_ansi(const OLECHAR* text, size_t length);

// Owns one BSTR.
class BStr {
 public:
  BStr() = default;
  explicit BStr(const char* ansi) : s_(bstr_from_ansi(ansi)) {}
  ~BStr() { SysFreeString(s_); }
  BStr(const BStr&) = delete;
  BStr& operator=(const BStr&) = delete;
  BSTR get() const { return s_; }
  BSTR* put() {
    SysFreeString(s_);
    s_ = nullptr;
    return &s_;
  }
  std::string ansi() const { return bstr_to_ansi(s_, SysStringLen(s_)); }

 private:
  BSTR s_ = nullptr;
};

enum : VARTYPE {
  VT_EMPTY = 0,
  VT_NULL = 1,
  VT_I2 = 2,
  VT_I4 = 3,
  VT_BSTR = 8,
  VT_DISPATCH = 9,
  VT_ERROR = 10,
  VT_BOOL = 11,
  VT_VARIANT = 12,
  VT_UNKNOWN = 13,
  VT_UI1 = 17,
  VT_UI2 = 18,
  VT_UI4 = 19,
  VT_INT = 22,
  VT_UINT = 23,
  VT_HRESULT = 25,
  VT_USERDEFINED = 29,
  VT_BYREF = 0x4000,
};

struct IDispatch;

struct VARIANT {
  VARTYPE vt;
  uint16_t reserved1, reserved2, reserved3;
  union {
    int32_t lVal;
    uint32_t ulVal;
    int16_t iVal;
    uint16_t uiVal;
    uint8_t bVal;
    VARIANT_BOOL boolVal;
    HRESULT scode;
    int32_t intVal;
    uint32_t uintVal;
    BSTR bstrVal;
    IUnknown* punkVal;
    IDispatch* pdispVal;
    VARIANT* pvarVal;
  };
};

void VariantInit(VARIANT* v);
// Releases what the variant holds and leaves it empty.
HRESULT VariantClear(VARIANT* v);
HRESULT VariantCopy(VARIANT* dest, const VARIANT* src);
// Converts between numbers, booleans and strings (decimal text). A number
// outside the target's range fails with DISP_E_OVERFLOW, anything else that
// does not convert with DISP_E_TYPEMISMATCH. dest may be src.
HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t flags, VARTYPE vt);

// Owns one VARIANT.
struct Variant : VARIANT {
  Variant() { VariantInit(this); }
  ~Variant() { VariantClear(this); }
  Variant(const Variant&) = delete;
  Variant& operator=(const Variant&) = delete;
  static void set_i4(VARIANT* v, int32_t n) {
    VariantClear(v);
    v->vt = VT_I4;
    v->lVal = n;
  }
};

// Invoke flags.
inline constexpr WORD DISPATCH_METHOD = 1;
inline constexpr WORD DISPATCH_PROPERTYGET = 2;
inline constexpr WORD DISPATCH_PROPERTYPUT = 4;
inline constexpr WORD DISPATCH_PROPERTYPUTREF = 8;

inline constexpr DISPID DISPID_UNKNOWN = -1;
inline constexpr DISPID DISPID_PROPERTYPUT = -3;
inline constexpr DISPID DISPID_FILLCOLOR = -510;

// Arguments of Invoke, the last one first.
struct DISPPARAMS {
  VARIANT* rgvarg;
  DISPID* rgdispidNamedArgs;
  UINT cArgs;
  UINT cNamedArgs;
};

struct EXCEPINFO {
  WORD wCode;
  WORD wReserved;
  BSTR bstrSource;
  BSTR bstrDescription;
  BSTR bstrHelpFile;
  DWORD dwHelpContext;
  HRESULT scode;
};

struct ITypeInfo;

inline constexpr LCID LOCALE_USER_DEFAULT = 0x0400;

struct IDispatch : IUnknown {
  virtual HRESULT GetTypeInfoCount(UINT* count) = 0;
  virtual HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) = 0;
  virtual HRESULT GetIDsOfNames(REFIID iid, OLECHAR** names, UINT count, LCID lcid, DISPID* ids) = 0;
  virtual HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                         EXCEPINFO* exception, UINT* arg_error) = 0;

 protected:
  ~IDispatch() = default;
};

inline constexpr IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
inline constexpr IID IID_NULL = GUID_NULL;
COM_INTERFACE_ID(IDispatch, IID_IDispatch);
