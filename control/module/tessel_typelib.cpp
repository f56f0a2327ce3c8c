// The built-in description of "Tessel 1.0 Type Library": the control class
// and its dual interface with names, ids and help strings.
#include "control/module/tessel_object.h"

#include <mutex>

namespace {

constexpr TypeMemberDescription kMembers[] = {
    {"FillColor", DISPID_FILLCOLOR, INVOKE_PROPERTYPUT, VT_UI4, nullptr},
    {"FillColor", DISPID_FILLCOLOR, INVOKE_PROPERTYGET, VT_UI4, nullptr},
    {"src", DISPID_SRC, INVOKE_PROPERTYGET, VT_BSTR, "property src"},
    {"src", DISPID_SRC, INVOKE_PROPERTYPUT, VT_BSTR, "property src"},
    {"Print", DISPID_PRINT, INVOKE_FUNC, VT_EMPTY, "method Print"},
    {"NextPage", DISPID_NEXTPAGE, INVOKE_FUNC, VT_EMPTY, "method NextPage"},
    {"PrevPage", DISPID_PREVPAGE, INVOKE_FUNC, VT_EMPTY, "method PrevPage"},
    {"Sync", DISPID_SYNC, INVOKE_FUNC, VT_EMPTY, "method Sync"},
};

// After IUnknown's three and IDispatch's four.
constexpr size_t kDispatchSlots = 7;

constexpr TypeDescription kTypes[] = {
    {"ITesselCtrl", "Tessel Interface", IID_ITesselCtrl, TKIND_DISPATCH, TYPEFLAG_FDUAL | TYPEFLAG_FOLEAUTOMATION,
     kMembers, sizeof kMembers / sizeof kMembers[0], -1, kDispatchSlots},
    {"CTesselCtrl", "Tessel Class", CLSID_TesselCtrl, TKIND_COCLASS, TYPEFLAG_FCANCREATE | TYPEFLAG_FCONTROL, nullptr,
     0, static_cast<int>(kTypeIndexInterface), 0},
};

constexpr TypeLibDescription kLibrary = {
    "TesselLib", "Tessel 1.0 Type Library", LIBID_TesselLib, 1, 0, kTypes, sizeof kTypes / sizeof kTypes[0],
};

ComPtr<ITypeLib>& library() {
  static ComPtr<ITypeLib> lib;
  return lib;
}

std::mutex library_mutex;

}  // namespace

ITypeLib* tessel_type_lib() {
  std::lock_guard<std::mutex> lock(library_mutex);
  if (!library()) library() = create_type_lib(kLibrary);
  return library().get();
}

void release_tessel_type_lib() {
  std::lock_guard<std::mutex> lock(library_mutex);
  library().reset();
}
