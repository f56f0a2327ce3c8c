// Length-prefixed strings and variants; see com_dispatch.h.
#include "platform/com_dispatch.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>

#include "platform/cp1252.h"

namespace {

// The byte count sits in the four bytes before the characters.
uint32_t* header_of(BSTR text) {
  return reinterpret_cast<uint32_t*>(text) - 1;
}

unsigned char ansi_of(char32_t c) {
  if (c < 0x80 || (c >= 0xA0 && c <= 0xFF)) return static_cast<unsigned char>(c);
  for (unsigned b = 0x80; b < 0xA0; ++b)
    if (cp1252_to_unicode(static_cast<unsigned char>(b)) == c) return static_cast<unsigned char>(b);
  return '?';
}

}  // namespace

BSTR SysAllocStringLen(const OLECHAR* text, UINT length) {
  if (length > (UINT_MAX - 2 * sizeof(uint32_t)) / sizeof(OLECHAR) - 1) return nullptr;
  const size_t bytes = sizeof(uint32_t) + (static_cast<size_t>(length) + 1) * sizeof(OLECHAR);
  auto* block = static_cast<uint32_t*>(std::malloc(bytes));
  if (block == nullptr) return nullptr;
  block[0] = length * static_cast<uint32_t>(sizeof(OLECHAR));
  auto* chars = reinterpret_cast<OLECHAR*>(block + 1);
  if (text != nullptr)
    std::memcpy(chars, text, length * sizeof(OLECHAR));
  else
    std::memset(chars, 0, length * sizeof(OLECHAR));
  chars[length] = 0;
  return chars;
}

BSTR SysAllocString(const OLECHAR* text) {
  if (text == nullptr) return nullptr;
  UINT length = 0;
  while (text[length] != 0) ++length;
  return SysAllocStringLen(text, length);
}

void SysFreeString(BSTR text) {
  if (text != nullptr) std::free(header_of(text));
}

UINT SysStringLen(BSTR text) {
  return text == nullptr ? 0 : *header_of(text) / sizeof(OLECHAR);
}

BSTR bstr_from_ansi(const char* text) {
  if (text == nullptr) text = "";
  const size_t length = std::strlen(text);
  if (length > UINT_MAX / 4) return nullptr;
  BSTR s = SysAllocStringLen(nullptr, static_cast<UINT>(length));
  if (s == nullptr) return nullptr;
  for (size_t i = 0; i < length; ++i)
    s[i] = static_cast<OLECHAR>(cp1252_to_unicode(static_cast<unsigned char>(text[i])));
  return s;
}

std::string bstr_to_ansi(const OLECHAR* text, size_t length) {
  std::string out;
  if (text == nullptr) return out;
  out.reserve(length);
  for (size_t i = 0; i < length; ++i) {
    const char16_t c = text[i];
    // A surrogate pair is one character outside the 8-bit range.
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < length && text[i + 1] >= 0xDC00 && text[i + 1] < 0xE000) ++i;
    out.push_back(static_cast<char>(c >= 0xD800 && c < 0xE000 ? '?' : ansi_of(c)));
  }
  return out;
}

std::string bstr_to_ansi(const OLECHAR* text) {
  size_t length = 0;
  if (text != nullptr)
    while (text[length] != 0) ++length;
  return bstr_to_ansi(text, length);
}

void VariantInit(VARIANT* v) {
  if (v == nullptr) return;
  std::memset(v, 0, sizeof *v);
  v->vt = VT_EMPTY;
}

HRESULT VariantClear(VARIANT* v) {
  if (v == nullptr) return E_INVALIDARG;
  if ((v->vt & VT_BYREF) == 0) {
    if (v->vt == VT_BSTR)
      SysFreeString(v->bstrVal);
    else if ((v->vt == VT_UNKNOWN || v->vt == VT_DISPATCH) && v->punkVal != nullptr)
      v->punkVal->Release();
  }
  VariantInit(v);
  return S_OK;
}

HRESULT VariantCopy(VARIANT* dest, const VARIANT* src) {
  if (dest == nullptr || src == nullptr) return E_INVALIDARG;
  if (dest == src) return S_OK;
  VARIANT copy = *src;
  if ((src->vt & VT_BYREF) == 0) {
    if (src->vt == VT_BSTR && src->bstrVal != nullptr) {
      copy.bstrVal = SysAllocStringLen(src->bstrVal, SysStringLen(src->bstrVal));
      if (copy.bstrVal == nullptr) return E_OUTOFMEMORY;
    } else if ((src->vt == VT_UNKNOWN || src->vt == VT_DISPATCH) && src->punkVal != nullptr) {
      src->punkVal->AddRef();
    }
  }
  VariantClear(dest);
  *dest = copy;
  return S_OK;
}

namespace {

// The value of a numeric or boolean variant, or of a string of decimal (or
// 0x-prefixed hexadecimal) digits.
HRESULT as_integer(const VARIANT& v, long long* out) {
  switch (v.vt) {
    case VT_EMPTY: *out = 0; return S_OK;
    case VT_I2: *out = v.iVal; return S_OK;
    case VT_I4:
    case VT_INT:
    case VT_ERROR: *out = v.lVal; return S_OK;
    case VT_UI1: *out = v.bVal; return S_OK;
    case VT_UI2: *out = v.uiVal; return S_OK;
    case VT_UI4:
    case VT_UINT: *out = v.ulVal; return S_OK;
    case VT_BOOL: *out = v.boolVal != 0 ? -1 : 0; return S_OK;
    case VT_BSTR: {
      const std::string text = bstr_to_ansi(v.bstrVal, SysStringLen(v.bstrVal));
      if (text.empty()) return DISP_E_TYPEMISMATCH;
      errno = 0;
      char* end = nullptr;
      const long long n = std::strtoll(text.c_str(), &end, 0);
      while (*end == ' ') ++end;
      if (*end != '\0') return DISP_E_TYPEMISMATCH;
      if (errno == ERANGE) return DISP_E_OVERFLOW;
      *out = n;
      return S_OK;
    }
    default: return DISP_E_TYPEMISMATCH;
  }
}

}  // namespace

HRESULT VariantChangeType(VARIANT* dest, const VARIANT* src, uint16_t /*flags*/, VARTYPE vt) {
  if (dest == nullptr || src == nullptr) return E_INVALIDARG;
  if ((src->vt & VT_BYREF) != 0) return DISP_E_TYPEMISMATCH;
  VARIANT result;
  VariantInit(&result);
  if (vt == src->vt) {
    if (const HRESULT hr = VariantCopy(&result, src); FAILED(hr)) return hr;
  } else if (vt == VT_BSTR) {
    long long n = 0;
    if (const HRESULT hr = as_integer(*src, &n); FAILED(hr)) return hr;
    const std::string text = src->vt == VT_BOOL ? (n != 0 ? "True" : "False") : std::to_string(n);
    result.vt = VT_BSTR;
    result.bstrVal = bstr_from_ansi(text.c_str());
    if (result.bstrVal == nullptr) return E_OUTOFMEMORY;
  } else {
    long long n = 0;
    if (const HRESULT hr = as_integer(*src, &n); FAILED(hr)) return hr;
    switch (vt) {
      case VT_I2:
        if (n < INT16_MIN || n > INT16_MAX) return DISP_E_OVERFLOW;
        result.iVal = static_cast<int16_t>(n);
        break;
      case VT_I4:
      case VT_INT:
        if (n < INT32_MIN || n > INT32_MAX) return DISP_E_OVERFLOW;
        result.lVal = static_cast<int32_t>(n);
        break;
      case VT_UI4:
      case VT_UINT:
        if (n < 0 || n > static_cast<long long>(UINT32_MAX)) return DISP_E_OVERFLOW;
        result.ulVal = static_cast<uint32_t>(n);
        break;
      case VT_BOOL: result.boolVal = n != 0 ? VARIANT_TRUE : VARIANT_FALSE; break;
      default: return DISP_E_TYPEMISMATCH;
    }
    result.vt = vt;
  }
  VariantClear(dest);
  *dest = result;
  return S_OK;
}
