// What a host sees of the module: its ids, the script interface ITesselCtrl,
// and the entry points the module exports.
#pragma once

#include "platform/com_dispatch.h"

class CTesselCtrl;
struct HostServices;

using OLE_COLOR = uint32_t;

// {5E1A7C31-8D2B-4F6A-9C3E-2B7D41A6F0C8}
inline constexpr CLSID CLSID_TesselCtrl = {0x5E1A7C31, 0x8D2B, 0x4F6A, {0x9C, 0x3E, 0x2B, 0x7D, 0x41, 0xA6, 0xF0, 0xC8}};
inline constexpr GUID LIBID_TesselLib = {0x5E1A7C30, 0x8D2B, 0x4F6A, {0x9C, 0x3E, 0x2B, 0x7D, 0x41, 0xA6, 0xF0, 0xC8}};
inline constexpr IID IID_ITesselCtrl = {0x5E1A7C32, 0x8D2B, 0x4F6A, {0x9C, 0x3E, 0x2B, 0x7D, 0x41, 0xA6, 0xF0, 0xC8}};
inline constexpr GUID APPID_Tessel = {0x5E1A7C33, 0x8D2B, 0x4F6A, {0x9C, 0x3E, 0x2B, 0x7D, 0x41, 0xA6, 0xF0, 0xC8}};

inline constexpr DISPID DISPID_SRC = 1;
inline constexpr DISPID DISPID_PRINT = 2;
inline constexpr DISPID DISPID_NEXTPAGE = 3;
inline constexpr DISPID DISPID_PREVPAGE = 4;
inline constexpr DISPID DISPID_SYNC = 5;

// The control's dual interface: the members after IDispatch's, in slot order.
struct ITesselCtrl : IDispatch {
    virtual HRESULT put_FillColor(OLE_COLOR color) = 0;
    virtual HRESULT get_FillColor(OLE_COLOR* color) = 0;
    virtual HRESULT get_src(BSTR* value) = 0;
    virtual HRESULT put_src(BSTR value) = 0;
    virtual HRESULT Print() = 0;
    virtual HRESULT NextPage() = 0;
    virtual HRESULT PrevPage() = 0;
    virtual HRESULT Sync() = 0;

protected:
    ~ITesselCtrl() = default;
};
COM_INTERFACE_ID(ITesselCtrl, IID_ITesselCtrl);

// The module's exports, by name and type, for hosts that resolve them.
inline constexpr char kDllCanUnloadNow[] = "DllCanUnloadNow";
inline constexpr char kDllGetClassObject[] = "DllGetClassObject";
inline constexpr char kDllRegisterServer[] = "DllRegisterServer";
inline constexpr char kDllUnregisterServer[] = "DllUnregisterServer";
inline constexpr char kTesselAdoptHostServices[] = "TesselAdoptHostServices";
inline constexpr char kTesselControlState[] = "TesselControlState";

using DllCanUnloadNowFn = HRESULT (*)();
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID iid, void** object);
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();
// Beyond the script surface, for the host program only: the host hands over
// its platform services (message boxes, print dialog, spooler, console), and
// reads the state of one of the module's controls (the document tree for
// dumping it, the page counter for drawing every page). Null for an object
// that is not one of the module's controls.
using TesselAdoptHostServicesFn = void (*)(const HostServices* services);
using TesselControlStateFn = CTesselCtrl* (*)(IUnknown* object);
