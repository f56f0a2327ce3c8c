// What a host sees of the module: its ids, the script interface ITesselCtrl,
// and the entry points the module exports.
#pragma once

#include <cstdio>

#include "control/print_result.h"
#include "device/sync_result.h"
#include "platform/com_dispatch.h"

struct HostServices;

using OLE_COLOR = uint32_t;

// {5E1A7C31-8D2B-4F6A-9C3E-2B7D41A6F0C8}
inline constexpr CLSID CLSID_TesselCtrl = {
    0x5E1A7C31, 0x8D2B, 0x4F6A, {0x9C, 0x3E, 0x2B, 0x7D, 0x41, 0xA6, 0xF0, 0xC8}};
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
inline constexpr char kTesselReportControl[] = "TesselReportControl";
inline constexpr char kTesselGoToPage[] = "TesselGoToPage";
inline constexpr char kTesselDumpTree[] = "TesselDumpTree";
inline constexpr char kTesselOnPageDrawn[] = "TesselOnPageDrawn";
inline constexpr char kTesselPictureNames[] = "TesselPictureNames";

using DllCanUnloadNowFn = HRESULT (*)();
using DllGetClassObjectFn = HRESULT (*)(REFCLSID clsid, REFIID iid, void** object);
using DllRegisterServerFn = HRESULT (*)();
using DllUnregisterServerFn = HRESULT (*)();

// Beyond the script surface, for the host program only. The host hands over
// its platform services (message boxes, print dialog, spooler, console).
using TesselAdoptHostServicesFn = void (*)(const HostServices* services);

// What a host reads of one of the module's controls besides its script
// members (which answer success whatever happened): the page counter and
// how the load and the last jobs came out.
struct TesselControlReport {
  // The page the next draw shows; after a draw, the page it showed (the
  // last one when the counter was past the end, 0 without pages).
  int current_page = 0;
  // A load message was shown; any document is not the one asked for.
  bool load_failed = false;
  PrintResult last_print;
  SyncResult last_sync;
  // What the last job (a draw, the last printed copy, a transfer) left out
  // of its pages, and the page of the first loss (0 when none).
  int left_out_elements = 0;
  int left_out_first_page = 0;
};
// Each answers false, changing nothing, for an object that is not one of
// the module's controls. The report fills *report. Going to a page sets the
// counter the next draw lays out to (0 or more), without asking for a
// repaint. The dump writes the document tree to out, one element per line
// with its fields; false also when there is no document.
using TesselReportControlFn = bool (*)(IUnknown* object, TesselControlReport* report);
using TesselGoToPageFn = bool (*)(IUnknown* object, int page);
using TesselDumpTreeFn = bool (*)(IUnknown* object, std::FILE* out);

// Asks the control to call `drawn` with each page a draw lays out, once the
// page is framed on the host's context and before the next page clears it;
// null stops it. A draw to page p hands over pages 1 to p.
using TesselPageDrawnFn = void (*)(void* user, int page);
using TesselOnPageDrawnFn = bool (*)(IUnknown* object, TesselPageDrawnFn drawn, void* user);

// Hands `each` the src of every IMG tag of a local document file, as
// written, as the control's own reading of the file finds them. False when
// the file cannot be read.
using TesselPictureNameFn = void (*)(void* user, const char* src);
using TesselPictureNamesFn = bool (*)(const char* file, TesselPictureNameFn each, void* user);
