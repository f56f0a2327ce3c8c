// The control object the module hands out: a CTesselCtrl behind the script
// interface and the standard interfaces of a control.
#pragma once

#include <atomic>
#include <map>

#include "control/module/tessel_module.h"
#include "control/tessel_ctrl.h"
#include "platform/com_ole.h"

class TesselControlObject final : public ITesselCtrl,
                                  public IPersistStreamInit,
                                  public IOleControl,
                                  public IOleObject,
                                  public IOleInPlaceActiveObject,
                                  public IViewObjectEx,
                                  public IOleInPlaceObjectWindowless,
                                  public IPersistStorage,
                                  public ISpecifyPropertyPages,
                                  public IQuickActivate,
                                  public IDataObject,
                                  public IProvideClassInfo2,
                                  public IPersistPropertyBag,
                                  public IObjectSafety,
                                  public ISupportErrorInfo {
 public:
  // Answers the interface `iid` of a new object (which has no other
  // reference then); E_OUTOFMEMORY or E_NOINTERFACE otherwise.
  static HRESULT create(REFIID iid, void** object);

  CTesselCtrl& control() { return control_; }

  // IUnknown: the identity is the first interface of the list below.
  HRESULT QueryInterface(REFIID iid, void** object) override;
  ULONG AddRef() override;
  ULONG Release() override;

  // IDispatch
  HRESULT GetTypeInfoCount(UINT* count) override;
  HRESULT GetTypeInfo(UINT index, LCID lcid, ITypeInfo** info) override;
  HRESULT GetIDsOfNames(REFIID iid, OLECHAR** names, UINT count, LCID lcid, DISPID* ids) override;
  HRESULT Invoke(DISPID id, REFIID iid, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result,
                 EXCEPINFO* exception, UINT* arg_error) override;

  // ITesselCtrl
  HRESULT put_FillColor(OLE_COLOR color) override;
  HRESULT get_FillColor(OLE_COLOR* color) override;
  HRESULT get_src(BSTR* value) override;
  HRESULT put_src(BSTR value) override;
  HRESULT Print() override;
  HRESULT NextPage() override;
  HRESULT PrevPage() override;
  HRESULT Sync() override;

  // IPersist, IPersistStreamInit, IPersistStorage, IPersistPropertyBag
  HRESULT GetClassID(CLSID* clsid) override;
  HRESULT IsDirty() override;
  HRESULT Load(IStream* stream) override;
  HRESULT Save(IStream* stream, BOOL clear_dirty) override;
  HRESULT GetSizeMax(uint64_t* size) override;
  HRESULT InitNew() override;
  HRESULT InitNew(IStorage* storage) override;
  HRESULT Load(IStorage* storage) override;
  HRESULT Save(IStorage* storage, BOOL same_as_load) override;
  HRESULT SaveCompleted(IStorage* storage) override;
  HRESULT HandsOffStorage() override;
  HRESULT Load(PropertyBag* bag, void* error_log) override;
  HRESULT Save(PropertyBag* bag, BOOL clear_dirty, BOOL save_all) override;

  // IOleControl
  HRESULT GetControlInfo(void* info) override;
  HRESULT OnMnemonic(void* message) override;
  HRESULT OnAmbientPropertyChange(DISPID id) override;
  HRESULT FreezeEvents(BOOL freeze) override;

  // IOleObject
  HRESULT SetClientSite(IOleClientSite* site) override;
  HRESULT GetClientSite(IOleClientSite** site) override;
  HRESULT Close(DWORD save_option) override;
  HRESULT GetUserClassID(CLSID* clsid) override;
  HRESULT GetUserType(DWORD form, BSTR* type) override;
  HRESULT SetExtent(DWORD aspect, const SIZEL* size) override;
  HRESULT GetExtent(DWORD aspect, SIZEL* size) override;  // also IViewObject2's
  HRESULT GetMiscStatus(DWORD aspect, DWORD* status) override;

  // IOleWindow, IOleInPlaceObject(Windowless), IOleInPlaceActiveObject
  HRESULT GetWindow(void** window) override;
  HRESULT ContextSensitiveHelp(BOOL enter) override;
  HRESULT InPlaceDeactivate() override;
  HRESULT UIDeactivate() override;
  HRESULT GetDropTarget(void** target) override;
  HRESULT OnFrameWindowActivate(BOOL activate) override;
  HRESULT EnableModeless(BOOL enable) override;

  // IViewObject, IViewObject2, IViewObjectEx
  HRESULT Draw(DWORD aspect, DeviceContext* dc, const DcRect* bounds) override;
  HRESULT SetAdvise(DWORD aspects, DWORD flags, IAdviseSink* sink) override;
  HRESULT GetAdvise(DWORD* aspects, DWORD* flags, IAdviseSink** sink) override;
  HRESULT GetViewStatus(DWORD* status) override;

  // ISpecifyPropertyPages, IQuickActivate, IDataObject
  HRESULT GetPages(CAUUID* pages) override;
  HRESULT SetContentExtent(const SIZEL* size) override;
  HRESULT GetContentExtent(SIZEL* size) override;
  HRESULT DAdvise(IAdviseSink* sink, DWORD* connection) override;
  HRESULT DUnadvise(DWORD connection) override;

  // IProvideClassInfo2, IObjectSafety, ISupportErrorInfo
  HRESULT GetClassInfo(ITypeInfo** info) override;
  HRESULT GetGUID(DWORD kind, GUID* guid) override;
  HRESULT GetInterfaceSafetyOptions(REFIID iid, DWORD* supported, DWORD* enabled) override;
  HRESULT SetInterfaceSafetyOptions(REFIID iid, DWORD mask, DWORD enabled) override;
  HRESULT InterfaceSupportsErrorInfo(REFIID iid) override;

 private:
  TesselControlObject();
  ~TesselControlObject();

  // The container's answers and notifications around a property edit.
  bool request_edit(DISPID id);
  void notify_changed(DISPID id);
  void view_changed();
  void data_changed();
  HRESULT load_properties(IStream* stream);
  HRESULT save_properties(IStream* stream);

  std::atomic<ULONG> refs_{0};
  CTesselCtrl control_;
  bool dirty_ = false;
  long freeze_count_ = 0;
  ComPtr<IOleClientSite> site_;
  ComPtr<IAdviseSink> view_sink_;
  DWORD view_aspects_ = 0, view_flags_ = 0;
  std::map<DWORD, ComPtr<IAdviseSink>> data_sinks_;
  DWORD next_connection_ = 1;
};

// Objects alive and locks held; the module may unload when both are zero.
void module_lock();
void module_unlock();
long module_usage();

// The module's type library, built once from its description, and released
// when the module shuts down.
ITypeLib* tessel_type_lib();
void release_tessel_type_lib();
// The descriptions' indexes in the library.
inline constexpr UINT kTypeIndexInterface = 0;
inline constexpr UINT kTypeIndexClass = 1;
