// The interfaces a control offers its container, and the container's side
// of the conversation (site, sinks). Each carries the members this component
// answers or calls, in the platform's ids.
#pragma once

#include <cstdlib>

#include "platform/com_dispatch.h"
#include "platform/com_storage.h"
#include "platform/com_typelib.h"
#include "platform/dc.h"

class PropertyBag;

struct SIZEL {
  int32_t cx, cy;
};

// Counted arrays of ids handed to the caller, who frees pElems with
// CoTaskMemFree.
struct CAUUID {
  ULONG cElems;
  GUID* pElems;
};
inline void* CoTaskMemAlloc(size_t size) {
  return std::malloc(size);
}
inline void CoTaskMemFree(void* block) {
  std::free(block);
}

inline constexpr DWORD DVASPECT_CONTENT = 1;

struct IPersist : IUnknown {
  virtual HRESULT GetClassID(CLSID* clsid) = 0;

 protected:
  ~IPersist() = default;
};

struct IPersistStreamInit : IPersist {
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT Load(IStream* stream) = 0;
  virtual HRESULT Save(IStream* stream, BOOL clear_dirty) = 0;
  virtual HRESULT GetSizeMax(uint64_t* size) = 0;
  virtual HRESULT InitNew() = 0;

 protected:
  ~IPersistStreamInit() = default;
};

struct IPersistStorage : IPersist {
  virtual HRESULT IsDirty() = 0;
  virtual HRESULT InitNew(IStorage* storage) = 0;
  virtual HRESULT Load(IStorage* storage) = 0;
  virtual HRESULT Save(IStorage* storage, BOOL same_as_load) = 0;
  virtual HRESULT SaveCompleted(IStorage* storage) = 0;
  virtual HRESULT HandsOffStorage() = 0;

 protected:
  ~IPersistStorage() = default;
};

// The property bag is the platform's own (property_bag.h); the error log is
// passed through untouched.
struct IPersistPropertyBag : IPersist {
  virtual HRESULT InitNew() = 0;
  virtual HRESULT Load(PropertyBag* bag, void* error_log) = 0;
  virtual HRESULT Save(PropertyBag* bag, BOOL clear_dirty, BOOL save_all) = 0;

 protected:
  ~IPersistPropertyBag() = default;
};

struct IOleControl : IUnknown {
  virtual HRESULT GetControlInfo(void* info) = 0;
  virtual HRESULT OnMnemonic(void* message) = 0;
  virtual HRESULT OnAmbientPropertyChange(DISPID id) = 0;
  // Calls nest: events stay frozen until every freeze is thawed.
  virtual HRESULT FreezeEvents(BOOL freeze) = 0;

 protected:
  ~IOleControl() = default;
};

// The container's site for one object. The object asks it for
// IPropertyNotifySink to announce property edits.
struct IOleClientSite : IUnknown {
  virtual HRESULT ShowObject() = 0;

 protected:
  ~IOleClientSite() = default;
};

struct IPropertyNotifySink : IUnknown {
  virtual HRESULT OnChanged(DISPID id) = 0;
  // S_OK lets the property change; S_FALSE refuses.
  virtual HRESULT OnRequestEdit(DISPID id) = 0;

 protected:
  ~IPropertyNotifySink() = default;
};

struct IAdviseSink : IUnknown {
  virtual void OnDataChange() = 0;
  virtual void OnViewChange(DWORD aspect) = 0;

 protected:
  ~IAdviseSink() = default;
};

struct IOleObject : IUnknown {
  virtual HRESULT SetClientSite(IOleClientSite* site) = 0;
  virtual HRESULT GetClientSite(IOleClientSite** site) = 0;
  virtual HRESULT Close(DWORD save_option) = 0;
  virtual HRESULT GetUserClassID(CLSID* clsid) = 0;
  virtual HRESULT GetUserType(DWORD form, BSTR* type) = 0;
  virtual HRESULT SetExtent(DWORD aspect, const SIZEL* size) = 0;
  virtual HRESULT GetExtent(DWORD aspect, SIZEL* size) = 0;
  virtual HRESULT GetMiscStatus(DWORD aspect, DWORD* status) = 0;

 protected:
  ~IOleObject() = default;
};

// This component has no windows of its own: GetWindow always fails.
struct IOleWindow : IUnknown {
  virtual HRESULT GetWindow(void** window) = 0;
  virtual HRESULT ContextSensitiveHelp(BOOL enter) = 0;

 protected:
  ~IOleWindow() = default;
};

struct IOleInPlaceObject : IOleWindow {
  virtual HRESULT InPlaceDeactivate() = 0;
  virtual HRESULT UIDeactivate() = 0;

 protected:
  ~IOleInPlaceObject() = default;
};

struct IOleInPlaceObjectWindowless : IOleInPlaceObject {
  virtual HRESULT GetDropTarget(void** target) = 0;

 protected:
  ~IOleInPlaceObjectWindowless() = default;
};

struct IOleInPlaceActiveObject : IOleWindow {
  virtual HRESULT OnFrameWindowActivate(BOOL activate) = 0;
  virtual HRESULT EnableModeless(BOOL enable) = 0;

 protected:
  ~IOleInPlaceActiveObject() = default;
};

// Drawing goes to one of the platform's device contexts; bounds' right and
// bottom lie outside the area.
struct IViewObject : IUnknown {
  virtual HRESULT Draw(DWORD aspect, DeviceContext* dc, const DcRect* bounds) = 0;
  virtual HRESULT SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) = 0;
  virtual HRESULT GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) = 0;

 protected:
  ~IViewObject() = default;
};

struct IViewObject2 : IViewObject {
  virtual HRESULT GetExtent(DWORD aspect, SIZEL* size) = 0;

 protected:
  ~IViewObject2() = default;
};

inline constexpr DWORD VIEWSTATUS_OPAQUE = 1;
inline constexpr DWORD VIEWSTATUS_SOLIDBKGND = 2;

struct IViewObjectEx : IViewObject2 {
  virtual HRESULT GetViewStatus(DWORD* status) = 0;

 protected:
  ~IViewObjectEx() = default;
};

struct ISpecifyPropertyPages : IUnknown {
  virtual HRESULT GetPages(CAUUID* pages) = 0;

 protected:
  ~ISpecifyPropertyPages() = default;
};

struct IQuickActivate : IUnknown {
  virtual HRESULT SetContentExtent(const SIZEL* size) = 0;
  virtual HRESULT GetContentExtent(SIZEL* size) = 0;

 protected:
  ~IQuickActivate() = default;
};

// Only the advise half: data-change sinks.
struct IDataObject : IUnknown {
  virtual HRESULT DAdvise(IAdviseSink* sink, DWORD* connection) = 0;
  virtual HRESULT DUnadvise(DWORD connection) = 0;

 protected:
  ~IDataObject() = default;
};

struct IProvideClassInfo : IUnknown {
  virtual HRESULT GetClassInfo(ITypeInfo** info) = 0;

 protected:
  ~IProvideClassInfo() = default;
};

inline constexpr DWORD GUIDKIND_DEFAULT_SOURCE_DISP_IID = 1;

struct IProvideClassInfo2 : IProvideClassInfo {
  virtual HRESULT GetGUID(DWORD kind, GUID* guid) = 0;

 protected:
  ~IProvideClassInfo2() = default;
};

inline constexpr DWORD INTERFACESAFE_FOR_UNTRUSTED_CALLER = 1;
inline constexpr DWORD INTERFACESAFE_FOR_UNTRUSTED_DATA = 2;

struct IObjectSafety : IUnknown {
  virtual HRESULT GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) = 0;
  virtual HRESULT SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) = 0;

 protected:
  ~IObjectSafety() = default;
};

struct ISupportErrorInfo : IUnknown {
  virtual HRESULT InterfaceSupportsErrorInfo(REFIID iid) = 0;

 protected:
  ~ISupportErrorInfo() = default;
};

// OLEMISC_* bits of GetMiscStatus and the registry's MiscStatus value.
inline constexpr DWORD OLEMISC_RECOMPOSEONRESIZE = 0x1;
inline constexpr DWORD OLEMISC_CANTLINKINSIDE = 0x10;
inline constexpr DWORD OLEMISC_INSIDEOUT = 0x80;
inline constexpr DWORD OLEMISC_ACTIVATEWHENVISIBLE = 0x100;
inline constexpr DWORD OLEMISC_SETCLIENTSITEFIRST = 0x20000;

// The platform's stock colour property page.
inline constexpr CLSID CLSID_StockColorPage = {
    0x7EBDAAE1, 0x8120, 0x11CF, {0x89, 0x9F, 0x00, 0xAA, 0x00, 0x68, 0x8B, 0x10}};

#define COM_OLE_IID(Interface, d1, d2, d3, b0, b1, b2, b3, b4, b5, b6, b7)               \
  inline constexpr IID IID_##Interface = {d1, d2, d3, {b0, b1, b2, b3, b4, b5, b6, b7}}; \
  COM_INTERFACE_ID(Interface, IID_##Interface)

COM_OLE_IID(IPersist, 0x0000010C, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
COM_OLE_IID(IPersistStreamInit, 0x7FD52380, 0x4E07, 0x101B, 0xAE, 0x2D, 0x08, 0x00, 0x2B, 0x2E, 0xC7, 0x13);
COM_OLE_IID(IPersistStorage, 0x0000010A, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
COM_OLE_IID(IPersistPropertyBag, 0x37D84F60, 0x42CB, 0x11CE, 0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);
COM_OLE_IID(IOleControl, 0xB196B288, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07);
COM_OLE_IID(IOleClientSite, 0x00000118, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
COM_OLE_IID(IPropertyNotifySink, 0x9BFBBC02, 0xEFF1, 0x101A, 0x84, 0xED, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07);
COM_OLE_IID(IAdviseSink, 0x0000010F, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
COM_OLE_IID(IOleObject, 0x00000112, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
COM_OLE_IID(IOleWindow, 0x00000114, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
COM_OLE_IID(IOleInPlaceObject, 0x00000113, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
COM_OLE_IID(IOleInPlaceObjectWindowless, 0x1C2056CC, 0x5EF4, 0x101B, 0x8B, 0xC8, 0x00, 0xAA, 0x00, 0x3E, 0x3B, 0x29);
COM_OLE_IID(IOleInPlaceActiveObject, 0x00000117, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
COM_OLE_IID(IViewObject, 0x0000010D, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
COM_OLE_IID(IViewObject2, 0x00000127, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
COM_OLE_IID(IViewObjectEx, 0x3AF24292, 0x0C96, 0x11CE, 0xA0, 0xCF, 0x00, 0xAA, 0x00, 0x60, 0x0A, 0xB8);
COM_OLE_IID(ISpecifyPropertyPages, 0xB196B28B, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07);
COM_OLE_IID(IQuickActivate, 0xCF51ED10, 0x62FE, 0x11CF, 0xBF, 0x86, 0x00, 0xA0, 0xC9, 0x03, 0x48, 0x36);
COM_OLE_IID(IDataObject, 0x0000010E, 0, 0, 0xC0, 0, 0, 0, 0, 0, 0, 0x46);
COM_OLE_IID(IProvideClassInfo, 0xB196B283, 0xBAB4, 0x101A, 0xB6, 0x9C, 0x00, 0xAA, 0x00, 0x34, 0x1D, 0x07);
COM_OLE_IID(IProvideClassInfo2, 0xA6BC3AC0, 0xDBAA, 0x11CE, 0x9D, 0xE3, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51);
COM_OLE_IID(IObjectSafety, 0xCB5BDC81, 0x93C1, 0x11CF, 0x8F, 0x20, 0x00, 0x80, 0x5F, 0x2C, 0xD0, 0x64);
COM_OLE_IID(ISupportErrorInfo, 0xDF0B3D60, 0x548F, 0x101B, 0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19);
