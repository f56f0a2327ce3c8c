// Late binding of ITesselCtrl: names to ids through the type library, and
// Invoke's table from id and kind to the members.
#include "control/module/tessel_object.h"

namespace {

constexpr HRESULT DISP_E_BADINDEX = static_cast<HRESULT>(0x8002000Bu);
constexpr HRESULT DISP_E_EXCEPTION = static_cast<HRESULT>(0x80020009u);
constexpr HRESULT DISP_E_NONAMEDARGS = static_cast<HRESULT>(0x80020007u);

using Self = TesselControlObject;

// The value argument of a property put, converted to `vt`.
HRESULT put_argument(const DISPPARAMS& params, VARTYPE vt, VARIANT* value, UINT* arg_error) {
  if (params.cArgs != 1) return DISP_E_BADPARAMCOUNT;
  if (params.cNamedArgs > 1 || (params.cNamedArgs == 1 && params.rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
    return DISP_E_NONAMEDARGS;
  const VARIANT* arg = &params.rgvarg[0];
  if (arg->vt == (VT_VARIANT | VT_BYREF) && arg->pvarVal != nullptr) arg = arg->pvarVal;
  const HRESULT hr = VariantChangeType(value, arg, 0, vt);
  if (FAILED(hr) && arg_error != nullptr) *arg_error = 0;
  return hr;
}

struct Member {
  DISPID id;
  WORD kind;  // DISPATCH_METHOD, DISPATCH_PROPERTYGET or DISPATCH_PROPERTYPUT
  HRESULT (*call)(Self& self, const DISPPARAMS& params, VARIANT* result, UINT* arg_error);
};

HRESULT fill_color_get(Self& self, const DISPPARAMS&, VARIANT* result, UINT*) {
  OLE_COLOR color = 0;
  const HRESULT hr = self.get_FillColor(&color);
  if (SUCCEEDED(hr) && result != nullptr) {
    result->vt = VT_UI4;
    result->ulVal = color;
  }
  return hr;
}

HRESULT fill_color_put(Self& self, const DISPPARAMS& params, VARIANT*, UINT* arg_error) {
  Variant value;
  if (const HRESULT hr = put_argument(params, VT_UI4, &value, arg_error); FAILED(hr)) return hr;
  return self.put_FillColor(value.ulVal);
}

HRESULT src_get(Self& self, const DISPPARAMS&, VARIANT* result, UINT*) {
  BSTR text = nullptr;
  const HRESULT hr = self.get_src(&text);
  if (SUCCEEDED(hr) && result != nullptr) {
    result->vt = VT_BSTR;
    result->bstrVal = text;
  } else {
    SysFreeString(text);
  }
  return hr;
}

HRESULT src_put(Self& self, const DISPPARAMS& params, VARIANT*, UINT* arg_error) {
  Variant value;
  if (const HRESULT hr = put_argument(params, VT_BSTR, &value, arg_error); FAILED(hr)) return hr;
  return self.put_src(value.bstrVal);
}

template <HRESULT (Self::*method)()>
HRESULT call_method(Self& self, const DISPPARAMS& params, VARIANT*, UINT*) {
  if (params.cArgs != 0) return DISP_E_BADPARAMCOUNT;
  return (self.*method)();
}

constexpr Member kMembers[] = {
    {DISPID_FILLCOLOR, DISPATCH_PROPERTYPUT, fill_color_put},
    {DISPID_FILLCOLOR, DISPATCH_PROPERTYGET, fill_color_get},
    {DISPID_SRC, DISPATCH_PROPERTYGET, src_get},
    {DISPID_SRC, DISPATCH_PROPERTYPUT, src_put},
    {DISPID_PRINT, DISPATCH_METHOD, call_method<&Self::Print>},
    {DISPID_NEXTPAGE, DISPATCH_METHOD, call_method<&Self::NextPage>},
    {DISPID_PREVPAGE, DISPATCH_METHOD, call_method<&Self::PrevPage>},
    {DISPID_SYNC, DISPATCH_METHOD, call_method<&Self::Sync>},
};

// Scripts often ask for method-or-get at once; a property get then answers a
// call without arguments.
const Member* find_member(DISPID id, WORD flags) {
  bool known = false;
  for (const Member& m : kMembers) {
    if (m.id != id) continue;
    known = true;
    if ((m.kind & flags) != 0) return &m;
  }
  if (known && (flags & DISPATCH_METHOD) != 0)
    for (const Member& m : kMembers)
      if (m.id == id && m.kind == DISPATCH_PROPERTYGET) return &m;
  return nullptr;
}

}  // namespace

HRESULT TesselControlObject::GetTypeInfoCount(UINT* count) {
  if (count == nullptr) return E_POINTER;
  *count = 1;
  return S_OK;
}

HRESULT TesselControlObject::GetTypeInfo(UINT index, LCID /*lcid*/, ITypeInfo** info) {
  if (info == nullptr) return E_POINTER;
  *info = nullptr;
  if (index != 0) return DISP_E_BADINDEX;
  ITypeLib* lib = tessel_type_lib();
  return lib != nullptr ? lib->GetTypeInfo(kTypeIndexInterface, info) : E_OUTOFMEMORY;
}

HRESULT TesselControlObject::GetIDsOfNames(REFIID iid, OLECHAR** names, UINT count, LCID /*lcid*/, DISPID* ids) {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  ComPtr<ITypeInfo> info;
  if (const HRESULT hr = GetTypeInfo(0, 0, info.put()); FAILED(hr)) return hr;
  return info->GetIDsOfNames(names, count, ids);
}

HRESULT TesselControlObject::Invoke(DISPID id, REFIID iid, LCID /*lcid*/, WORD flags, DISPPARAMS* params,
                                    VARIANT* result, EXCEPINFO* exception, UINT* arg_error) {
  if (iid != IID_NULL) return DISP_E_UNKNOWNINTERFACE;
  DISPPARAMS none{nullptr, nullptr, 0, 0};
  if (params == nullptr) params = &none;
  if ((params->cArgs != 0 && params->rgvarg == nullptr) ||
      (params->cNamedArgs != 0 && params->rgdispidNamedArgs == nullptr) || params->cNamedArgs > params->cArgs)
    return E_INVALIDARG;
  const Member* member = find_member(id, flags);
  if (member == nullptr) return DISP_E_MEMBERNOTFOUND;
  if (member->kind != DISPATCH_PROPERTYPUT && params->cNamedArgs != 0) return DISP_E_NONAMEDARGS;
  if (result != nullptr) VariantInit(result);
  const HRESULT hr = member->call(*this, *params, result, arg_error);
  // Conversion and count errors go back as they are; a member's own
  // failure is reported as an exception carrying its code.
  if (FAILED(hr) && hr != DISP_E_TYPEMISMATCH && hr != DISP_E_OVERFLOW && hr != DISP_E_BADPARAMCOUNT &&
      hr != DISP_E_NONAMEDARGS) {
    if (exception != nullptr) {
      *exception = EXCEPINFO{};
      exception->scode = hr;
    }
    return DISP_E_EXCEPTION;
  }
  return hr;
}
